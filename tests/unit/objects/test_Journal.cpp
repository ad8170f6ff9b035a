// The run journal: a run that fails at any of its steps, or is cancelled at
// its end, leaves the folders and the registry exactly as they were; a
// journal left by a killed run is undone by the next start, never while its
// run lives; one run of a product at a time.
#include "InstallTestSupport.h"
#include "platform/routines_AdminFolder.h"
#include "platform/routines_Journal.h"
#include <algorithm>
#include <set>
#include <windows.h>

namespace {
const char* const SharedDLLs = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

using TSnapshot = std::map<std::string, std::string>;

void SnapFolder(const std::string& folder, TSnapshot& snap) {
    for (const std::string& entry : ListDirectory(folder)) {
        const std::string path = AddBackslash(folder) + entry;
        if (!entry.empty() && entry.back() == '\\') {
            snap[path] = "folder";
            SnapFolder(RemoveBackslash(path), snap);
            continue;
        }
        TDateTime when = 0;
        FileGetModified(path, when);
        std::string bytes;
        try {
            bytes = ReadWholeFile(path);
        } catch (const std::exception&) {
            bytes = "in use, " + std::to_string(FileSizeOf(path)) + " bytes";
        }
        snap[path] = bytes + " | " + std::to_string(when) + (IsFileReadOnly(path) ? " | ro" : "");
    }
}

void SnapKey(const std::string& key, TSnapshot& snap) {
    TRegKey k;
    if (!k.Open(RegLocalMachine, key, TRegAccess::raRead))
        return;
    snap["HKLM\\" + key] = "key";
    for (const std::string& name : k.ValueNames()) {
        uint32_t type = 0;
        auto data = k.ReadRaw(name, type);
        snap["HKLM\\" + key + " " + name] =
            std::to_string(type) + ":" + (data ? std::string(data->begin(), data->end()) : "?");
    }
    for (const std::string& sub : k.SubKeyNames())
        SnapKey(key.empty() ? sub : key + "\\" + sub, snap);
}

std::string Difference(const TSnapshot& before, const TSnapshot& after) {
    std::string d;
    for (const auto& [k, v] : before) {
        auto it = after.find(k);
        if (it == after.end())
            d += "  gone: " + k + "\n";
        else if (it->second != v)
            d += "  changed: " + k + "\n";
    }
    for (const auto& [k, v] : after)
        if (!before.count(k))
            d += "  new: " + k + "\n";
    return d;
}
} // namespace

class Journal : public InstallFixture {
protected:
    TSnapshot Machine() {
        TSnapshot snap;
        SnapFolder(RemoveBackslash(TempPath("dest")), snap);
        SnapKey("", snap);
        return snap;
    }

    // A project with a step of every kind: a folder and new files made, an
    // older read-only file replaced, a file in use left for the restart, a
    // shared count, a help entry and the uninstall log.
    void MakeProject() {
        AddFile("Fresh", "fresh.txt", "fresh")->SetDestDir("\\new folder");
        AddFile("Older", "older.txt", "the new older.txt");
        auto* lib = AddFile("Lib", "lib.dll", "library");
        lib->SetUpdateDLLCounter(true);
        AddFile("Help", "tool.hlp", "help text");
        Busy = AddFile("Busy", "busy.scr", "new saver");
        BuildArchive();
        // The destination folder is made by the run; these are there before.
        ForceDirectory(TempPath("dest"));
        WriteTextFile(Dest("older.txt"), "the user's older.txt");
        FileSetModified(Dest("older.txt"), EncodeDateTime(2001, 2, 3, 4, 5, 6));
        SetFileReadOnly(Dest("older.txt"), true);
        WriteTextFile(Dest("busy.scr"), "running saver");
        TRegKey k;
        ASSERT_TRUE(k.Create(RegLocalMachine, SharedDLLs));
        ASSERT_TRUE(k.WriteInteger("C:\\other.dll", 2));
    }

    // One run under a journal; true when it got to its end.
    bool RunOnce(TRunJournal& journal, int failAt, std::string& failure) {
        EXPECT_TRUE(journal.Lock("Demo Product"));
        journal.Begin(nullptr);
        Busy->SetDestName("busy.scr");
        RunState().Reboot = false;
        TRunJournal::FailAtStep() = failAt;
        bool done = false;
        try {
            Root->Install();
            done = true;
        } catch (const Exception& e) {
            failure = e.Message();
        }
        TRunJournal::FailAtStep() = 0;
        return done;
    }

