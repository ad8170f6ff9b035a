// The registry layer, and the fixture that keeps tests off the real registry.
#include "platform/routines_Registry.h"
#include "platform/routines_WinText.h"
#include "support/IsolatedTest.h"
#include "support/SystemHelpers.h"
#include <algorithm>
#include <gtest/gtest.h>
#include <windows.h>

namespace {

constexpr uint32_t FileNotFound = 2;

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

class RegistryTest : public TIsolatedTest {};

TEST_F(RegistryTest, FixtureRedirectsBothRootsIntoScratchKeys) {
    TRegKey machine, user;
    ASSERT_TRUE(machine.Create(RegLocalMachine, "\\SOFTWARE\\QfdIsolationProbe"));
    ASSERT_TRUE(machine.WriteString("Where", "machine"));
    ASSERT_TRUE(user.Create(RegCurrentUser, "\\Software\\QfdIsolationProbe"));
    ASSERT_TRUE(user.WriteInteger("Where", 7));

    TRegKey k;
    ASSERT_TRUE(k.Open(ScratchMachine(), "SOFTWARE\\QfdIsolationProbe"));
    EXPECT_EQ(k.ReadString("Where"), "machine");
    ASSERT_TRUE(k.Open(ScratchUser(), "Software\\QfdIsolationProbe"));
    EXPECT_EQ(k.ReadInteger("Where"), 7);
    EXPECT_FALSE(RegKeyExists(RealMachineSoftware(), "QfdIsolationProbe"));
    EXPECT_FALSE(RegKeyExists(RealUserSoftware(), "QfdIsolationProbe"));
    // The real keys are really there.
    EXPECT_TRUE(RegKeyExists(RealMachineSoftware(), "Microsoft\\Windows\\CurrentVersion"));
    // The redirected roots start empty.
    EXPECT_FALSE(RegKeyExists(RegLocalMachine, "\\SOFTWARE\\Microsoft"));
}

TEST_F(RegistryTest, ValuesRoundTripAndKeepTheirTypes) {
    TRegKey k;
    ASSERT_TRUE(k.Create(RegCurrentUser, "\\Software\\Values"));
    const std::string text = "Gr\xC3\xBC\xC3\x9F"
                             "e \xE2\x82\xAC \xF0\x9F\x98\x80";
    const std::string big(100000, 'x');
    const uint8_t bytes[] = {0, 1, 2, 255};
    EXPECT_TRUE(k.WriteString("Text", text));
    EXPECT_TRUE(k.WriteString("Empty", ""));
    EXPECT_TRUE(k.WriteString("Big", big));
    EXPECT_TRUE(k.WriteExpandString("Expand", "%SystemRoot%\\x"));
    EXPECT_TRUE(k.WriteInteger("Negative", -5));
    EXPECT_TRUE(k.WriteFloat("When", 36526.75));
    EXPECT_TRUE(k.WriteBinary("Bytes", bytes, sizeof bytes));
    EXPECT_TRUE(k.WriteString("", "default value"));

    EXPECT_EQ(k.ReadString("Text"), text);
    EXPECT_EQ(k.ReadString("Empty"), "");
    EXPECT_EQ(k.ReadString("Big"), big);
    EXPECT_EQ(k.ReadString("Expand"), "%SystemRoot%\\x");
    EXPECT_EQ(k.ReadInteger("Negative"), -5);
    EXPECT_EQ(k.ReadFloat("When"), 36526.75);
    EXPECT_EQ(k.ReadBinary("Bytes"), std::vector<uint8_t>(bytes, bytes + 4));
    EXPECT_EQ(k.ReadString(""), "default value");

    // A value of another type is not read as this one.
    EXPECT_EQ(k.ReadInteger("Text"), std::nullopt);
    EXPECT_NE(k.LastError(), 0u);
    EXPECT_EQ(k.ReadString("Negative"), std::nullopt);
    EXPECT_EQ(k.ReadFloat("Bytes"), std::nullopt);
    EXPECT_EQ(k.ReadInteger("Missing"), std::nullopt);
    EXPECT_EQ(k.LastError(), FileNotFound);
    EXPECT_TRUE(k.ValueExists("Empty"));
    EXPECT_FALSE(k.ValueExists("Missing"));

    EXPECT_TRUE(k.DeleteValue("Text"));
    EXPECT_FALSE(k.ValueExists("Text"));
    EXPECT_FALSE(k.DeleteValue("Text"));
    EXPECT_TRUE(k.Flush());
}

TEST_F(RegistryTest, KeyPathsIgnoreOuterBackslashes) {
    EXPECT_EQ(NormalizeRegKeyPath("\\SOFTWARE\\A\\"), "SOFTWARE\\A");
    EXPECT_EQ(NormalizeRegKeyPath("\\\\A\\B"), "A\\B");
    EXPECT_EQ(NormalizeRegKeyPath("\\"), "");
    EXPECT_EQ(NormalizeRegKeyPath(""), "");

    TRegKey k;
    ASSERT_TRUE(k.Create(RegCurrentUser, "\\Software\\Paths\\Inner\\"));
    EXPECT_TRUE(RegKeyExists(RegCurrentUser, "Software\\Paths\\Inner"));
    EXPECT_FALSE(k.Open(RegCurrentUser, "\\Software\\Paths\\Nowhere"));
    EXPECT_EQ(k.LastError(), FileNotFound);
    EXPECT_FALSE(k.IsOpen());

    // Below an open key, and read-only.
    TRegKey parent, child;
    ASSERT_TRUE(parent.Open(RegCurrentUser, "Software\\Paths"));
    ASSERT_TRUE(child.Open(parent.Handle(), "Inner", TRegAccess::raRead));
    EXPECT_FALSE(child.WriteString("x", "y"));
    EXPECT_NE(child.LastError(), 0u);
}

TEST_F(RegistryTest, EnumeratesAndDeletesTrees) {
    TRegKey k;
    for (const char* path : {"\\Tree\\b\\deep\\deeper", "\\Tree\\a", "\\Tree\\c", "\\Tree2"})
        ASSERT_TRUE(k.Create(RegCurrentUser, path));
    ASSERT_TRUE(k.Create(RegCurrentUser, "\\Tree"));
    k.WriteString("x", "1");
    k.WriteInteger("y", 2);
    EXPECT_EQ(Sorted(k.SubKeyNames()), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Sorted(k.ValueNames()), (std::vector<std::string>{"x", "y"}));

    // Only a key without subkeys goes by itself.
    EXPECT_FALSE(k.DeleteSubKey("b"));
    EXPECT_TRUE(k.DeleteSubKey("a"));
    k.Close();

    EXPECT_TRUE(DeleteKeyTree(RegCurrentUser, "\\Tree\\"));
    EXPECT_FALSE(RegKeyExists(RegCurrentUser, "Tree"));
    EXPECT_TRUE(RegKeyExists(RegCurrentUser, "Tree2"));
    EXPECT_TRUE(DeleteKeyTree(RegCurrentUser, "\\Tree"));
    // The root itself is never a tree to delete.
    EXPECT_FALSE(DeleteKeyTree(RegCurrentUser, "\\"));
    EXPECT_TRUE(RegKeyExists(RegCurrentUser, "Tree2"));
}

// On the real registry: a 32-bit program on 64-bit Windows makes, reads and
// deletes its keys in the machine's own view of HKLM\Software, where a
// 64-bit program finds them, and nothing lands in the 32-bit view.
TEST(RegistryView, MachineKeysLieInTheViewEveryWidthShares) {
    const std::string key = "SOFTWARE\\QfdViewProbe" + std::to_string(GetCurrentProcessId());
    struct TRemove {
        std::string Key;
        ~TRemove() {
            for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
                RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Wide(Key + "\\Sub").c_str(), view, 0);
                RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Wide(Key).c_str(), view, 0);
            }
        }
    } remove{key};
    BOOL wow64 = FALSE;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    const bool sixtyFourBitWindows = sizeof(void*) == 8 || wow64;

    TRegKey k;
    ASSERT_TRUE(k.Create(RegLocalMachine, key + "\\Sub")) << k.LastError();
    ASSERT_TRUE(k.WriteString("Name", "value"));
    k.Close();
    EXPECT_TRUE(MachineKeyInView(key + "\\Sub", true));
    if (sixtyFourBitWindows)
        EXPECT_FALSE(MachineKeyInView(key, false)) << "in the 32-bit view";
    ASSERT_TRUE(k.Open(RegLocalMachine, key + "\\Sub", TRegAccess::raRead));
    EXPECT_EQ(k.ReadString("Name"), "value");
    k.Close();
    EXPECT_TRUE(DeleteKeyTree(RegLocalMachine, key));
    EXPECT_FALSE(MachineKeyInView(key, true));
}
