// The check before the run writes anything, with a project of real install
// files and their archive: a drive too small, something in the way of a
// destination and a missing member each end the run before a file or a
// registry value of the installation is written; a damaged member's failure
// names the member.
#include "EngineTestSupport.h"
#include "engine/routines_InstallCheck.h"
#include <gtest/gtest.h>

namespace {

class Check : public Engine {
protected:
    void SetUp() override {
        Engine::SetUp();
        SetLogHook([this](const std::string& verb, const std::string& text) {
            if (verb == "Check" || verb == "File")
                Log += verb + ": " + text + "\n";
        });
        ForceDirectory(TempPath("src"));
        WriteTextFile(TempPath("src\\one.txt"), std::string(5000, '1'));
        // Bytes that do not compress: a damage in the middle of the member stays in its data.
        std::string noise(3000, '\0');
        uint32_t x = 12345;
        for (char& c : noise)
            c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
        WriteTextFile(TempPath("src\\two.dat"), noise);
    }
    void TearDown() override {
        InstallCheckSeams() = {};
        // A failed extraction leaves it set, and the test doubles of other
        // runs never start one that would clear it.
        SharedArchive().Abort = false;
        SetLogHook(nullptr);
        Engine::TearDown();
    }

    // Two files of 5,000 and 3,000 bytes into dest (or destDir), from the
    // archive files.1 in the folder the setup was started from.
    TTestInstall* LoadProject(const std::string& destDir = "") {
        TTestInstall::ProgramFile = TempPath("setup.exe");
        WriteTextFile(TTestInstall::ProgramFile, "the setup program");
        auto file = [&](const char* name, const char* fileName, int id) {
            return std::string("  object ") + name +
                   ": TInstallFile\n    Container = Install1\n    ArchiveFileType = psContainerArchiveFile\n"
                   "    DestDirType = psContainerDestDir\n    IncludeFromDir = '" +
                   TempPath("src") + "'\n    FileName = '" + fileName + "'\n    DestName = '" + fileName +
                   "'\n    UniqueID = " + std::to_string(id) + "\n  end\n";
        };
        TTestInstall* install =
            Load({"-s" + TempDir()},
                 "    DestDir = '" + (destDir.empty() ? Dest() : destDir) + "'\n    DestDirType = nil\n",
                 file("File1", "one.txt", 0) + file("File2", "two.dat", 1));
        install->OnBeforeCleanup = [](TCustomInstall*, bool& cont) { cont = false; };
        return install;
    }
    TCustomInstallFile* File(const char* name) {
        return static_cast<TCustomInstallFile*>(Form->FindComponent(name));
    }
    // The members of the files named, in the archive beside the setup.
    void BuildArchive(std::initializer_list<const char*> names) {
        bool append = false;
        for (const char* name : names) {
            TQnfdCompress a;
            a.SetCompressedFile(TempPath("files.1"));
            TStringList files{File(name)->SourcePath()};
            a.SetFilesToProcess(files);
            a.Compress(append, File(name)->UniqueID());
            append = true;
        }
    }
    // Runs as the message loop would: a failure goes to the component's handler.
    std::string RunFails(TTestInstall* install) {
        try {
            install->Install();
        } catch (const Exception& e) {
            Application()->HandleException(install, e);
        }
        return install->Shown.size() == 1 ? install->Shown[0]
                                          : "shown " + std::to_string(install->Shown.size());
    }

    std::string Dest() const { return TempPath("dest"); }
    std::string Drive() const { return RemoveBackslash(VolumeRoot(TempDir())); }

    // Every value of the redirected registry, but the run's own install record.
    static void ListValues(TRegHandle root, const std::string& key, std::vector<std::string>& out) {
        TRegKey k;
        if (SameText(key, "\\SOFTWARE\\Quenfold") || !k.Open(root, key, TRegAccess::raRead))
            return;
        for (const std::string& v : k.ValueNames())
            out.push_back(key + "\\" + v + "=" +
                          k.ReadString(v).value_or(std::to_string(k.ReadInteger(v).value_or(-1))));
        for (const std::string& sub : k.SubKeyNames())
            ListValues(root, key + "\\" + sub, out);
    }
    static std::vector<std::string> Registry() {
        std::vector<std::string> all;
        ListValues(RegLocalMachine, "", all);
        ListValues(RegCurrentUser, "", all);
        return all;
    }
    static bool UninstallEntryExists() {
        return RegKeyExists(RegLocalMachine,
                            "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\My product");
    }

