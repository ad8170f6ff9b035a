// The sample setup as a person meets it: every page of its wizards, in
// English, German and Russian, driven through its windows.
#include "E2ESupport.h"
#include "SampleDriver.h"
#include "platform/routines_WinText.h"
#include "support/SystemHelpers.h"
#include "support/TempFolder.h"
#include "support/WindowDriver.h"
#include "toolkit/forms_TextQuery.h"
#include "translate/routines_LangParse.h"
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <memory>
#include <windows.h>

#include <commctrl.h>

using namespace WindowDriver;
using namespace SampleDriver;

namespace {

// --- the language files the windows are compared with ------------------------------------------

struct TLanguageTexts {
    std::map<int32_t, std::string> ByGLID;
    std::set<std::string> All; // every text, memos as their lines joined by line breaks
    int Charset = 0;
    std::string Text(int32_t glid) const {
        auto it = ByGLID.find(glid);
        return it == ByGLID.end() ? "<no GLID " + std::to_string(glid) + ">" : it->second;
    }
};

TLanguageTexts ReadLanguage(const std::string& name, int charset) {
    TLanguageTexts t;
    t.Charset = charset;
    const std::string bytes = ReadWholeFile(BuildTreePath(QFD_SAMPLE_LANG, "qnfi" + name + ".txt"));
    TParsedLanguage parsed = ParseLanguageLines(LanguageFileLines(bytes, 3));
    for (const TParsedString& s : parsed.Strings) {
        t.ByGLID.emplace(s.GLID, s.Text);
        t.All.insert(s.Text);
    }
    for (const TParsedMemo& m : parsed.Memos) {
        std::string joined;
        for (const std::string& line : m.Lines)
            joined += (joined.empty() ? "" : "\r\n") + line;
        t.ByGLID.emplace(m.GLID, joined);
        t.All.insert(joined);
    }
    return t;
}

// A text seen on a page, with the character set of its font.
struct TShownText {
    std::string Text;
    int Charset;
    std::string Where;
};

// Receives the labels' texts that the sample's main form sends back.
class TPaintedTextReader {
public:
    TPaintedTextReader() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QfdSampleTestReceiver";
        RegisterClassW(&wc);
        FWindow = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
        SetWindowLongPtrW(FWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~TPaintedTextReader() { DestroyWindow(FWindow); }

    // The labels of the window; Charsets then holds the font's character
    // set of every window in it.
    std::vector<TShownText> Read(TWindowHandle mainForm, TWindowHandle window) {
        FReply.clear();
        FAnswered = false;
        Charsets.clear();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(H(mainForm), PaintedTextsMessage(), window, reinterpret_cast<LPARAM>(FWindow),
                            SMTO_ABORTIFHUNG, 5000, &result);
        std::vector<TShownText> texts;
        size_t at = 0;
        while (FAnswered && at < FReply.size()) {
            size_t end = FReply.find('\n', at);
            std::string line = FReply.substr(at, end - at);
            at = end == std::string::npos ? FReply.size() : end + 1;
            size_t tab1 = line.find('\t'), tab2 = line.find('\t', tab1 + 1);
            if (tab1 != 1 || tab2 == std::string::npos)
                continue;
            if (line[0] == 'L')
                texts.push_back({line.substr(tab2 + 1), std::stoi(line.substr(2, tab2 - 2)), "label"});
            else if (line[0] == 'W')
                Charsets[std::stoull(line.substr(2, tab2 - 2))] = std::stoi(line.substr(tab2 + 1));
        }
        return texts;
    }
    std::map<uintptr_t, int> Charsets;
    bool Answered() const { return FAnswered; }

private:
    static LRESULT CALLBACK Proc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_COPYDATA) {
            auto* self = reinterpret_cast<TPaintedTextReader*>(GetWindowLongPtrW(h, GWLP_USERDATA));
            auto* data = reinterpret_cast<COPYDATASTRUCT*>(lp);
            if (self && data->dwData == PaintedTextsTag) {
                self->FReply.assign(static_cast<const char*>(data->lpData), data->cbData);
                self->FAnswered = true;
            }
            return TRUE;
        }
        return DefWindowProcW(h, msg, wp, lp);
    }
    HWND FWindow = nullptr;
    std::string FReply;
    bool FAnswered = false;
};

