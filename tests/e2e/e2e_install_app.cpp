// A setup program built from the framework for the end-to-end tests: its
// stored project has an installation component, two install files and the
// uninstaller, and no dialogs, so a run goes straight through. The files come
// from the src folder of the distribution (-s) and go to its Dest folder.
// Every event of the run appends a line to trace.txt in the distribution
// folder, so that the test can read their order.
// QFD_E2E_FORM=web or net picks a project that fetches its files from a
// server (a web and a traditional-net distribution); the server's address and
// folder are known only when the test runs: QFD_E2E_NET_HOST, QFD_E2E_NET_DIR.
// QFD_E2E_SRC names the folder of the files when it is not <-s folder>\src.
// QFD_E2E_SIGN_CREDENTIALS and QFD_E2E_SIGN_KEY, when set, make a build (-b)
// sign its setup.exe with that certificate file and key file.
#include "engine/cmp_TInstall.h"
#include "objects/cmp_TNetInstallLocation.h"
#include "objects/cmp_TUninstallEXE.h"
#include "platform/routines_Files.h"
#include "platform/routines_WinText.h"
#include "setup/setup_Register.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Forms.h"
#include <cstdlib>

namespace {

std::string EnvironmentVariable(const char* name) {
    const wchar_t* value = _wgetenv(Wide(name).c_str());
    return value ? Narrow(value) : "";
}

class TE2EForm : public TForm {
    QFD_CLASS(TE2EForm)
public:
    using TForm::TForm;

    TInstall* Install() const { return static_cast<TInstall*>(FindComponent("Install1")); }

    void Trace(const std::string& line) {
        const std::string path = Install()->SourceDir() + "\\trace.txt";
        const std::string text = line + "\r\n";
        try {
            TFileStream f(path, FileExists(path) ? fmOpenReadWrite : fmCreate);
            f.Seek(0, TSeekOrigin::soEnd);
            f.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
        } catch (const Exception&) {
            // Without its trace the test fails on its own.
        }
    }

