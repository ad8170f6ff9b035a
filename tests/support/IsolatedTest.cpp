#include "support/IsolatedTest.h"
#include "platform/routines_Journal.h"
#include "platform/routines_WinText.h"
#include <atomic>
#include <windows.h>

namespace {

HKEY K(TRegHandle h) {
    return reinterpret_cast<HKEY>(h);
}

std::string UniqueScratchName() {
    static std::atomic<int> counter{0};
    return "Software\\QfdTests\\p" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(GetTickCount64()) + "_" + std::to_string(counter++);
}

} // namespace

void TIsolatedTest::SetUp() {
    FTemp = std::make_unique<TTempFolder>();
    ASSERT_TRUE(DirectoryExists(FTemp->Path())) << "no temporary folder";
    // A run's journal names the redirected keys: it must never reach the
    // machine's own journal folder, where another program would repair it.
    JournalFolderOverride() = TempPath("journal");
    // Likewise the machine's folder of work folders and downloads.
    MachineFolderOverride() = TempPath("machine folder of the programs");
    ASSERT_TRUE(FRealUser.Open(RegCurrentUser, "Software", TRegAccess::raRead)) << FRealUser.LastError();
    ASSERT_TRUE(FRealMachine.Open(RegLocalMachine, "SOFTWARE", TRegAccess::raRead))
        << FRealMachine.LastError();

    FScratch = UniqueScratchName();
    // Another test program may remove the shared parent key just as it empties
    // (its TearDown); the key is made anew then.
    auto create = [&](TRegKey& k, const char* sub) {
        for (int attempt = 0; attempt < 5; ++attempt)
            if (k.Create(RegCurrentUser, FScratch + sub) || k.LastError() != ERROR_KEY_DELETED)
                break;
        return k.IsOpen();
    };
    ASSERT_TRUE(create(FScratchUser, "\\HKCU")) << FScratchUser.LastError();
    ASSERT_TRUE(create(FScratchMachine, "\\HKLM")) << FScratchMachine.LastError();
    ASSERT_TRUE(create(FScratchClasses, "\\HKCR")) << FScratchClasses.LastError();
    FOverridden = true;
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, K(ScratchMachine())), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, K(ScratchUser())), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, K(ScratchClasses())), ERROR_SUCCESS);
}

void TIsolatedTest::Restore() {
    if (FOverridden) {
        EXPECT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, nullptr), ERROR_SUCCESS);
        EXPECT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
        FOverridden = false;
    }
    FScratchUser.Close();
    FScratchMachine.Close();
    FScratchClasses.Close();
    FRealUser.Close();
    FRealMachine.Close();
    // With the roots back in place, the scratch keys go.
    if (!FScratch.empty()) {
        EXPECT_TRUE(DeleteKeyTree(RegCurrentUser, FScratch)) << "scratch key " << FScratch << " left behind";
        // Removed only when no other test program still uses it.
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QfdTests");
        FScratch.clear();
    }
}

void TIsolatedTest::TearDown() {
    Restore();
    JournalFolderOverride().clear();
    MachineFolderOverride().clear();
    FTemp.reset();
}

bool TIsolatedTest::CreateVolatileKey(TRegHandle root, const std::string& key) {
    HKEY h = nullptr;
    LONG rc = RegCreateKeyExW(K(root), Wide(NormalizeRegKeyPath(key)).c_str(), 0, nullptr,
                              REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    if (rc != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}