// Memory in the sample's process for the list and tree messages, whose
// answers Windows does not carry across processes.
class TRemoteBuffer {
public:
    TRemoteBuffer(HWND w, size_t size) : FSize(size) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        FProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (FProcess)
            FAt = static_cast<char*>(
                VirtualAllocEx(FProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
    ~TRemoteBuffer() {
        if (FAt)
            VirtualFreeEx(FProcess, FAt, 0, MEM_RELEASE);
        if (FProcess)
            CloseHandle(FProcess);
    }
    bool Valid() const { return FAt != nullptr; }
    char* At(size_t offset) const { return FAt + offset; }
    bool Write(size_t offset, const void* data, size_t n) {
        return WriteProcessMemory(FProcess, FAt + offset, data, n, nullptr);
    }
    std::string ReadWide(size_t offset, size_t chars) {
        std::vector<wchar_t> buf(chars + 1);
        if (!ReadProcessMemory(FProcess, FAt + offset, buf.data(), chars * sizeof(wchar_t), nullptr))
            return "<unreadable>";
        buf[chars] = 0;
        return Narrow(buf.data(), wcslen(buf.data()));
    }

private:
    HANDLE FProcess = nullptr;
    char* FAt = nullptr;
    size_t FSize;
};

constexpr size_t kTextChars = 260;

// One cell of a report list view (sub 0: the item's caption).
std::string ListCell(HWND list, int item, int sub) {
    TRemoteBuffer b(list, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
    LVITEMW it{};
    it.iSubItem = sub;
    it.pszText = reinterpret_cast<wchar_t*>(b.At(sizeof it));
    it.cchTextMax = kTextChars;
    if (!b.Valid() || !b.Write(0, &it, sizeof it))
        return "<no remote memory>";
    SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(b.At(0)));
    return b.ReadWide(sizeof it, kTextChars);
}

std::vector<std::string> ListColumns(HWND list) {
    std::vector<std::string> columns;
    for (int i = 0; i < 10; ++i) {
        TRemoteBuffer b(list, sizeof(LVCOLUMNW) + kTextChars * sizeof(wchar_t));
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT;
        c.pszText = reinterpret_cast<wchar_t*>(b.At(sizeof c));
        c.cchTextMax = kTextChars;
        if (!b.Valid() || !b.Write(0, &c, sizeof c) ||
            !SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(b.At(0))))
            break;
        columns.push_back(b.ReadWide(sizeof c, kTextChars));
    }
    return columns;
}

std::string TreeItemText(HWND tree, HTREEITEM item) {
    TRemoteBuffer b(tree, sizeof(TVITEMW) + kTextChars * sizeof(wchar_t));
    TVITEMW it{};
    it.mask = TVIF_TEXT | TVIF_HANDLE;
    it.hItem = item;
    it.pszText = reinterpret_cast<wchar_t*>(b.At(sizeof it));
    it.cchTextMax = kTextChars;
    if (!b.Valid() || !b.Write(0, &it, sizeof it))
        return "<no remote memory>";
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(b.At(0)));
    return b.ReadWide(sizeof it, kTextChars);
}

// The digits of a size as the drive list and the size column show it ("24,400 Bytes").
int64_t SizeOf(const std::string& shown) {
    std::string digits;
    for (char c : shown)
        if (c >= '0' && c <= '9')
            digits += c;
    return digits.empty() ? -1 : std::stoll(digits);
}

// --- the sample's product ---------------------------------------------------------------------------

