// uninstall.exe as the list of installed programs starts it, on the real
// registry of the test prefix: products with names of their own, logged the
// way the install files log themselves, removed with and without windows.
// Everything a test writes is taken away again afterwards.
#include "platform/routines_Files.h"
#include "platform/routines_InstallSteps.h"
#include "platform/routines_Registry.h"
#include "platform/routines_Removal.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <gtest/gtest.h>
#include <set>
#include <windows.h>

using namespace WindowDriver;

namespace {

const char* const ListKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char* const SharedDLLs = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char* const SessionManager = "System\\CurrentControlSet\\Control\\Session Manager";
const char* const FixturesKey = "Software\\Quenfold\\Fixtures";
constexpr uint32_t RunLimitMs = 20000;
// The clean-up batch erases the uninstaller once a second after it ended.
constexpr uint32_t SelfRemovalLimitMs = 10000;

std::string UninstallExe() {
    return ThisProgramFolder() + "..\\..\\src\\uninstall\\uninstall.exe";
}

std::string VersionFixture(const std::string& relative) {
    return BuildTreePath(QFD_VERSION_FIXTURES, relative);
}

std::optional<int32_t> Integer(TRegHandle root, const std::string& key, const std::string& name) {
    TRegKey k;
    if (!k.Open(root, key, TRegAccess::raRead))
        return std::nullopt;
    return k.ReadInteger(name);
}

// The files and folders below dir, for "nothing was removed".
std::string Listing(const std::string& dir) {
    std::string out;
    std::vector<std::string> names = ListDirectory(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        out += AddBackslash(dir) + n + "\n";
        if (!n.empty() && n.back() == '\\')
            out += Listing(AddBackslash(dir) + n);
    }
    return out;
}

// The REG_MULTI_SZ list of moves and removals Windows does at the restart.
std::vector<std::string> PendingOperations() {
    HKEY key;
    std::vector<std::string> out;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(SessionManager).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size) ==
            ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, 0);
        RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size);
        size_t n = size / sizeof(wchar_t);
        // Pairs of strings: a removal has an empty second one, so split by hand.
        size_t start = 0;
        for (size_t i = 0; i < n; ++i)
            if (data[i] == 0) {
                out.push_back(Narrow(data.data() + start, i - start));
                start = i + 1;
            }
        // The list ends with one more terminator.
        if (!out.empty() && out.back().empty() && out.size() % 2)
            out.pop_back();
    }
    RegCloseKey(key);
    return out;
}

