// Every log the uninstaller refuses: each refusal leaves the files and the
// registry exactly as they were.
#include "UninstallTestSupport.h"
#include "support/SystemHelpers.h"

using namespace UninstallTest;

class UninstallRefusals : public UninstallFixture {
protected:
    // A product "Victim" whose log is fine until a case spoils it.
    void SetUp() override {
        UninstallFixture::SetUp();
        Install("Victim");
        LogFile("Victim", MakeFile("Victim\\a.txt"));
        LogFile("Victim", MakeFile("Victim\\sub\\b.txt"));
    }

    // Runs quietly and interactively; both must refuse with text and
    // change nothing.
    void ExpectRefused(const std::string& product, const std::string& text) {
        const std::string before = Picture();
        EXPECT_EQ(Run(product), 1);
        EXPECT_EQ(Picture(), before);
        EXPECT_TRUE(AtRestart.empty());
        EXPECT_TRUE(Programs.empty());
        EXPECT_NE(Log.find("refused: " + text), std::string::npos) << Log;
        EXPECT_TRUE(Shown.empty());
        // With windows: the reason in a box, and no question first.
        EXPECT_EQ(Run(product, false), 1);
        EXPECT_EQ(Picture(), before);
        EXPECT_TRUE(Questions.empty());
        ASSERT_EQ(Shown.size(), 1u);
        EXPECT_EQ(Shown[0], text);
        EXPECT_EQ(ShownKinds[0], TMessageKind::mkError);
        Shown.clear();
        ShownKinds.clear();
        Log.clear();
    }
    const std::string Files = ProductKey("Victim") + "\\Files";
    const std::string Damage = "The uninstall information of Victim is damaged: ";
};

TEST_F(UninstallRefusals, ADamagedLogRemovesNothing) {
    {
        SCOPED_TRACE("no Entries");
        TRegKey k;
        ASSERT_TRUE(k.Open(RegLocalMachine, Files));
        ASSERT_TRUE(k.DeleteValue("Entries"));
        ExpectRefused("Victim", Damage + "the key Files has no \"Entries\" value. Nothing was removed.");
        ASSERT_TRUE(k.WriteString("Entries", "2"));
    }
    {
        SCOPED_TRACE("Entries no count");
        WriteString(Files, "Entries", "two");
        ExpectRefused(
            "Victim",
            Damage + "the \"Entries\" value of the key Files is not a count of files. Nothing was removed.");
        WriteString(Files, "Entries", "-1");
        ExpectRefused(
            "Victim",
            Damage + "the \"Entries\" value of the key Files is not a count of files. Nothing was removed.");
        WriteString(Files, "Entries", "100001");
        ExpectRefused(
            "Victim",
            Damage + "the \"Entries\" value of the key Files is not a count of files. Nothing was removed.");
    }
    {
        SCOPED_TRACE("a file missing");
        WriteString(Files, "Entries", "3");
        ExpectRefused("Victim",
                      Damage +
                          "the key Files counts 3 files but has no value \"File3\". Nothing was removed.");
        WriteString(Files, "Entries", "2");
    }
    {
        SCOPED_TRACE("paths that are no full paths of files");
        // A later key is checked before the first file goes as well.
        LogFile("Victim", "..\\..\\Windows\\win.ini", "Files1");
        ExpectRefused("Victim",
                      Damage + "Files1\\File1 = \"..\\..\\Windows\\win.ini\" is not a full path. Nothing was "
                               "removed.");
        WriteString(Files + "1", "File1", M("Victim\\..\\..\\x.txt"));
        ExpectRefused("Victim", Damage + "Files1\\File1 = \"" + M("Victim\\..\\..\\x.txt") +
                                    "\" steps through \"..\". Nothing was removed.");
        WriteString(Files + "1", "File1", M("Victim\\sub"));
        ExpectRefused("Victim", Damage + "Files1\\File1 names the folder " + M("Victim\\sub") +
                                    " rather than a file. Nothing was removed.");
        ASSERT_TRUE(DeleteKeyTree(RegLocalMachine, Files + "1"));
    }
    {
        SCOPED_TRACE("a server without its kind");
        LogServer("Victim", MakeFile("Victim\\server.dll"), false);
        WriteString(ProductKey("Victim") + "\\ActiveX", "File1", M("Victim\\server.dll"));
        ExpectRefused("Victim", Damage + "ActiveX\\File1 = \"" + M("Victim\\server.dll") +
                                    "\" does not end in ;0 or ;1. Nothing was removed.");
        WriteString(ProductKey("Victim") + "\\ActiveX", "File1", M("Victim\\server.dll;2"));
        ExpectRefused("Victim", Damage + "ActiveX\\File1 = \"" + M("Victim\\server.dll;2") +
                                    "\" does not end in ;0 or ;1. Nothing was removed.");
    }
}