    // As the screen-saver form does with files.inf: the files' sources are
    // known only once the program runs.
    void FormActivate(TObject*) {
        Trace("FormActivate");
        // The archive finds a member by the path it was built from: a
        // distribution built elsewhere names that folder.
        std::string source = EnvironmentVariable("QFD_E2E_SRC");
        if (source.empty())
            source = Install()->SourceDir() + "\\src";
        for (int i = 0; i < ComponentCount(); ++i)
            if (auto* file = dynamic_cast<TCustomInstallFile*>(Components(i)))
                file->SetIncludeFromDir(source);
        const std::string credentials = EnvironmentVariable("QFD_E2E_SIGN_CREDENTIALS"),
                          key = EnvironmentVariable("QFD_E2E_SIGN_KEY");
        if (!credentials.empty() || !key.empty()) {
            TBuildInfo build = Install()->BuildInfo();
            build.SignCode = true;
            build.CredentialsFile = credentials;
            build.PrivateKeyFile = key;
            build.AppURL = "https://quenfold.invalid/e2e";
            Install()->SetBuildInfo(build);
        }
        if (auto* net = dynamic_cast<TCustomNetInstallLocation*>(FindComponent("Net1"))) {
            net->LoginInformation().SetHostname(EnvironmentVariable("QFD_E2E_NET_HOST"));
            net->LoginInformation().SetDirectory(EnvironmentVariable("QFD_E2E_NET_DIR"));
        }
    }
    void InstallBeforeReadArchiveInfo(TObject*) { Trace("OnBeforeReadArchiveInfo"); }
    void InstallAfterReadArchiveInfo(TObject*) { Trace("OnAfterReadArchiveInfo"); }
    void InstallAfterInitialized(TObject*) { Trace("OnAfterInitialized"); }
    void InstallBeforeInstallObjects(TInstallContainer*) { Trace("OnBeforeInstallObjects"); }
    void InstallAfterInstallObjects(TInstallContainer*, bool aborted) {
        Trace(std::string("OnAfterInstallObjects ") + (aborted ? "aborted" : "done"));
    }
    void InstallBeforeNotifyGoodInstall(TObject*) { Trace("OnBeforeNotifyGoodInstall"); }
    void InstallAfterNotifyGoodInstall(TObject*) {
        Trace(std::string("OnAfterNotifyGoodInstall Reboot=") + (Install()->Reboot() ? "True" : "False"));
    }
    void InstallBeforeNotifyBadInstall(TObject*) { Trace("OnBeforeNotifyBadInstall"); }
    void InstallAfterNotifyBadInstall(TObject*) { Trace("OnAfterNotifyBadInstall"); }
    void InstallBeforeShutdown(TCustomInstall*, bool&) { Trace("OnBeforeShutdown"); }
    void FileAfterInstall(TCustomInstallFile* file) { Trace("OnAfterInstall " + file->Name()); }
};

const TClassInfo& TE2EForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TE2EForm, TForm>("TE2EForm", [](auto& c) {
        using F = TE2EForm;
        c.template Method<TNotifyEvent>("FormActivate", &F::FormActivate);
        c.template Method<TNotifyEvent>("InstallBeforeReadArchiveInfo", &F::InstallBeforeReadArchiveInfo);
        c.template Method<TNotifyEvent>("InstallAfterReadArchiveInfo", &F::InstallAfterReadArchiveInfo);
        c.template Method<TNotifyEvent>("InstallAfterInitialized", &F::InstallAfterInitialized);
        c.template Method<TInstallContainerNotifyEvent>("InstallBeforeInstallObjects",
                                                        &F::InstallBeforeInstallObjects);
        c.template Method<TAfterInstallObjectsEvent>("InstallAfterInstallObjects",
                                                     &F::InstallAfterInstallObjects);
        c.template Method<TNotifyEvent>("InstallBeforeNotifyGoodInstall", &F::InstallBeforeNotifyGoodInstall);
        c.template Method<TNotifyEvent>("InstallAfterNotifyGoodInstall", &F::InstallAfterNotifyGoodInstall);
        c.template Method<TNotifyEvent>("InstallBeforeNotifyBadInstall", &F::InstallBeforeNotifyBadInstall);
        c.template Method<TNotifyEvent>("InstallAfterNotifyBadInstall", &F::InstallAfterNotifyBadInstall);
        c.template Method<TUserAbortEvent>("InstallBeforeShutdown", &F::InstallBeforeShutdown);
        c.template Method<TInstallFileNotifyEvent>("FileAfterInstall", &F::FileAfterInstall);
    });
    return info;
}

// The projects that fetch their files from a server.
class TE2EWebForm : public TE2EForm {
    QFD_CLASS(TE2EWebForm)
public:
    using TE2EForm::TE2EForm;
};

const TClassInfo& TE2EWebForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TE2EWebForm, TE2EForm>("TE2EWebForm", [](auto&) {});
    return info;
}

class TE2ENetForm : public TE2EForm {
    QFD_CLASS(TE2ENetForm)
public:
    using TE2EForm::TE2EForm;
};

const TClassInfo& TE2ENetForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TE2ENetForm, TE2EForm>("TE2ENetForm", [](auto&) {});
    return info;
}

} // namespace

int main() {
    return RunApplication([] {
        RegisterToolkitClasses();
        RegisterInstallClasses();
        RegisterClass(TE2EForm::StaticClass());
        RegisterClass(TE2EWebForm::StaticClass());
        RegisterClass(TE2ENetForm::StaticClass());
        const std::string form = EnvironmentVariable("QFD_E2E_FORM");
        if (form == "web")
            Application()->CreateForm<TE2EWebForm>();
        else if (form == "net")
            Application()->CreateForm<TE2ENetForm>();
        else
            Application()->CreateForm<TE2EForm>();
    });
}