void SetPendingOperations(const std::vector<std::string>& ops) {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(SessionManager).c_str(), 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    if (ops.empty()) {
        RegDeleteValueW(key, L"PendingFileRenameOperations");
    } else {
        std::wstring data;
        for (const std::string& s : ops)
            data += Wide(s) + L'\0';
        data += L'\0';
        RegSetValueExW(key, L"PendingFileRenameOperations", 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

class UninstallProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileExists(UninstallExe())) << UninstallExe();
        FLogsBefore = UninstallLogs();
    }
    void TearDown() override {
        for (const std::string& p : FProducts)
            DeleteKeyTree(RegLocalMachine, ListKey + p);
        TRegKey shared;
        if (shared.Open(RegLocalMachine, SharedDLLs))
            for (const std::string& name : FCounted)
                shared.DeleteValue(name);
        TRegKey fixtures;
        if (fixtures.Open(RegCurrentUser, FixturesKey)) {
            fixtures.DeleteValue("OleSelfRegister");
            fixtures.DeleteValue("ExeRegServer");
        }
        // This test's removals at the restart, and nobody else's, go from the list.
        std::vector<std::string> ops = PendingOperations(), kept;
        for (size_t i = 0; i + 1 < ops.size(); i += 2)
            if (UpperCase(ops[i]).find(UpperCase(RemoveBackslash(FTemp.Path()))) == std::string::npos) {
                kept.push_back(ops[i]);
                kept.push_back(ops[i + 1]);
            }
        if (kept.size() != ops.size())
            SetPendingOperations(kept);
        for (const std::string& log : NewLogs())
            RemoveFile(TempDirectory() + log);
    }

    // A product name no other test program uses.
    std::string Product(const std::string& tag) {
        return Track("Qfd Uninstall Test " + std::to_string(GetCurrentProcessId()) + " " + tag);
    }
    // A product whose entry goes afterwards.
    std::string Track(const std::string& product) {
        FProducts.push_back(product);
        return product;
    }
    std::string Dest(const std::string& product) const { return FTemp / product; }
    std::string MakeFile(const std::string& path, const std::string& text = "content") {
        ForceDirectory(ExtractFileDir(path));
        WriteTextFile(path, text);
        return path;
    }
    // The product's folder with its uninstaller, and its entry in the list.
    std::string Install(const std::string& product) {
        ForceDirectory(Dest(product));
        const std::string program = Dest(product) + "\\uninstall.exe";
        EXPECT_TRUE(CopyFileTo(UninstallExe(), program, false));
        TRegKey k;
        EXPECT_TRUE(k.Create(RegLocalMachine, ListKey + product));
        k.WriteString("DisplayName", product);
        const std::string command =
            (program.find(' ') == std::string::npos ? program : "\"" + program + "\"") + " " + product;
        k.WriteString("UninstallString", command);
        return command;
    }
    void Log(const std::string& product, const std::string& sub, const std::string& value) {
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, ListKey + product + "\\" + sub));
        const int32_t n = StrToIntDef(k.ReadString("Entries").value_or("0"), 0) + 1;
        ASSERT_TRUE(k.WriteString("File" + IntToStr(n), value));
        ASSERT_TRUE(k.WriteString("Entries", IntToStr(n)));
    }
    void Count(const std::string& path, int32_t n) {
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, SharedDLLs));
        ASSERT_TRUE(k.WriteInteger(path, n));
        FCounted.push_back(path);
    }

    // uninstall.exe -q <product>, from the product's folder; its exit code.
    uint32_t RunQuietly(const std::string& product) {
        TProcess p(QuoteArg(Dest(product) + "\\uninstall.exe") + " -q " + product);
        EXPECT_TRUE(p.WaitForExit(RunLimitMs)) << "uninstall.exe -q did not end in time";
        return p.ExitCode();
    }

    // The "Uninstall Log" files the runs of this test wrote, all their text.
    std::string NewLogText() {
        std::string all;
        for (const std::string& log : NewLogs())
            all += log + "\n" + ReadWholeFile(TempDirectory() + log);
        return all;
    }
    bool Registered(const std::string& product) const {
        return RegKeyExists(RegLocalMachine, ListKey + product);
    }

    TTempFolder FTemp;

private:
    static std::set<std::string> UninstallLogs() {
        std::set<std::string> logs;
        for (const std::string& n : ListDirectory(TempDirectory()))
            if (n.rfind("Uninstall Log ", 0) == 0)
                logs.insert(n);
        return logs;
    }
    std::vector<std::string> NewLogs() const {
        std::vector<std::string> out;
        for (const std::string& n : UninstallLogs())
            if (!FLogsBefore.count(n))
                out.push_back(n);
        return out;
    }
    std::vector<std::string> FProducts, FCounted;
    std::set<std::string> FLogsBefore;
};

