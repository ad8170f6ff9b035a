// An installed product on an isolated registry, written the way the install
// files log themselves: the entry ("DisplayName", "UninstallString"), the
// "Files" and "ActiveX" logs, SharedDLLs counts and help registrations. The
// restart removal and the server programs are watched; every test can take a
// picture of the files and the registry to prove that nothing changed.
#pragma once
#include "objects/routines_Log.h"
#include "platform/routines_Files.h"
#include "platform/routines_Registry.h"
#include "support/IsolatedTest.h"
#include "uninstall/routines_Uninstall.h"
#include "uninstall/routines_UninstallSelf.h"
#include <algorithm>
#include <map>

namespace UninstallTest {
constexpr const char* SharedDLLs = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
constexpr const char* HelpKey = "\\SOFTWARE\\Microsoft\\Windows\\Help";

inline std::string ProductKey(const std::string& product) {
    return std::string(kUninstallListKey) + "\\" + product;
}

inline std::optional<std::string> MachineString(const std::string& key, const std::string& name) {
    TRegKey k;
    if (!k.Open(RegLocalMachine, key, TRegAccess::raRead))
        return std::nullopt;
    return k.ReadString(name);
}
inline std::optional<int32_t> MachineInteger(const std::string& key, const std::string& name) {
    TRegKey k;
    if (!k.Open(RegLocalMachine, key, TRegAccess::raRead))
        return std::nullopt;
    return k.ReadInteger(name);
}
} // namespace UninstallTest

class UninstallFixture : public TIsolatedTest {
protected:
    void SetUp() override {
        TIsolatedTest::SetUp();
        ASSERT_TRUE(CreateDir(TempPath("machine")));
        ASSERT_TRUE(CreateDir(TempPath("logs")));
        SetRestartRemovalHook([this](const std::string& path) {
            AtRestart.push_back(path);
            return RestartResult;
        });
        SetProgramRunHook([this](const std::string& command, const std::string& folder, uint32_t) {
            Programs.push_back(command + " in " + folder);
            return ProgramResult;
        });
        SetLogHook(
            [this](const std::string& verb, const std::string& text) { Log += verb + ": " + text + "\n"; });
        ProgramResult.Started = ProgramResult.Ended = true;
        // The screen saver's settings in the test's folder, never the machine's.
        SetSaverProfileFiles(TempPath("win.ini"), TempPath("system.ini"));
    }
    void TearDown() override {
        SetRestartRemovalHook(nullptr);
        SetProgramRunHook(nullptr);
        SetLogHook(nullptr);
        SetBatchStartHook(nullptr);
        SetSaverProfileFiles("", "");
        TIsolatedTest::TearDown();
    }

    // A path on the test's "machine".
    std::string M(const std::string& relative) const { return TempPath("machine\\" + relative); }
    std::string Dest(const std::string& product) const { return M(product); }

    std::string MakeFile(const std::string& relative, const std::string& text = "content") {
        const std::string path = M(relative);
        ForceDirectory(ExtractFileDir(path));
        WriteTextFile(path, text);
        return path;
    }

    // The product's entry, with its uninstaller in its folder, as TUninstallEXE writes it.
    void Install(const std::string& product) {
        const std::string program = MakeFile(product + "\\uninstall.exe", "the uninstaller");
        const std::string key = UninstallTest::ProductKey(product);
        WriteString(key, "DisplayName", product);
        WriteString(key, "UninstallString",
                    (program.find(' ') == std::string::npos ? program : "\"" + program + "\"") + " " +
                        product);
    }
    // One more file in the log, as an install file logs itself.
    void LogFile(const std::string& product, const std::string& path, const std::string& sub = "Files") {
        AddEntry(UninstallTest::ProductKey(product) + "\\" + sub, path);
    }
    void LogServer(const std::string& product, const std::string& path, bool program,
                   const std::string& sub = "ActiveX") {
        AddEntry(UninstallTest::ProductKey(product) + "\\" + sub, path + (program ? ";1" : ";0"));
    }
    void Count(const std::string& name, int32_t n) {
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, UninstallTest::SharedDLLs));
        ASSERT_TRUE(k.WriteInteger(name, n));
    }
    static void WriteString(const std::string& key, const std::string& name, const std::string& value) {
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, key)) << key;
        ASSERT_TRUE(k.WriteString(name, value));
    }

    int Run(const std::string& product, bool quiet = true) {
        TUninstallCommand c;
        c.Quiet = quiet;
        c.Product = product;
        TUninstallUI ui;
        ui.LogFolder = TempPath("logs");
        ui.Program = Program;
        ui.Ask = [this](const std::string& caption, const std::string& text) {
            Questions.push_back(caption + ": " + text);
            if (OnAsk)
                OnAsk();
            return Answer;
        };
        ui.Show = [this](const std::string& caption, const std::string& text, TMessageKind kind) {
            Shown.push_back(text);
            ShownKinds.push_back(kind);
        };
        return RunUninstaller(c, ui);
    }

    // Every file under the machine folder with its content, and every key
    // and value of the redirected registry roots.
    std::string Picture() const {
        std::string out;
        PictureFolder(TempPath("machine"), out);
        PictureKey(ScratchMachine(), "HKLM", out);
        PictureKey(ScratchUser(), "HKCU", out);
        return out;
    }

    std::string LogFileText() const {
        std::vector<std::string> names = ListDirectory(TempPath("logs"));
        std::string all;
        for (const std::string& n : names)
            all += n + "\n" + ReadWholeFile(TempPath("logs\\" + n));
        return all;
    }

    std::vector<std::string> AtRestart, Programs, Questions, Shown;
    std::vector<TMessageKind> ShownKinds;
    uint32_t RestartResult = 0;
    TRunResult ProgramResult;
    bool Answer = true;
    std::string Program; // the uninstaller's own file; none by default
    std::function<void()> OnAsk;
    std::string Log;

private:
    static void AddEntry(const std::string& key, const std::string& value) {
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, key));
        const int32_t n = StrToIntDef(k.ReadString("Entries").value_or("0"), 0) + 1;
        ASSERT_TRUE(k.WriteString("File" + IntToStr(n), value));
        ASSERT_TRUE(k.WriteString("Entries", IntToStr(n)));
    }
    static void PictureFolder(const std::string& dir, std::string& out) {
        std::vector<std::string> names = ListDirectory(dir);
        std::sort(names.begin(), names.end());
        for (const std::string& n : names) {
            const std::string path = AddBackslash(dir) + n;
            if (!n.empty() && n.back() == '\\') {
                out += path + (IsLink(path) ? " (link)\n" : "\n");
                if (!IsLink(path))
                    PictureFolder(path, out);
            } else {
                out += path + " = " + ReadWholeFile(path) + "\n";
            }
        }
    }
    static void PictureKey(TRegHandle root, const std::string& path, std::string& out) {
        TRegKey k;
        if (!k.Open(root, "", TRegAccess::raRead))
            return;
        std::vector<std::string> values = k.ValueNames();
        std::sort(values.begin(), values.end());
        for (const std::string& v : values) {
            std::optional<std::vector<uint8_t>> data = k.ReadBinary(v);
            out += path + " [" + v + "] = " + (data ? std::string(data->begin(), data->end()) : "?") + "\n";
        }
        std::vector<std::string> subs = k.SubKeyNames();
        std::sort(subs.begin(), subs.end());
        for (const std::string& s : subs) {
            TRegKey child;
            if (child.Open(root, s, TRegAccess::raRead))
                PictureKey(child.Handle(), path + "\\" + s, out);
        }
    }
};