struct TSampleFile {
    const char* Name;
    int32_t ID;
    size_t Size;
};
// The identifiers of the stored project; Program holds the first two,
// Documentation (inside Program) the other two.
const TSampleFile kFiles[] = {
    {"sample.txt", 1, 1000}, {"sample.dat", 2, 20000}, {"manual.txt", 3, 3000}, {"licence.txt", 4, 400}};
constexpr int64_t kProgramBytes = 21000, kDocumentationBytes = 3400;

class SampleRun : public ::testing::Test {
protected:
    E2E::TRunLogsRemoved FLogs;
    void SetUp() override {
        LogsBefore = E2E::SetupLogs();
        // The project's install files name no source folder, so the archive
        // holds them by their bare names: it is made in their folder.
        std::vector<E2E::TMember> members;
        for (const TSampleFile& f : kFiles) {
            WriteTextFile(Dist / f.Name, std::string(f.Size, static_cast<char>('a' + f.ID)));
            members.push_back({f.Name, f.ID});
        }
        wchar_t cwd[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, cwd);
        SetCurrentDirectoryW(Wide(Dist.Path()).c_str());
        E2E::MakeArchive(Dist / "files.1", members);
        SetCurrentDirectoryW(cwd);
        Dest = Target / "quenfold sample";
    }
    void TearDown() override {
        if (Process) {
            if (WaitForSingleObject(Process, 0) == WAIT_TIMEOUT)
                TerminateProcess(Process, 1);
            WaitForSingleObject(Process, 5000);
            CloseHandle(Process);
        }
        if (Job)
            CloseHandle(Job);
        DeleteKeyTree(RegLocalMachine, E2E::UninstallKeyOf("Quenfold Sample"));
        const std::string log = E2E::NewSetupLog(LogsBefore, ExtractFileName(SampleExePath()));
        if (HasFailure() && !log.empty())
            std::cout << "log of the run:\n" << ReadWholeFile(log) << "\n";
        E2E::RemoveRecordsOf(SampleExePath());
        for (const std::string& log : E2E::SetupLogs())
            if (!LogsBefore.count(log))
                RemoveFile(log);
    }
    static std::string SampleExePath() {
        wchar_t full[MAX_PATH];
        DWORD n = GetFullPathNameW(Wide(SampleExe()).c_str(), MAX_PATH, full, nullptr);
        return n && n < MAX_PATH ? Narrow(full, n) : SampleExe();
    }

    // Starts the sample as a Windows user of the locale's language ("C" is
    // English, whatever the machine's language). Wine takes the user's
    // language from the Unix locale of a program started from outside Wine
    // (one started by a Windows program takes its parent's), so the sample
    // is started through env.
    void Start(const std::string& locale) {
        const std::string source = "-s" + RemoveBackslash(Dist.Path());
        const std::string utf8 = locale + ".UTF-8";
        ASSERT_TRUE(StartUnixProgram("/usr/bin/env", {"LC_ALL=" + utf8, "LANG=" + utf8,
                                                      std::string("LOCPATH=") + QFD_LOCALE_DIR, "wine",
                                                      UnixPathUnderWine(SampleExePath()), source}));
        MainForm = FindTopWindow("Quenfold Sample Setup", Pid, 15000);
        ASSERT_NE(MainForm, 0u) << "no backdrop";
        DWORD pid = 0;
        GetWindowThreadProcessId(H(MainForm), &pid);
        Pid = pid;
        Process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION |
                                  PROCESS_SET_QUOTA,
                              FALSE, pid);
        ASSERT_NE(Process, nullptr);
        // Started from outside, it is in no job of the window driver's: it
        // gets one that ends it with this test program, however that ends.
        if (Job)
            CloseHandle(Job);
        Job = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        ASSERT_TRUE(Job &&
                    SetInformationJobObject(Job, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
                    AssignProcessToJobObject(Job, Process))
            << GetLastError();
    }
    bool WaitForExit(uint32_t ms = 15000) { return WaitForSingleObject(Process, ms) == WAIT_OBJECT_0; }
    uint32_t ExitCode() {
        DWORD code = 0;
        GetExitCodeProcess(Process, &code);
        return code;
    }
    // The wizard window showing the page of this caption.
    TWindowHandle WaitForPage(const std::string& caption, uint32_t timeoutMs = 15000) {
        TWindowHandle w = FindTopWindow(caption, Pid, timeoutMs);
        EXPECT_NE(w, 0u) << "no \"" << caption << "\"; " << TopCaptions(Pid);
        EXPECT_TRUE(w && WaitFor([&] { return FocusOnButtonOf(CurrentPage(w)); }))
            << caption << " does not focus its button";
        return w;
    }
    // Presses a button of the wizard's current page and waits for the page
    // of the next caption.
    TWindowHandle Press(TWindowHandle wizard, const std::string& button, const std::string& nextCaption) {
        TWindowHandle page = CurrentPage(wizard);
        EXPECT_TRUE(PressButton(page, button)) << "no button \"" << button << "\" on " << ControlText(wizard);
        TWindowHandle next = 0;
        WaitFor(
            [&] {
                next = FindTopWindow(nextCaption, Pid, 50);
                return next && CurrentPage(next);
            },
            15000);
        EXPECT_NE(next, 0u) << button << " did not lead to \"" << nextCaption << "\"; " << TopCaptions(Pid);
        EXPECT_TRUE(next && WaitFor([&] { return FocusOnButtonOf(CurrentPage(next)); }))
            << nextCaption << " does not focus its button";
        return next;
    }