TEST_F(UninstallProgram, QuietlyRemovesTheLoggedFilesServersAndTheSharedFileWithItsLastProduct) {
    const std::string first = Product("First"), second = Product("Second");
    Install(first);
    Install(second);
    const std::string a = MakeFile(Dest(first) + "\\a.txt");
    const std::string b = MakeFile(Dest(first) + "\\docs\\b.txt");
    Log(first, "Files", a);
    Log(first, "Files", b);
    // A library server that registered itself (here in this prefix's HKCU).
    const std::string library = Dest(first) + "\\qfdole.dll";
    ASSERT_TRUE(CopyFileTo(VersionFixture("olereg/qfdole.dll"), library, false));
    ASSERT_EQ(RegisterServerLibrary(library).Step, TServerStep::ssDone);
    ASSERT_EQ(Integer(RegCurrentUser, FixturesKey, "OleSelfRegister"), 1);
    Log(first, "ActiveX", library + ";0");
    // A program server, registered by /REGSERVER.
    const std::string program = Dest(first) + "\\bin\\qfdapp.exe";
    ForceDirectory(ExtractFileDir(program));
    ASSERT_TRUE(CopyFileTo(VersionFixture("app/qfdapp.exe"), program, false));
    {
        TProcess reg(QuoteArg(program) + " /REGSERVER");
        ASSERT_TRUE(reg.WaitForExit());
    }
    ASSERT_EQ(Integer(RegCurrentUser, FixturesKey, "ExeRegServer"), 1);
    Log(first, "ActiveX", program + ";1");
    // One shared file, counted for both products.
    const std::string shared = MakeFile(FTemp / "Common\\shared.dll");
    Log(first, "Files", shared);
    Log(second, "Files", shared);
    Count(shared, 2);

    EXPECT_EQ(RunQuietly(first), 0u) << NewLogText();
    for (const std::string& f : {a, b, library, program})
        EXPECT_FALSE(FileExists(f)) << f;
    EXPECT_FALSE(DirectoryExists(Dest(first) + "\\docs"));
    EXPECT_FALSE(DirectoryExists(Dest(first) + "\\bin"));
    EXPECT_EQ(Integer(RegCurrentUser, FixturesKey, "OleSelfRegister"), std::nullopt);
    EXPECT_EQ(Integer(RegCurrentUser, FixturesKey, "ExeRegServer"), std::nullopt);
    EXPECT_TRUE(FileExists(shared));
    EXPECT_EQ(Integer(RegLocalMachine, SharedDLLs, shared), 1);
    EXPECT_FALSE(Registered(first));
    EXPECT_TRUE(Registered(second));

    EXPECT_EQ(RunQuietly(second), 0u) << NewLogText();
    EXPECT_FALSE(FileExists(shared));
    TRegKey counts;
    ASSERT_TRUE(counts.Open(RegLocalMachine, SharedDLLs, TRegAccess::raRead));
    EXPECT_FALSE(counts.ValueExists(shared));
    EXPECT_FALSE(Registered(second));

    const std::string log = NewLogText();
    EXPECT_NE(log.find("DllUnregisterServer of " + library + " succeeded"), std::string::npos) << log;
    EXPECT_NE(log.find("ran \"" + program + "\" /UNREGSERVER"), std::string::npos) << log;
    EXPECT_NE(log.find("SharedDLLs " + shared + " = 1; the file stays"), std::string::npos) << log;
    EXPECT_NE(log.find("exit code 0: " + second + " was removed."), std::string::npos) << log;
}

TEST_F(UninstallProgram, AFileHeldOpenWaitsForTheRestartAndEverythingElseGoes) {
    const std::string product = Product("Busy");
    Install(product);
    const std::string free = MakeFile(Dest(product) + "\\free.txt");
    const std::string held = MakeFile(Dest(product) + "\\held.dll");
    Log(product, "Files", free);
    Log(product, "Files", held);
    {
        TFileStream hold(held, fmOpenRead | fmShareExclusive);
        EXPECT_EQ(RunQuietly(product), 3u) << NewLogText();
    }
    EXPECT_FALSE(FileExists(free));
    EXPECT_TRUE(FileExists(held));
    EXPECT_FALSE(Registered(product));
    const std::vector<std::string> ops = PendingOperations();
    bool scheduled = false;
    for (size_t i = 0; i + 1 < ops.size(); i += 2)
        scheduled = scheduled || (SameText(ops[i], "\\??\\" + held) && ops[i + 1].empty());
    EXPECT_TRUE(scheduled) << "not among the removals at the restart: " << held;
    const std::string log = NewLogText();
    EXPECT_NE(log.find("marked for removal at the restart"), std::string::npos) << log;
    EXPECT_NE(log.find("exit code 3: " + product + " was removed."), std::string::npos) << log;
    EXPECT_NE(log.find("Removed when Windows restarts:"), std::string::npos) << log;
}

