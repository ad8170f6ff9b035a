// A fixture that keeps a test away from the machine's registry and folders:
// HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT (where servers
// register themselves) are redirected into fresh scratch keys for the whole
// process, and the test gets its own temporary folder. Both are removed
// afterwards. The redirection is this process's only: programs it starts,
// and HKEY_USERS, still see the real registry.
#pragma once
#include "platform/routines_Registry.h"
#include "support/TempFolder.h"
#include <gtest/gtest.h>
#include <memory>
#include <string>

class TIsolatedTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The test's own folder, with a trailing backslash.
    const std::string& TempDir() const { return FTemp->Path(); }
    std::string TempPath(const std::string& name) const { return *FTemp / name; }

    // The keys that stand in for HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE,
    // opened before the redirection (they live under the real
    // HKCU\Software\QfdTests).
    TRegHandle ScratchUser() const { return FScratchUser.Handle(); }
    TRegHandle ScratchMachine() const { return FScratchMachine.Handle(); }
    TRegHandle ScratchClasses() const { return FScratchClasses.Handle(); }
    // The real HKCU\Software and HKLM\SOFTWARE, also opened before the
    // redirection: for checks that the real registry stays untouched. (The
    // roots themselves cannot be held: opening one with an empty path gives
    // back the redirected handle.)
    TRegHandle RealUserSoftware() const { return FRealUser.Handle(); }
    TRegHandle RealMachineSoftware() const { return FRealMachine.Handle(); }

    // A volatile key below root: the system refuses to create ordinary keys
    // below it, which makes writes fail on purpose.
    static bool CreateVolatileKey(TRegHandle root, const std::string& key);

private:
    void Restore();

    std::unique_ptr<TTempFolder> FTemp;
    TRegKey FRealUser, FRealMachine, FScratchUser, FScratchMachine, FScratchClasses;
    std::string FScratch;
    bool FOverridden = false;
};