    void TearDown() override {
        TRunJournal::FailAtStep() = 0;
        SetFileReadOnly(Dest("older.txt"), false);
        InstallFixture::TearDown();
    }

    TInstallFile* Busy = nullptr;
};

TEST_F(Journal, AFailureAtAnyStepLeavesTheMachineAsItWas) {
    MakeProject();
    ForceDirectory(TempPath("dest"));
    // Held open without sharing for the whole test: always in use.
    TFileStream held(Dest("busy.scr"), fmOpenReadWrite | fmShareExclusive);
    const TSnapshot before = Machine();

    int steps = 0;
    for (int n = 1; n < 500; ++n) {
        TRunJournal journal;
        std::string failure;
        const bool done = RunOnce(journal, n, failure);
        const size_t recorded = journal.Steps();
        if (!done)
            EXPECT_NE(failure.find("failed on purpose"), std::string::npos)
                << "step " << n << ": " << failure;
        else
            EXPECT_LT(recorded, static_cast<size_t>(n)) << "step " << n << " failed, yet the run went on";
        std::set<std::string> kinds;
        for (const auto& e : journal.Entries())
            kinds.insert(e[0]);
        // The run that got through is cancelled at its end: undone as well.
        const std::vector<std::string> undoFailures = journal.Rollback();
        EXPECT_TRUE(undoFailures.empty()) << "step " << n << ": " << undoFailures.front();
        EXPECT_EQ(Difference(before, Machine()), "") << "after a failure at step " << n;
        if (done) {
            steps = n - 1;
            EXPECT_EQ(kinds, (std::set<std::string>{"A", "C", "D", "F", "K", "V"}));
            break;
        }
    }
    EXPECT_GE(steps, 15) << "the project has too few steps to be worth undoing";
    EXPECT_FALSE(DirectoryExists(JournalFolder())) << "the journals of the runs stay";
}

TEST_F(Journal, ACommittedRunKeepsItsWorkAndDropsTheOldFiles) {
    MakeProject();
    TRunJournal journal;
    std::string failure;
    ASSERT_TRUE(RunOnce(journal, 0, failure)) << failure;
    journal.Commit();
    journal.Unlock();
    EXPECT_EQ(ReadWholeFile(Dest("older.txt")), "the new older.txt");
    EXPECT_EQ(ReadWholeFile(Dest("new folder\\fresh.txt")), "fresh");
    for (const std::string& name : ListDirectory(TempPath("dest")))
        EXPECT_NE(name.substr(0, 4), "~qfk") << "a kept old file stays: " << name;
    EXPECT_EQ(MachineInteger(SharedDLLs, Dest("lib.dll")), 1);
    EXPECT_FALSE(DirectoryExists(JournalFolder()));
}

TEST_F(Journal, AKilledRunIsRepairedByTheNextStartButNeverWhileItLives) {
    MakeProject();
    const TSnapshot before = Machine();
    TRunJournal journal;
    std::string failure;
    ASSERT_TRUE(RunOnce(journal, 0, failure)) << failure;
    const std::string file = journal.FileName();
    journal.Abandon();
    ASSERT_TRUE(FileExists(file));
    ASSERT_NE(Difference(before, Machine()), "");

    // Its lock is held: the run lives, and a second one of the product waits.
    TRunJournal second;
    EXPECT_FALSE(second.Lock("demo product")) << "two runs of one product at once";
    EXPECT_TRUE(second.Lock("Another Product"));
    std::vector<std::string> lines;
    auto log = [&lines](const std::string& kind, const std::string& text) {
        lines.push_back(kind + ": " + text);
    };
    EXPECT_EQ(RepairInterruptedRuns(log), 0);
    EXPECT_TRUE(FileExists(file));

    // Killed while it wrote a line: that step never began, and the user's
    // file it names stays.
    WriteTextFile(Dest("keep.txt"), "stays");
    {
        TFileStream out(file, fmOpenReadWrite | fmShareDenyNone);
        out.Seek(0, TSeekOrigin::soEnd);
        const std::string torn = "F\t" + Dest("keep.txt");
        out.WriteBuffer(torn.data(), static_cast<int64_t>(torn.size()));
    }
    // The lock goes with the process.
    journal.Unlock();
    EXPECT_EQ(RepairInterruptedRuns(log), 1);
    EXPECT_EQ(ReadWholeFile(Dest("keep.txt")), "stays");
    RemoveFile(Dest("keep.txt"));
    EXPECT_EQ(Difference(before, Machine()), "");
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(lines.empty());
    EXPECT_NE(lines.front().find("ended without finishing"), std::string::npos) << lines.front();
}