    bool ButtonShows(TWindowHandle wizard, const std::string& caption) {
        TWindowHandle b = FindChild(CurrentPage(wizard), caption, "Button");
        return b && IsWindowVisible(H(b));
    }

    // Every text the current page shows: the wizard's caption, the visible
    // windows' texts (buttons, group boxes, choices, the description), the
    // labels, the drive list's columns and the group tree's first rows.
    std::vector<TShownText> ShownTexts(TWindowHandle wizard) {
        std::vector<TShownText> texts{{ControlText(wizard), -2, "caption"}};
        TWindowHandle page = CurrentPage(wizard);
        for (TShownText& t : Painted.Read(MainForm, page))
            texts.push_back(t);
        auto charset = [&](HWND h) {
            auto it = Painted.Charsets.find(reinterpret_cast<uintptr_t>(h));
            return it == Painted.Charsets.end() ? -1 : it->second;
        };
        for (HWND h : VisibleDescendants(page)) {
            const std::string cls = ClassNameOf(reinterpret_cast<TWindowHandle>(h));
            const LONG style = GetWindowLongW(h, GWL_STYLE);
            if (SameText(cls, "Edit") && !(style & ES_MULTILINE))
                continue; // the destination folder: a path, not a text of the setup
            std::string text = ControlText(reinterpret_cast<TWindowHandle>(h));
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            if (!text.empty())
                texts.push_back({text, charset(h), cls});
        }
        if (HWND list = VisibleChildOfClass(page, "SysListView32"))
            for (const std::string& c : ListColumns(list))
                if (!c.empty())
                    texts.push_back({c, charset(list), "drive list column"});
        if (HWND tree = VisibleChildOfClass(page, "SysTreeView32")) {
            auto root = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
            auto child = reinterpret_cast<HTREEITEM>(
                SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(root)));
            texts.push_back({TreeItemText(tree, root), charset(tree), "group tree"});
            texts.push_back({TreeItemText(tree, child), charset(tree), "group tree"});
        }
        return texts;
    }

    // The page shows the language's texts of these GLIDs and no text that is
    // not the language's; every font carries its character set.
    void ExpectPageIn(const TLanguageTexts& lang, TWindowHandle wizard,
                      std::initializer_list<int32_t> glids) {
        ASSERT_NE(wizard, 0u);
        const std::string page = ControlText(wizard);
        std::vector<TShownText> shown = ShownTexts(wizard);
        EXPECT_TRUE(Painted.Answered()) << "the sample did not answer for the labels of " << page;
        std::set<std::string> seen;
        for (const TShownText& t : shown) {
            seen.insert(t.Text);
            const bool size = SizeOf(t.Text) >= 0 && t.Text.size() > lang.Text(1010).size() &&
                              t.Text.compare(t.Text.size() - lang.Text(1010).size(), std::string::npos,
                                             lang.Text(1010)) == 0;
            EXPECT_TRUE(size || lang.All.count(t.Text))
                << page << ": " << t.Where << " \"" << t.Text << "\" is not a text of the language";
            if (t.Charset != -2) {
                EXPECT_EQ(t.Charset, lang.Charset)
                    << page << ": the font of " << t.Where << " \"" << t.Text << "\"";
            }
        }
        for (int32_t glid : glids)
            EXPECT_TRUE(seen.count(lang.Text(glid)))
                << page << " does not show \"" << lang.Text(glid) << "\"";
    }

    TTempFolder Dist, Target;
    std::string Dest;
    std::set<std::string> LogsBefore;
    uint32_t Pid = 0;
    HANDLE Process = nullptr;
    HANDLE Job = nullptr;
    TWindowHandle MainForm = 0;
    TPaintedTextReader Painted;
};