TEST_F(UninstallRefusals, AFileAnotherProductUsesWithoutACountCoveringBothRemovesNothing) {
    // Victim names a file outside its folder that Other installed and counted once.
    const std::string shared = MakeFile("System\\common.dll");
    Install("Other");
    LogFile("Other", shared);
    Count(shared, 1);
    LogFile("Victim", shared);
    ExpectRefused("Victim", "Victim cannot be removed safely: " + shared +
                                " is used by Other as well, and its count of users (1) does not cover both "
                                "products. Nothing was removed.");
    // Not counted at all: the same.
    TRegKey k;
    ASSERT_TRUE(k.Open(RegLocalMachine, SharedDLLs));
    ASSERT_TRUE(k.DeleteValue(shared));
    ExpectRefused("Victim", "Victim cannot be removed safely: " + shared +
                                " is used by Other as well, and its count of users (0) does not cover both "
                                "products. Nothing was removed.");
    // A count that is no number says nothing about the other users.
    ASSERT_TRUE(k.WriteString(shared, "2"));
    ExpectRefused("Victim",
                  "The count of programs using " + shared +
                      " under SharedDLLs is not a number, so it cannot be known whether other programs "
                      "still need it. Nothing was removed.");
    // Counted for both: the uninstall goes ahead and the file stays.
    ASSERT_TRUE(k.WriteInteger(shared, 2));
    EXPECT_EQ(Run("Victim"), 0) << Log;
    EXPECT_EQ(MachineInteger(SharedDLLs, shared), 1);
    EXPECT_TRUE(FileExists(shared));
    EXPECT_FALSE(FileExists(M("Victim\\a.txt")));
}

TEST_F(UninstallRefusals, ALinkBelowTheProductsFolderRemovesNothing) {
    if (!RunningUnderWine())
        GTEST_SKIP() << "links are made with the Unix ln under Wine";
    // Victim\sub now leads into another folder that holds a b.txt of its own.
    MakeFile("Elsewhere\\b.txt", "not the product's");
    ASSERT_TRUE(RemoveFile(M("Victim\\sub\\b.txt")));
    ASSERT_TRUE(RemoveDir(M("Victim\\sub")));
    ASSERT_TRUE(MakeUnixLinkUnderWine(M("Elsewhere"), M("Victim\\sub")));
    ExpectRefused("Victim", "Victim cannot be removed safely: " + M("Victim\\sub\\b.txt") +
                                " is reached through the link " + M("Victim\\sub") +
                                ", which may lead out of the folder " + M("Victim") +
                                ". Nothing was removed.");
    EXPECT_TRUE(RemoveUnixLinkUnderWine(M("Victim\\sub")));
}

TEST_F(UninstallRefusals, AProductThatIsNotThereOrNoNameRemovesNothing) {
    ExpectRefused("Nobody",
                  "The list of installed programs has no entry \"Nobody\", so there is nothing to remove.");
    ExpectRefused(
        "  ", "Start uninstall.exe with the name of the product to remove: uninstall.exe [-q] <product>.");
    ExpectRefused(
        "Victim\\Files",
        "\"Victim\\Files\" is not the name of a product: it holds a backslash. Nothing was removed.");
}
