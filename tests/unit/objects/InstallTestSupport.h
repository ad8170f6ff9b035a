// A project to install on an isolated registry: a root file container that
// stands in for the installation component, with its destination and archive
// in the test's folder, install files made from source files or from the
// version fixtures, the archive built from them, and the seams and the log
// watched.
#pragma once
#include "ObjectTestSupport.h"
#include "objects/routines_Log.h"
#include "objects/types_RunState.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Registry.h"
#include "support/IsolatedTest.h"
#include "support/SystemHelpers.h"
#include <algorithm>
#include <map>

inline std::string VersionFixture(const std::string& relative) {
    return BuildTreePath(QFD_VERSION_FIXTURES, relative);
}

struct TLogEntry {
    std::string Verb, Text;
};

class InstallFixture : public TIsolatedTest, protected TObjectTreeFixture {
protected:
    void SetUp() override {
        TIsolatedTest::SetUp();
        MakeOwner();
        ASSERT_TRUE(CreateDir(TempPath("src")));
        Root = Make<TFileContainer>("Root");
        Root->SetDestDir(TempPath("dest"));
        Root->SetArchiveFile(TempPath("files.1"));
        RunState().Install = Root;
        RunState().ProductName = "Demo Product";
        RunState().AddUnfinished = [this](const std::string& name, int kind) {
            Unfinished.push_back(name + ";" + std::to_string(kind));
        };
        RunSeams().MoveFileAtRestart = [this](const std::string& from, const std::string& to) {
            DelayedMoves.push_back(from + " -> " + to);
            return MoveAtRestartWorks;
        };
        RunSeams().WriteWinInit = [this](const std::string& section, const std::string& key,
                                         const std::string& value) {
            WinInitLines.push_back("[" + section + "] " + key + "=" + value);
            return true;
        };
        RunSeams().StartHidden = [this](const std::string& command) {
            Started.push_back(command);
            return true;
        };
        RunSeams().WindowsVersion = [this] { return Windows; };
        SetLogHook([this](const std::string& verb, const std::string& text) { Log.push_back({verb, text}); });
    }
    void TearDown() override {
        SetLogHook(nullptr);
        FreeOwner();
        TIsolatedTest::TearDown();
    }

    std::string Dest(const std::string& name) const { return TempPath("dest\\" + name); }
    std::string Src(const std::string& name) const { return TempPath("src\\" + name); }

    // An install file of Root whose source holds content.
    TInstallFile* AddFile(const std::string& component, const std::string& name, const std::string& content,
                          TFileContainer* container = nullptr) {
        WriteTextFile(Src(name), content);
        return AddSource(component, Src(name), container);
    }
    // An install file of Root made from a copy of a version fixture.
    TInstallFile* AddFixture(const std::string& component, const std::string& fixture,
                             TFileContainer* container = nullptr) {
        const std::string copy = Src(ExtractFileName(fixture));
        EXPECT_TRUE(CopyFileTo(VersionFixture(fixture), copy, false)) << fixture;
        return AddSource(component, copy, container);
    }
    TInstallFile* AddSource(const std::string& component, const std::string& path,
                            TFileContainer* container = nullptr) {
        auto* f = new TInstallFile(Owner, container ? container : Root, path);
        f->SetName(component);
        return f;
    }

    // Compresses every install file of the tree into its archive.
    void BuildArchive() {
        std::map<std::string, bool> started;
        for (int i = 0; i < InstallFileList().Count(); ++i) {
            TCustomInstallFile* f = InstallFileList().Items(i);
            TQnfdCompress a;
            const std::string archive = f->ExpandedArchiveFile();
            a.SetCompressedFile(archive);
            TStringList files{f->SourcePath()};
            a.SetFilesToProcess(files);
            a.Compress(started[archive], f->UniqueID());
            started[archive] = true;
        }
    }

    bool Logged(const std::string& verb, const std::string& part) const {
        for (const TLogEntry& e : Log)
            if (e.Verb == verb && e.Text.find(part) != std::string::npos)
                return true;
        return false;
    }
    std::string LogText() const {
        std::string all;
        for (const TLogEntry& e : Log)
            all += e.Verb + ": " + e.Text + "\n";
        return all;
    }

    static std::optional<std::string> MachineString(const std::string& key, const std::string& name) {
        TRegKey k;
        if (!k.Open(RegLocalMachine, key, TRegAccess::raRead))
            return std::nullopt;
        return k.ReadString(name);
    }
    static std::optional<int32_t> MachineInteger(const std::string& key, const std::string& name) {
        TRegKey k;
        if (!k.Open(RegLocalMachine, key, TRegAccess::raRead))
            return std::nullopt;
        return k.ReadInteger(name);
    }

    static constexpr const char* UninstallDemo =
        "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo Product";

    TFileContainer* Root = nullptr;
    std::vector<std::string> Unfinished, DelayedMoves, WinInitLines, Started;
    std::vector<TLogEntry> Log;
    bool MoveAtRestartWorks = true;
    TWindowsVersion Windows = wvWindowsNT;
};