namespace {

// A journal that would delete a user's file, write a value that starts a
// program at every logon and a line of an INI file of the user's choice.
std::string PlantedJournal(const std::string& victim, const std::string& ini) {
    return std::string("QFDJOURNAL1\n") + "F\t" + victim + "\n" +
           "V\t80000002\tSOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\tEvil\t1\t1\t"
           "6300610000000000\n" +
           "P\t" + ini + "\tboot\tshell\t1\tevil.exe\n";
}

std::vector<std::string> Lines(const std::vector<std::pair<std::string, std::string>>& log) {
    std::vector<std::string> lines;
    for (const auto& [kind, text] : log)
        lines.push_back(kind + ": " + text);
    return lines;
}

// A journal as an administrator's process writes it: in a file only
// administrators may change.
void WriteAsAdministrator(const std::string& path, const std::string& text) {
    const intptr_t h = CreateAdminFile(path);
    ASSERT_NE(h, -1) << path;
    DWORD written = 0;
    WriteFile(reinterpret_cast<HANDLE>(h), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(reinterpret_cast<HANDLE>(h));
    ASSERT_EQ(written, text.size());
}

bool Mentions(const std::vector<std::string>& lines, const std::string& part) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

} // namespace

// A user may make the journals' folder before any setup and plant a journal
// there, or plant one in a folder a run made: neither is obeyed, neither is
// deleted, and the log says why.
TEST_F(Journal, APlantedJournalIsNeverObeyed) {
    ForceDirectory(TempPath("dest"));
    WriteTextFile(Dest("victim.txt"), "the user's file");
    const std::string ini = TempPath("dest\\settings.ini");
    const std::string id = ProductRunId("Planted");
    std::vector<std::pair<std::string, std::string>> log;
    auto record = [&log](const std::string& kind, const std::string& text) { log.push_back({kind, text}); };
    auto untouched = [&] {
        EXPECT_EQ(ReadWholeFile(Dest("victim.txt")), "the user's file");
        EXPECT_FALSE(RegKeyExists(RegLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"));
        EXPECT_FALSE(FileExists(ini));
    };

    // 1. The folder made first, with the access list every user's folder gets.
    ForceDirectory(JournalFolder());
    WriteTextFile(AddBackslash(JournalFolder()) + id + ".jnl", PlantedJournal(Dest("victim.txt"), ini));
    EXPECT_EQ(RepairInterruptedRuns(record), 0);
    untouched();
    EXPECT_TRUE(FileExists(AddBackslash(JournalFolder()) + id + ".jnl"))
        << "a planted journal is not deleted";
    EXPECT_TRUE(Mentions(Lines(log), "are not obeyed")) << "the log says nothing of the planted journal";

    // A run moves that folder aside and makes its own.
    const std::string planted = JournalFolder();
    {
        TRunJournal journal;
        ASSERT_TRUE(journal.Lock("Someone Else"));
        journal.Begin(record);
        journal.Commit();
    }
    untouched();
    bool movedAside = false;
    for (const std::string& name : ListDirectory(ExtractFileDir(planted)))
        movedAside |= name.rfind(ExtractFileName(planted) + ".untrusted-", 0) == 0;
    EXPECT_TRUE(movedAside) << "the planted folder is kept aside";

    // 2. A journal written by a user into the folder a run made.
    TRunJournal holder;
    ASSERT_TRUE(holder.Lock("Holder"));
    log.clear();
    WriteTextFile(AddBackslash(JournalFolder()) + id + ".jnl", PlantedJournal(Dest("victim.txt"), ini));
    EXPECT_EQ(RepairInterruptedRuns(record), 0);
    untouched();
    EXPECT_TRUE(Mentions(Lines(log), "is not obeyed")) << "the log says nothing of the planted journal";

    // 3. Written as an administrator would, but naming steps no run takes:
    // each is refused, the one a run takes is carried out.
    log.clear();
    WriteTextFile(Dest("made.txt"), "made by the dead run");
    const std::string text = PlantedJournal(Dest("victim.txt"), ini) + "F\t" + Dest("made.txt") + "\n" +
                             "K\t" + Dest("victim.txt") + "\t" + TempPath("elsewhere.txt") + "\n" + "M\t" +
                             TempPath("dest\\..\\..") + "\n";
    // Steps that lead outside through "..": refused although they are bounded otherwise.
    const std::string escape = "F\t" + TempPath("dest\\..\\dest\\victim.txt") + "\n";
    WriteAsAdministrator(AddBackslash(JournalFolder()) + id + ".jnl", text + escape);
    WriteTextFile(TempPath("elsewhere.txt"), "elsewhere");
    EXPECT_EQ(RepairInterruptedRuns(record), 1);
    EXPECT_FALSE(FileExists(Dest("made.txt"))) << "the step a run takes is undone";
    EXPECT_EQ(ReadWholeFile(TempPath("elsewhere.txt")), "elsewhere");
    EXPECT_TRUE(DirectoryExists(TempPath("dest")));
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"));
    EXPECT_FALSE(FileExists(ini));
    // The victim is the one step that passes every bound (a file a run
    // made): what stops that one is the check of who wrote the journal.
    const std::vector<std::string> lines = Lines(log);
    for (const char* refused : {"CurrentVersion\\Run", "settings.ini", "elsewhere.txt", "..\\.."})
        EXPECT_TRUE(Mentions(lines, std::string("not one a run takes")) && Mentions(lines, refused))
            << "no refusal logged for " << refused;
}

// Under Wine a link is made from the outside, as a user of the machine
// would make a junction: the journals' folder made from outside, or a link
// put in the place of a folder a journal names, leads nowhere.
TEST_F(Journal, AJournalFolderMadeFromOutsideOrALinkOnTheWayIsNotFollowed) {
    if (!RunningUnderWine())
        GTEST_SKIP() << "the folder and the link are made with Unix programs under Wine";
    ForceDirectory(TempPath("dest\\sub"));
    ForceDirectory(TempPath("elsewhere"));
    WriteTextFile(TempPath("elsewhere\\victim.txt"), "not the run's");
    const std::string id = ProductRunId("Outside");
    std::vector<std::pair<std::string, std::string>> log;
    auto record = [&log](const std::string& kind, const std::string& text) { log.push_back({kind, text}); };

    // The folder, made by another program of the machine, with a journal.
    ASSERT_TRUE(StartUnixProgram("/bin/mkdir", {"-p", UnixPathUnderWine(JournalFolder())}));
    for (int i = 0; i < 250 && !DirectoryExists(JournalFolder()); ++i)
        Sleep(20);
    ASSERT_TRUE(DirectoryExists(JournalFolder()));
    WriteTextFile(AddBackslash(JournalFolder()) + id + ".jnl",
                  "QFDJOURNAL1\nF\t" + TempPath("elsewhere\\victim.txt") + "\n");
    EXPECT_EQ(RepairInterruptedRuns(record), 0);
    EXPECT_TRUE(FileExists(TempPath("elsewhere\\victim.txt")));
    EXPECT_TRUE(Mentions(Lines(log), "are not obeyed"));

    // An administrator's journal names dest\sub\victim.txt; sub is a link now.
    {
        TRunJournal mover;
        ASSERT_TRUE(mover.Lock("Mover"));
    }
    ASSERT_TRUE(RemoveDir(TempPath("dest\\sub")));
    ASSERT_TRUE(MakeUnixLinkUnderWine(TempPath("elsewhere"), TempPath("dest\\sub")));
    TRunJournal holder;
    ASSERT_TRUE(holder.Lock("Holder"));
    const std::string text = "QFDJOURNAL1\nF\t" + TempPath("dest\\sub\\victim.txt") + "\n";
    WriteAsAdministrator(AddBackslash(JournalFolder()) + id + ".jnl", text);
    log.clear();
    EXPECT_EQ(RepairInterruptedRuns(record), 1);
    EXPECT_TRUE(FileExists(TempPath("elsewhere\\victim.txt"))) << "a file behind a link was removed";
    EXPECT_TRUE(Mentions(Lines(log), "behind a link"));
    EXPECT_TRUE(RemoveUnixLinkUnderWine(TempPath("dest\\sub")));
}