TEST_F(UninstallProgram, ADamagedLogStopsWithItsReasonAndRemovesNothing) {
    // No "Entries" in the log.
    const std::string damaged = Product("Damaged");
    Install(damaged);
    const std::string a = MakeFile(Dest(damaged) + "\\a.txt");
    Log(damaged, "Files", a);
    TRegKey k;
    ASSERT_TRUE(k.Open(RegLocalMachine, ListKey + damaged + "\\Files"));
    ASSERT_TRUE(k.DeleteValue("Entries"));
    // A path outside the product's folder that another product counts.
    const std::string greedy = Product("Greedy"), owner = Product("Owner");
    Install(greedy);
    Install(owner);
    const std::string mine = MakeFile(Dest(greedy) + "\\mine.txt");
    const std::string theirs = MakeFile(Dest(owner) + "\\theirs.dll");
    Log(greedy, "Files", mine);
    Log(greedy, "Files", theirs);
    Log(owner, "Files", theirs);
    Count(theirs, 1);
    const std::string before = Listing(FTemp.Path());

    // Quietly: no window waits for a person, so the program ends by itself.
    EXPECT_EQ(RunQuietly(damaged), 1u);
    EXPECT_EQ(RunQuietly(greedy), 1u);
    EXPECT_EQ(Listing(FTemp.Path()), before);
    EXPECT_TRUE(Registered(damaged));
    EXPECT_TRUE(Registered(greedy));
    EXPECT_EQ(Integer(RegLocalMachine, SharedDLLs, theirs), 1);
    const std::string log = NewLogText();
    EXPECT_NE(log.find("refused: The uninstall information of " + damaged +
                       " is damaged: the key Files has no \"Entries\" value. Nothing was removed."),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("refused: " + greedy + " cannot be removed safely: " + theirs + " is used by " +
                       owner + " as well"),
              std::string::npos)
        << log;
}

TEST_F(UninstallProgram, StartedAsTheListStartsItItAsksAndSaysWhatItRemoved) {
    auto fast = FastWindowsUnderWine("uninstall.exe");
    const std::string product = Product("Asked");
    const std::string command = Install(product);
    const std::string a = MakeFile(Dest(product) + "\\a.txt");
    Log(product, "Files", a);
    const std::string caption = "Uninstall " + product;
    {
        TProcess p(command);
        TWindowHandle box = FindTopWindow(caption, p.Id());
        ASSERT_NE(box, 0u);
        EXPECT_EQ(MessageBoxText(box), "Remove " + product + " and all of its components?");
        ASSERT_TRUE(PressButton(box, "No"));
        ASSERT_TRUE(p.WaitForExit());
        EXPECT_EQ(p.ExitCode(), 2u);
        EXPECT_TRUE(FileExists(a));
        EXPECT_TRUE(Registered(product));
    }
    TProcess p(command);
    TWindowHandle box = FindTopWindow(caption, p.Id());
    ASSERT_NE(box, 0u);
    ASSERT_TRUE(PressButton(box, "Yes"));
    ASSERT_TRUE(WaitFor([&] { return !IsWindowAlive(box); }));
    TWindowHandle done = FindTopWindow(caption, p.Id());
    ASSERT_NE(done, 0u);
    const std::string program = Dest(product) + "\\uninstall.exe";
    EXPECT_EQ(MessageBoxText(done), product + " was removed.\n\n1 file was removed:\n    " + a +
                                        "\n\nThe uninstaller " + program +
                                        " removes itself once it has ended.");
    // Not while the message waits for the person.
    WaitMilliseconds(1500);
    EXPECT_TRUE(FileExists(program));
    ASSERT_TRUE(PressButton(done, "OK"));
    ASSERT_TRUE(p.WaitForExit());
    EXPECT_EQ(p.ExitCode(), 0u);
    EXPECT_FALSE(FileExists(a));
    EXPECT_FALSE(Registered(product));
    // Then the uninstaller, and the product's folder it leaves empty.
    EXPECT_TRUE(WaitFor([&] { return !FileExists(program); }, SelfRemovalLimitMs)) << program;
    EXPECT_TRUE(WaitFor([&] { return !DirectoryExists(Dest(product)); }, SelfRemovalLimitMs))
        << Dest(product);
}