// The group page: the destination typed into its folder box (the root group
// is selected).
void ChooseDestination(TWindowHandle page, const std::string& dest) {
    HWND edit = nullptr;
    for (HWND h : VisibleDescendants(page))
        if (SameText(ClassNameOf(reinterpret_cast<TWindowHandle>(h)), "Edit") &&
            !(GetWindowLongW(h, GWL_STYLE) & ES_MULTILINE))
            edit = h;
    ASSERT_NE(edit, nullptr) << "no destination folder box";
    // Typed: each character changes the selected group's folder.
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_CHAR, VK_BACK, 1);
    for (wchar_t c : Wide(dest))
        SendMessageW(edit, WM_CHAR, c, 1);
    EXPECT_TRUE(SameText(ControlText(reinterpret_cast<TWindowHandle>(edit)), dest));
}

// The required bytes of the drive list's first drive.
int64_t RequiredOnDrive(TWindowHandle page, std::string* drive = nullptr) {
    HWND list = VisibleChildOfClass(page, "SysListView32");
    if (!list || SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) < 1)
        return -1;
    if (drive)
        *drive = ListCell(list, 0, 0);
    return SizeOf(ListCell(list, 0, 1));
}

TEST_F(SampleRun, NextAndBackThroughEveryPageInstallTheChosenGroupsAndTheRestartChoiceIsKept) {
    auto fast = FastWindowsUnderWine("sample.exe");
    Start("C");
    ASSERT_NE(MainForm, 0u) << "no backdrop";

    TWindowHandle w = WaitForPage("Welcome");
    ASSERT_NE(w, 0u) << "no welcome page";
    EXPECT_FALSE(ButtonShows(w, "< Previous")) << "the first page has no Back";
    w = Press(w, "Next >", "Select components to install");
    ASSERT_NE(w, 0u);
    EXPECT_TRUE(ButtonShows(w, "< Previous"));
    w = Press(w, "< Previous", "Welcome");
    ASSERT_NE(w, 0u) << "Back on the group page does not lead to the welcome page";
    w = Press(w, "Next >", "Select components to install");
    ASSERT_NE(w, 0u);

    TWindowHandle page = CurrentPage(w);
    HWND edit = nullptr;
    for (HWND h : VisibleDescendants(page))
        if (SameText(ClassNameOf(reinterpret_cast<TWindowHandle>(h)), "Edit") &&
            !(GetWindowLongW(h, GWL_STYLE) & ES_MULTILINE))
            edit = h;
    ASSERT_NE(edit, nullptr);
    // The default destination lies under Program Files.
    EXPECT_TRUE(SameText(ControlText(reinterpret_cast<TWindowHandle>(edit)),
                         GetEnvVar("ProgramFiles").value_or("?") + "\\Quenfold Sample"))
        << ControlText(reinterpret_cast<TWindowHandle>(edit));
    ChooseDestination(page, Dest);
    std::string drive;
    EXPECT_EQ(RequiredOnDrive(page, &drive), kProgramBytes + kDocumentationBytes);
    EXPECT_EQ(drive, Dest.substr(0, 1));
    ASSERT_TRUE(OpenProgramGroup(page)) << "the Documentation group has no row";
    // Program installs into the folder of the whole product, now the typed one.
    EXPECT_TRUE(SameText(ControlText(reinterpret_cast<TWindowHandle>(edit)), Dest))
        << ControlText(reinterpret_cast<TWindowHandle>(edit));
    std::vector<HWND> boxes = IncludeBoxes(page);
    ASSERT_EQ(boxes.size(), 3u);
    for (HWND b : boxes)
        EXPECT_EQ(SendMessageW(b, BM_GETCHECK, 0, 0), BST_CHECKED);
    // Unticking Documentation takes its bytes off the drive, and off the
    // totals of the groups above it.
    SendMessageW(boxes[2], BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return RequiredOnDrive(page) == kProgramBytes; }))
        << "needed on the drive: " << RequiredOnDrive(page);
    std::vector<TShownText> labels = Painted.Read(MainForm, page);
    int64_t rootTotal = -1;
    for (const TShownText& t : labels)
        if (t.Text.find("Bytes") != std::string::npos && rootTotal < 0)
            rootTotal = SizeOf(t.Text);
    EXPECT_EQ(rootTotal, kProgramBytes) << "the size column of the whole product";
    // Back and Next keep the choice: the groups hold it.
    w = Press(w, "< Previous", "Welcome");
    w = Press(w, "Next >", "Select components to install");
    ASSERT_NE(w, 0u);
    EXPECT_EQ(RequiredOnDrive(CurrentPage(w)), kProgramBytes);

    // Next on the last page installs; the after-installation wizard starts
    // with the restart page, which shows Reboot as it is: No.
    w = Press(w, "Next >", "Reboot windows");
    ASSERT_NE(w, 0u) << "no restart page after the installation";
    TWindowHandle yes = FindChild(CurrentPage(w), "Yes, I would like to reboot windows", "Button");
    TWindowHandle no = FindChild(CurrentPage(w), "No, I would not like to reboot windows", "Button");
    ASSERT_TRUE(yes && no);
    EXPECT_EQ(SendMessageW(H(no), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(ButtonShows(w, "< Previous"));
    EXPECT_TRUE(ButtonShows(w, "Next >"));
    EXPECT_TRUE(ButtonShows(w, "Finish") == false);
    ASSERT_TRUE(PressButton(CurrentPage(w), "Yes, I would like to reboot windows"));
    EXPECT_TRUE(WaitFor([&] { return SendMessageW(H(yes), BM_GETCHECK, 0, 0) == BST_CHECKED; }));

    w = Press(w, "Next >", "Setup complete");
    ASSERT_NE(w, 0u);
    EXPECT_TRUE(ButtonShows(w, "Finish"));
    EXPECT_FALSE(ButtonShows(w, "Next >"));
    // Back shows the restart page again with the choice made: Reboot is now set.
    w = Press(w, "< Previous", "Reboot windows");
    ASSERT_NE(w, 0u);
    EXPECT_EQ(SendMessageW(H(FindChild(CurrentPage(w), "Yes, I would like to reboot windows", "Button")),
                           BM_GETCHECK, 0, 0),
              BST_CHECKED);
    w = Press(w, "Next >", "Setup complete");
    ASSERT_NE(w, 0u);
    ASSERT_TRUE(PressButton(CurrentPage(w), "Finish"));
    ASSERT_TRUE(WaitForExit()) << "the sample does not end after Finish";
    EXPECT_EQ(ExitCode(), 3u) << "installed, and the restart asked for on the restart page";

    // Only the chosen groups' files are installed.
    EXPECT_EQ(ReadWholeFile(Dest + "\\sample.txt"), std::string(1000, 'b'));
    EXPECT_EQ(ReadWholeFile(Dest + "\\sample.dat").size(), 20000u);
    EXPECT_FALSE(FileExists(Dest + "\\Documentation\\manual.txt"));
    EXPECT_FALSE(FileExists(Dest + "\\Documentation\\licence.txt"));
    const std::string log = E2E::NewSetupLog(LogsBefore, ExtractFileName(SampleExePath()));
    ASSERT_FALSE(log.empty()) << "no log of the run";
    const std::string lines = ReadWholeFile(log);
    EXPECT_NE(lines.find("Sample: Reboot = True"), std::string::npos) << lines;
    EXPECT_EQ(lines.find("manual.txt"), std::string::npos) << lines;
}

// Unattended, the sample shows no window at all and every page keeps its
// defaults: both groups, the project's own folder under Program Files.
TEST_F(SampleRun, UnattendedShowsNoWindowAndInstallsTheDefaults) {
    wchar_t programFiles[MAX_PATH] = {};
    ASSERT_GT(GetEnvironmentVariableW(L"ProgramFiles", programFiles, MAX_PATH), 0u);
    const std::string dest = Narrow(programFiles) + "\\Quenfold Sample";
    ASSERT_FALSE(FileExists(dest + "\\sample.txt")) << "left from an earlier run: " << dest;
    TProcess p(QuoteArg(SampleExePath()) + " -q " + QuoteArg("-s" + RemoveBackslash(Dist.Path())));
    std::string seen;
    const bool ended = WaitFor(
        [&] {
            const std::string shown = TopCaptions(p.Id());
            if (shown != "windows:" && seen.empty())
                seen = shown;
            return !p.Running();
        },
        30000, 5);
    ASSERT_TRUE(ended) << "the unattended sample does not end";
    EXPECT_EQ(seen, "") << "a window appeared";
    EXPECT_EQ(p.ExitCode(), 0u);
    for (const TSampleFile& f : kFiles) {
        const std::string path = dest + (f.ID >= 3 ? "\\Documentation\\" : "\\") + f.Name;
        EXPECT_EQ(ReadWholeFile(path).size(), f.Size) << path;
        RemoveFile(path);
    }
    RemoveDirectoryW(Wide(dest + "\\Documentation").c_str());
    RemoveDirectoryW(Wide(dest).c_str());
}

TEST_F(SampleRun, CancelOnTheWelcomePageAsksAndConfirmedEndsOnTheFailedInstallationPage) {
    auto fast = FastWindowsUnderWine("sample.exe");
    Start("C");
    TWindowHandle w = WaitForPage("Welcome");
    ASSERT_NE(w, 0u);
    ASSERT_TRUE(PressButton(CurrentPage(w), "Cancel"));
    TWindowHandle box = FindTopWindow("Confirm", Pid);
    ASSERT_NE(box, 0u) << "Cancel does not ask";
    EXPECT_EQ(MessageBoxText(box), "Do you want to cancel the installation?");
    ASSERT_TRUE(PressButton(box, "No"));
    EXPECT_TRUE(WaitFor([&] { return !IsWindowAlive(box); }));
    EXPECT_EQ(ControlText(w), "Welcome") << "No keeps the wizard where it was";

    ASSERT_TRUE(PressButton(CurrentPage(w), "Cancel"));
    box = FindTopWindow("Confirm", Pid);
    ASSERT_NE(box, 0u);
    ASSERT_TRUE(PressButton(box, "Yes"));
    TWindowHandle bad = WaitForPage("Setup incomplete");
    ASSERT_NE(bad, 0u) << "no failed-installation page after the cancel";
    ASSERT_NE(CurrentPage(bad), 0u);
    EXPECT_TRUE(ButtonShows(bad, "Finish"));
    EXPECT_FALSE(ButtonShows(bad, "< Previous"));
    ASSERT_TRUE(PressButton(CurrentPage(bad), "Finish"));
    ASSERT_TRUE(WaitForExit());
    EXPECT_FALSE(DirectoryExists(Dest));
    EXPECT_EQ(E2E::RecordOf(SampleExePath()), "") << "no install record stays behind";
}

struct TLanguageCase {
    const char* Locale;
    const char* File;
    int Charset;
};

// Every page in the language of the Windows user, compared with the
// sample's language file; both completion pages included.
class SampleTranslated : public SampleRun {
protected:
    void WalkGoodRun(const TLanguageCase& c) {
        const TLanguageTexts lang = ReadLanguage(c.File, c.Charset);
        auto fast = FastWindowsUnderWine("sample.exe");
        Start(c.Locale);
        ASSERT_NE(MainForm, 0u);
        TWindowHandle w = WaitForPage(lang.Text(1001));
        ASSERT_NE(w, 0u) << "no welcome page titled \"" << lang.Text(1001) << "\"";
        ASSERT_NE(CurrentPage(w), 0u);
        ExpectPageIn(lang, w, {1001, 5, 6, 10, 11, 12});
        w = Press(w, lang.Text(5), lang.Text(1002));
        ASSERT_NE(w, 0u);
        ChooseDestination(CurrentPage(w), Dest);
        ExpectPageIn(lang, w, {1002, 4, 5, 6, 28, 29, 48, 1007, 1008, 1009, 1014, 1015, 1020});
        w = Press(w, lang.Text(5), lang.Text(1003));
        ASSERT_NE(w, 0u) << "no restart page titled \"" << lang.Text(1003) << "\"";
        ExpectPageIn(lang, w, {1003, 5, 52, 1011, 1012});
        w = Press(w, lang.Text(5), lang.Text(1004));
        ASSERT_NE(w, 0u);
        ExpectPageIn(lang, w, {1004, 4, 72, 38});
        ASSERT_TRUE(PressButton(CurrentPage(w), lang.Text(72)));
        ASSERT_TRUE(WaitForExit());
        EXPECT_TRUE(FileExists(Dest + "\\Documentation\\manual.txt"));
    }
    void WalkCancelledRun(const TLanguageCase& c) {
        const TLanguageTexts lang = ReadLanguage(c.File, c.Charset);
        auto fast = FastWindowsUnderWine("sample.exe");
        Start(c.Locale);
        TWindowHandle w = WaitForPage(lang.Text(1001));
        ASSERT_NE(w, 0u);
        ASSERT_TRUE(PressButton(CurrentPage(w), lang.Text(6)));
        TWindowHandle box = FindTopWindow("Confirm", Pid);
        ASSERT_NE(box, 0u);
        EXPECT_EQ(MessageBoxText(box), lang.Text(1017));
        // The box's own buttons are in the system's language: Yes by its number.
        PostMessageW(GetDlgItem(H(box), IDYES), BM_CLICK, 0, 0);
        w = WaitForPage(lang.Text(1005));
        ASSERT_NE(w, 0u) << "no failed-installation page titled \"" << lang.Text(1005) << "\"";
        ASSERT_TRUE(WaitFor([&] { return CurrentPage(w) != 0; }));
        ExpectPageIn(lang, w, {1005, 72, 60});
        ASSERT_TRUE(PressButton(CurrentPage(w), lang.Text(72)));
        ASSERT_TRUE(WaitForExit());
    }
};

const TLanguageCase kGerman{"de_DE", "German", 0};
const TLanguageCase kRussian{"ru_RU", "Russian", 204};

TEST_F(SampleTranslated, GermanEveryPageOfAGoodRun) {
    WalkGoodRun(kGerman);
}
TEST_F(SampleTranslated, GermanTheFailedInstallationPage) {
    WalkCancelledRun(kGerman);
}
TEST_F(SampleTranslated, RussianEveryPageOfAGoodRunWithTheRussianCharacterSet) {
    WalkGoodRun(kRussian);
}
TEST_F(SampleTranslated, RussianTheFailedInstallationPage) {
    WalkCancelledRun(kRussian);
}

} // namespace
