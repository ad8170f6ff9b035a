#include "EngineTestSupport.h"

const TClassInfo& TTestInstall::StaticClass() {
    static const TClassInfo info = DescribeClass<TTestInstall, TInstall>("TTestInstall", [](auto&) {});
    return info;
}

const TClassInfo& TTraceFile::StaticClass() {
    static const TClassInfo info = DescribeClass<TTraceFile, TInstallFile>("TTraceFile", [](auto&) {});
    return info;
}

const TClassInfo& TTraceDialog::StaticClass() {
    static const TClassInfo info = DescribeClass<TTraceDialog, TInstallObject>("TTraceDialog", [](auto&) {});
    return info;
}

const TClassInfo& TEngineForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TEngineForm, TForm>("TEngineForm", [](auto& c) {
        c.template Method<TNotifyEvent>("FormActivate", &TEngineForm::FormActivate);
    });
    return info;
}

void Engine::SetUp() {
    TIsolatedTest::SetUp();
    Application()->Initialize();
    RegisterObjectClasses();
    RegisterEngineClasses();
    RegisterClass(TTestInstall::StaticClass());
    RegisterClass(TTraceFile::StaticClass());
    RegisterClass(TTraceDialog::StaticClass());
    Application()->SetMainForm(nullptr);
    TTestInstall::ProgramFile.clear();
    InstallRecordKey().clear();
    Trace().clear();
    TTestInstall::LogDir = TempDir();
}

void Engine::TearDown() {
    Unload();
    OverrideCommandLineParams(std::nullopt);
    CloseLog();
    TIsolatedTest::TearDown();
}

void Engine::Unload() {
    if (Form)
        Form->Free();
    Form = nullptr;
}

TTestInstall* Engine::Load(std::vector<std::string> args, const std::string& installProps,
                           const std::string& more) {
    args.insert(args.begin(), "setup.exe");
    OverrideCommandLineParams(args);
    Form = new TEngineForm(Application());
    try {
        Form->InitFromText("object EngineForm: TEngineForm\n  OnActivate = FormActivate\n"
                           "  object Install1: TTestInstall\n" +
                           installProps + "  end\n" + more + "end\n");
    } catch (...) {
        Form->Free();
        Form = nullptr;
        throw;
    }
    return static_cast<TTestInstall*>(Form->FindComponent("Install1"));
}