TEST_F(UninstallProgram, AnUninstallerThatAnotherProductStartsStaysUntilTheLastOneGoes) {
    const std::string first = Product("Shared First"), second = Product("Shared Second");
    Install(first);
    const std::string program = Dest(first) + "\\uninstall.exe";
    // The second product's entry starts the same file, written otherwise.
    {
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, ListKey + second));
        k.WriteString("DisplayName", second);
        k.WriteString("UninstallString", "\"" + UpperCase(program) + "\" " + second);
    }
    const std::string mine = MakeFile(Dest(first) + "\\first.txt");
    const std::string theirs = MakeFile(FTemp / "Second\\second.txt");
    Log(first, "Files", mine);
    Log(second, "Files", theirs);

    EXPECT_EQ(RunQuietly(first), 0u) << NewLogText();
    EXPECT_FALSE(FileExists(mine));
    EXPECT_FALSE(Registered(first));
    // Long enough for a batch that would take it.
    WaitMilliseconds(3000);
    EXPECT_TRUE(FileExists(program));
    EXPECT_NE(NewLogText().find("The uninstaller " + program + " was kept: another product uses it (" +
                                second + ")."),
              std::string::npos)
        << NewLogText();

    // The last product started by it: now it goes.
    TProcess p(QuoteArg(program) + " -q " + second);
    ASSERT_TRUE(p.WaitForExit(RunLimitMs));
    EXPECT_EQ(p.ExitCode(), 0u) << NewLogText();
    EXPECT_FALSE(FileExists(theirs));
    EXPECT_FALSE(Registered(second));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitFor([&] { return !FileExists(program); }, SelfRemovalLimitMs)) << program;
    std::printf("uninstaller gone %.2f s after its end\n",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    EXPECT_NE(NewLogText().find("The uninstaller " + program + " removes itself once it has ended."),
              std::string::npos)
        << NewLogText();
}

// The entry quotes the product's name: blanks at its end and a leading "-q "
// reach the uninstaller as part of it, through the real command line.
TEST_F(UninstallProgram, ANameWithABlankAtItsEndOrALeadingSwitchRemovesExactlyItself) {
    const std::string plain = Product("Named");
    const std::vector<std::string> names = {plain, Track(plain + " "), Track("-q " + plain)};
    std::vector<std::string> files;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string folder = FTemp / ("product" + std::to_string(i));
        const std::string program = folder + "\\uninstall.exe";
        files.push_back(MakeFile(folder + "\\file.txt"));
        ASSERT_TRUE(CopyFileTo(UninstallExe(), program, false));
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, ListKey + names[i]));
        k.WriteString("DisplayName", names[i]);
        k.WriteString("UninstallString", QuoteArg(program) + " \"" + names[i] + "\"");
        Log(names[i], "Files", files.back());
    }
    for (size_t i : {1u, 2u}) {
        SCOPED_TRACE("\"" + names[i] + "\"");
        const std::string program = FTemp / ("product" + std::to_string(i)) + "\\uninstall.exe";
        TProcess p(QuoteArg(program) + " -q \"" + names[i] + "\"");
        ASSERT_TRUE(p.WaitForExit(RunLimitMs));
        EXPECT_EQ(p.ExitCode(), 0u) << NewLogText();
        EXPECT_FALSE(Registered(names[i]));
        EXPECT_FALSE(FileExists(files[i]));
    }
    EXPECT_TRUE(Registered(plain));
    EXPECT_TRUE(FileExists(files[0]));
}

} // namespace