    std::string Log;
};

TEST_F(Check, ADriveTooSmallEndsTheRunBeforeAnythingIsWritten) {
    TTestInstall* install = LoadProject();
    BuildArchive({"File1", "File2"});
    std::vector<std::string> asked;
    InstallCheckSeams().FreeBytes = [&](const std::string& root) {
        asked.push_back(root);
        return int64_t{20480};
    };
    const std::vector<std::string> before = Registry();

    // 8,192 and 4,096 bytes on disk, and the larger once more: 20,480 are not below 20,480.
    EXPECT_EQ(RunFails(install),
              "There is not enough free space on drive " + Drive() +
                  " for the installation: 20,480 Bytes are needed and 20,480 Bytes are free");
    EXPECT_EQ(asked, std::vector<std::string>{Drive() + "\\"});
    EXPECT_FALSE(DirectoryExists(Dest()));
    EXPECT_EQ(Registry(), before);
    EXPECT_FALSE(UninstallEntryExists());
    EXPECT_EQ(Application()->ExitCode(), 1);
    EXPECT_NE(Log.find("Check: 2 file(s) need 20,480 Bytes on drive " + Drive() + ", 20,480 Bytes are free"),
              std::string::npos)
        << Log;
}

TEST_F(Check, AFileItsOverwriteRuleKeepsNeedsNoRoom) {
    TTestInstall* install = LoadProject();
    BuildArchive({"File1", "File2"});
    File("File2")->SetOverwriteMode(owNever);
    ForceDirectory(Dest());
    WriteTextFile(Dest() + "\\two.dat", "the user's own");
    // one.txt alone: 8,192 and once more.
    InstallCheckSeams().FreeBytes = [](const std::string&) { return int64_t{16385}; };
    RunFails(install);
    EXPECT_TRUE(install->Shown.empty()) << install->Shown.front();
    EXPECT_EQ(ReadWholeFile(Dest() + "\\one.txt"), std::string(5000, '1'));
    EXPECT_EQ(ReadWholeFile(Dest() + "\\two.dat"), "the user's own");
    EXPECT_NE(Log.find("two.dat stays as it is"), std::string::npos) << Log;
}

TEST_F(Check, SomethingInTheWayOfADestinationEndsTheRunBeforeAnythingIsWritten) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::string destDir;
        std::function<std::string()> message;
    };
    const std::string blocked = TempPath("blocked");
    const Case cases[] = {
        {"a folder named like the second file", [&] { ForceDirectory(Dest() + "\\two.dat"); }, Dest(),
         [&] {
             return "The file " + Dest() +
                    "\\two.dat cannot be installed: a folder of that name is in its place";
         }},
        {"a file where the destination folder must go", [&] { WriteTextFile(blocked, "a file"); },
         blocked + "\\dest",
         [&] { return "The folder " + blocked + "\\dest cannot be made: " + blocked + " is a file"; }},
        {"a folder on a write-protected medium",
         [&] {
             ForceDirectory(Dest());
             InstallCheckSeams().FolderWritable = [&](const std::string& folder, bool newFolder) {
                 return SameText(folder, Dest()) && !newFolder ? 19u : 0u;
             };
         },
         Dest(),
         [&] { return "Nothing can be written into the folder " + Dest() + ": " + SystemErrorText(19); }},
        {"a folder where no new folder may be made",
         [&] {
             InstallCheckSeams().FolderWritable = [&](const std::string& folder, bool newFolder) {
                 return SameText(AddBackslash(folder), TempDir()) && newFolder ? 5u : 0u;
             };
         },
         Dest(), [&] { return "The folder " + Dest() + " cannot be made: " + SystemErrorText(5); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.prepare();
        TTestInstall* install = LoadProject(c.destDir);
        BuildArchive({"File1", "File2"});
        const std::vector<std::string> before = Registry();
        EXPECT_EQ(RunFails(install), c.message());
        EXPECT_FALSE(FileExists(c.destDir + "\\one.txt"));
        EXPECT_EQ(Registry(), before);
        EXPECT_FALSE(UninstallEntryExists());
        Unload();
        TTempFolder::RemoveTree(Dest());
        RemoveFile(blocked);
        InstallCheckSeams() = {};
    }
}

TEST_F(Check, AMissingMemberEndsTheRunAndEveryShortfallIsNamed) {
    TTestInstall* install = LoadProject();
    BuildArchive({"File1"});
    InstallCheckSeams().FreeBytes = [](const std::string&) { return int64_t{100}; };
    // two.dat counts with the size its install file knows: none, its member missing.
    const std::vector<std::string> before = Registry();
    EXPECT_EQ(RunFails(install), "The file <" + File("File2")->SourcePath() +
                                     "> was not found in the archive <" + TempPath("files.1") +
                                     ">.\nThere is not enough free space on drive " + Drive() +
                                     " for the installation: 16,384 Bytes are needed and 100 Bytes are free");
    EXPECT_FALSE(DirectoryExists(Dest()));
    EXPECT_EQ(Registry(), before);
}

TEST_F(Check, ADamagedMemberIsNamedAndZlibsReasonIsLogged) {
    TTestInstall* install = LoadProject();
    BuildArchive({"File1", "File2"});
    // Spoil the middle of the second member's data, which end the archive.
    std::string bytes = ReadWholeFile(TempPath("files.1"));
    for (size_t i = bytes.size() - 1600; i < bytes.size() - 1500; ++i)
        bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);
    WriteTextFile(TempPath("files.1"), bytes);
    EXPECT_EQ(RunFails(install),
              "The data of the file two.dat in the archive " + TempPath("files.1") + " are damaged");
    EXPECT_NE(Log.find("are damaged: zlib: "), std::string::npos) << Log;
    EXPECT_FALSE(FileExists(Dest() + "\\two.dat"));
}

TEST(InstallCheck, VolumeRootsOfDrivesAndShares) {
    EXPECT_EQ(VolumeRoot("c:\\Program Files\\App\\a.exe"), "C:\\");
    EXPECT_EQ(VolumeRoot("\\\\server\\share\\dir\\a.exe"), "\\\\server\\share\\");
    EXPECT_EQ(VolumeRoot("\\\\server\\share"), "\\\\server\\share\\");
    EXPECT_EQ(VolumeRoot("\\\\server"), "");
    EXPECT_EQ(VolumeRoot("relative\\a.exe"), "");
    EXPECT_EQ(VolumeRoot("\\rooted\\a.exe"), "");
}

} // namespace
