// A setup program built from the framework for the end-to-end tests: its
// stored project has an installation component, two install files and the
// uninstaller, and no dialogs, so a run goes straight through. The files come
// from the src folder of the distribution (-s) and go to its Dest folder.
// Every event of the run appends a line to trace.txt in the distribution
// folder, so that the test can read their order.
#include "engine/cmp_TInstall.h"
#include "objects/cmp_TUninstallEXE.h"
#include "platform/routines_Files.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Forms.h"

namespace {

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
        for (const char* name : {"File1", "File2", "UninstallEXE"})
            static_cast<TCustomInstallFile*>(FindComponent(name))
                ->SetIncludeFromDir(Install()->SourceDir() + "\\src");
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

} // namespace

int main() {
    return RunApplication([] {
        RegisterToolkitClasses();
        RegisterInstallClasses();
        RegisterClass(TE2EForm::StaticClass());
        Application()->CreateForm<TE2EForm>();
    });
}
