// Trusted folders: new, unguessable, and, for an elevated process, writable
// by administrators and the system only (Wine keeps access lists without
// enforcing them, so the list is read back instead of tried).
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include "platform/routines_TrustedFolder.h"
#include "support/TempFolder.h"
#include "support/TrustedListCheck.h"
#include <gtest/gtest.h>
#ifdef _WIN32
#include <sddl.h>
#endif

namespace {

bool IsHex(const std::string& s) {
    return s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

TEST(TrustedFolder, ANewFolderOnlyWithAnUnguessableName) {
    const std::string a = UnguessableName("qfdx"), b = UnguessableName("qfdx");
    EXPECT_EQ(a.size(), 4u + 16u);
    EXPECT_EQ(a.rfind("qfdx", 0), 0u);
    EXPECT_TRUE(IsHex(a.substr(4))) << a;
    EXPECT_NE(a, b);

    TTempFolder tmp;
    const std::string folder = tmp / "made";
    EXPECT_TRUE(CreateTrustedFolder(folder));
    EXPECT_TRUE(DirectoryExists(folder));
    // One that is there already is never taken for a trusted one.
    EXPECT_FALSE(CreateTrustedFolder(folder));
    EXPECT_FALSE(CreateTrustedFolder(tmp / "missing\\below"));

    // Both go, also when a check fails. Named as the tests' scratch folders
    // are, which snapshots of the machine taken beside this test leave aside.
    struct TMade {
        std::string First = MakeTrustedTempFolder("qfdtest_"), Second = MakeTrustedTempFolder("qfdtest_");
        ~TMade() {
            for (const std::string& folder : {First, Second})
                if (!folder.empty())
                    TTempFolder::RemoveTree(folder);
        }
    } made;
    EXPECT_EQ(ExtractFilePath(made.First), TempDirectory());
    EXPECT_TRUE(DirectoryExists(made.First));
    EXPECT_NE(made.First, made.Second) << "a second one is another folder";
}

TEST(TrustedFolder, ElevatedOnlyAdministratorsAndTheSystemMayWrite) {
    TTempFolder tmp;
    const std::string folder = tmp / "trusted", plain = tmp / "plain";
    ASSERT_TRUE(CreateTrustedFolder(folder));
    ASSERT_TRUE(CreateDir(plain));
    const std::string list = SecurityDescriptorText(folder);
#ifdef _WIN32
    ASSERT_FALSE(list.empty());
    if (!RunningElevated()) {
        // The folder keeps what its parent hands on, as any other.
        EXPECT_EQ(list, SecurityDescriptorText(plain));
        GTEST_SKIP() << "not elevated: " << list;
    }
    const std::string user = ProcessUserSid();
    ASSERT_EQ(user.rfind("S-1-", 0), 0u) << user;
    // The list asked for, in the system's own words (FRFX comes back as its number).
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(TrustedFolderSddl(user).c_str(),
                                                                     SDDL_REVISION_1, &sd, nullptr));
    LPSTR text = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        sd, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &text, nullptr));
    EXPECT_EQ(std::string(text), "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;" + user + ")");
    LocalFree(text);
    LocalFree(sd);
    // The list kept (read back: Wine keeps it without enforcing it).
    EXPECT_EQ(TrustedListMismatch(list), "");
    // The plain folder beside it proves the check can tell them apart.
    EXPECT_NE(TrustedListMismatch(SecurityDescriptorText(plain)), "");
    if (!SystemIsWine()) {
        // What is made inside inherits it and nothing else.
        WriteTextFile(folder + "\\inside.txt", "x");
        EXPECT_NE(SecurityDescriptorText(folder + "\\inside.txt")
                      .find("(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;" + user + ")"),
                  std::string::npos);
    }
#else
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(DirectoryExists(folder));
#endif
}

TEST(TrustedFolder, TheProgramsScratchFolderIsMadeOnceAndGoesWithItsFiles) {
    const std::string scratch = TrustedTempFolder();
    EXPECT_EQ(TrustedTempFolder(), scratch);
    EXPECT_EQ(ExtractFilePath(scratch), TempDirectory());
    WriteTextFile(scratch + "\\a.tmp", "a");
    RemoveTrustedTempFolder();
    EXPECT_FALSE(DirectoryExists(scratch));
    // Asked again, a new one.
    const std::string again = TrustedTempFolder();
    EXPECT_TRUE(DirectoryExists(again));
    EXPECT_NE(again, scratch);
    RemoveTrustedTempFolder();
}

TEST(TrustedFolder, AHeldFolderCannotBeRenamedOrRemoved) {
    TTempFolder tmp;
    const std::string folder = tmp / "held", moved = tmp / "moved";
    ASSERT_TRUE(CreateDir(folder));
    {
        TFolderHold hold(folder);
        EXPECT_TRUE(hold.Held());
        // Its files stay usable.
        WriteTextFile(folder + "\\file.txt", "x");
        EXPECT_EQ(ReadWholeFile(folder + "\\file.txt"), "x");
#ifdef _WIN32
        EXPECT_FALSE(RenameFile(folder, moved));
        EXPECT_TRUE(RemoveFile(folder + "\\file.txt"));
        EXPECT_FALSE(RemoveDir(folder));
        EXPECT_TRUE(DirectoryExists(folder));
#endif
    }
    EXPECT_TRUE(RenameFile(folder, moved));
    EXPECT_FALSE(TFolderHold(tmp / "missing").Held());
}

} // namespace
