// Projects read from stored layouts: helpers stand in the order of the layout
// and keep their stored Order; and the specifiers and the install step that
// need the installation component.
#include "ObjectTestSupport.h"
#include "engine/cmp_TInstall.h"
#include "platform/routines_API.h"
#include "platform/routines_Files.h"
#include "platform/routines_InstallInfo.h"
#include "platform/routines_Process.h"
#include "support/IsolatedTest.h"

namespace {
const char* const CurrentVersion = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

const char* const FilesLayout = R"(object Root: TForm
  object psContainerDestDir: TpsContainerDestDir
  end
  object psContainerArchiveFile: TpsContainerArchiveFile
  end
  object psWindow: TpsWindow
  end
  object Group: TFileContainer
    DestDirType = psWindow
    DestDir = '\Sub'
    GroupName = 'Tools'
    InstallTypes = [itFull, itCompact]
    Description.Strings = (
      'first'
      'second')
  end
  object Second: TInstallFile
    Order = 1
    Container = Group
    ArchiveFileType = psContainerArchiveFile
    DestDirType = psContainerDestDir
    FileName = 'b.dll'
    DestName = 'b.dll'
    Net = True
    UniqueID = 7
  end
  object First: TInstallFile
    Order = 0
    Container = Group
    ArchiveFileType = psContainerArchiveFile
    DestDirType = psContainerDestDir
    OverwriteMode = owVersionDate
    UniqueID = 3
  end
  object Inner: TFileContainer
    Container = Later
    Order = 5
  end
  object Uninstall: TUninstallEXE
    Container = Group
    Order = 2
    FileName = 'uninstall.exe'
    UniqueID = 5
  end
  object Later: TFileContainer
    Container = Group
  end
end
)";
} // namespace

class ObjectLayout : public TIsolatedTest, protected TObjectTreeFixture {
protected:
    void SetUp() override {
        TIsolatedTest::SetUp();
        RegisterObjectClasses();
        RegisterEngineClasses();
        RegisterClass(TTestItem::StaticClass());
        MakeOwner();
    }
    void TearDown() override {
        FreeOwner();
        OverrideCommandLineParams(std::nullopt);
        InstallRecordKey().clear();
        TIsolatedTest::TearDown();
    }
    template <class T> T& Get(const std::string& name) {
        auto* c = dynamic_cast<T*>(Owner->FindComponent(name));
        if (!c)
            throw Exception("No component " + name);
        return *c;
    }
};

TEST_F(ObjectLayout, HelpersStandInLayoutOrderWithTheirStoredOrder) {
    Owner->InitFromText(FilesLayout);
    auto& group = Get<TFileContainer>("Group");
    // File containers, then install files, each in the order of the layout;
    // stored Order values are kept as read (Later stored none).
    EXPECT_EQ(HelperNames(group), (std::vector<std::string>{"Later", "Second", "First", "Uninstall"}));
    EXPECT_EQ(HelperOrders(group), (std::vector<Integer>{-1, 1, 0, 2}));
    // A forward reference works the same way.
    EXPECT_EQ(HelperNames(Get<TFileContainer>("Later")), std::vector<std::string>{"Inner"});
    EXPECT_EQ(Get<TFileContainer>("Inner").Order(), 5);

    EXPECT_EQ(group.GroupName(), "Tools");
    EXPECT_EQ(group.Description().Text(), "first\r\nsecond\r\n");
    EXPECT_EQ(group.InstallTypes(), MakeInstallTypes({itFull, itCompact}));
    EXPECT_TRUE(group.Net());
    EXPECT_TRUE(group.AllowChangeDir());

    auto& second = Get<TInstallFile>("Second");
    auto& first = Get<TInstallFile>("First");
    auto& uninstall = Get<TUninstallEXE>("Uninstall");
    EXPECT_EQ(second.Container(), &group);
    EXPECT_EQ(second.ExpandedDestDir(), RemoveBackslash(GetWindowsDir()) + "\\Sub");
    EXPECT_TRUE(second.Net());
    EXPECT_FALSE(first.Net());
    EXPECT_TRUE(uninstall.Net());
    EXPECT_EQ(first.OverwriteMode(), owVersionDate);
    EXPECT_EQ(first.RegisteredType(), 2000);
    EXPECT_EQ(group.RegisteredType(), 1000);
    // Setters only stored while loading: no default specifiers were put in.
    EXPECT_EQ(uninstall.DestDirType(), nullptr);
    EXPECT_EQ(uninstall.ArchiveFileType(), nullptr);
    EXPECT_EQ(uninstall.FileName(), "uninstall.exe");

    // The identifier table holds the stored identifiers, not the ones the
    // constructors handed out.
    EXPECT_EQ(second.UniqueID(), 7);
    EXPECT_TRUE(UniqueIDTable().Rebuilt);
    for (int id : {3, 5, 7})
        EXPECT_TRUE(UniqueIDTable().InUse(id)) << id;
    for (int id : {0, 1, 2})
        EXPECT_FALSE(UniqueIDTable().InUse(id)) << id;
    // The standard kinds the layout lacks were made by the first container.
    EXPECT_NE(Owner->FindComponent("psSystem"), nullptr);
    EXPECT_EQ(StandardPathSpecifiers().Count(), 14);

    // After loading, a change of Order moves and renumbers.
    first.SetOrder(0); // already its Order: nothing moves
    EXPECT_EQ(HelperOrders(group), (std::vector<Integer>{-1, 1, 0, 2}));
    second.SetOrder(5);
    EXPECT_EQ(HelperNames(group), (std::vector<std::string>{"Later", "First", "Uninstall", "Second"}));
    EXPECT_EQ(HelperOrders(group), (std::vector<Integer>{0, 0, 1, 2}));
}

TEST_F(ObjectLayout, BadLinksInALayoutAreReportedWithTheirLine) {
    auto load = [&](const std::string& text) {
        return RaisedBy<EReadError_Layout>([&] {
            TOwnedPtr<TForm> form(new TForm(nullptr));
            form->InitFromText(text);
        });
    };
    std::string loop =
        load("object Root: TForm\n  object Loop: TFileContainer\n    Container = Loop\n  end\nend\n");
    EXPECT_NE(loop.find("Circular reference"), std::string::npos) << loop;
    EXPECT_NE(loop.find("at line 3:"), std::string::npos) << loop;
    std::string wrong =
        load("object Root: TForm\n  object psSystem: TpsSystem\n  end\n  object F: TInstallFile\n"
             "    Container = psSystem\n  end\nend\n");
    EXPECT_NE(wrong.find("Container"), std::string::npos) << wrong;
}

TEST_F(ObjectLayout, UniqueIdentifiers) {
    auto* a = Make<TInstallFile>("A");
    auto* b = Make<TInstallFile>("B");
    EXPECT_EQ(a->UniqueID(), 0);
    EXPECT_EQ(b->UniqueID(), 1);
    a->Free();
    auto* c = Make<TInstallFile>("C");
    EXPECT_EQ(c->UniqueID(), 0); // the lowest free one again
    c->SetUniqueID(1999);
    EXPECT_FALSE(UniqueIDTable().InUse(0));
    EXPECT_TRUE(UniqueIDTable().InUse(1999));

    // Fill the table: the file after it gets 0 without taking it, and its
    // end must not free the 0 that another file holds.
    std::vector<TInstallFile*> many;
    while (true) {
        int free = 0;
        while (free < 2000 && UniqueIDTable().InUse(free))
            ++free;
        if (free == 2000)
            break;
        many.push_back(new TInstallFile(Owner));
    }
    auto* extra = new TInstallFile(Owner);
    EXPECT_EQ(extra->UniqueID(), 0);
    extra->Free();
    EXPECT_TRUE(UniqueIDTable().InUse(0));
    // Freeing the files frees their identifiers.
    for (TInstallFile* f : many)
        f->Free();
    EXPECT_FALSE(UniqueIDTable().InUse(0));
    EXPECT_TRUE(UniqueIDTable().InUse(1));
}

namespace {
const char* const InstallLayout = R"(object Main: TForm
  object Install1: TInstall
    DestDirType = psProgramFiles
    DestDir = '\Product'
    Information.ProductName = 'Demo'
  end
  object Item: TTestItem
    Container = Install1
  end
end
)";
} // namespace

class WithInstall : public ObjectLayout {
protected:
    void Load(std::vector<std::string> params) {
        params.insert(params.begin(), "setup.exe");
        OverrideCommandLineParams(params);
        WriteRegString(rkLocalMachine, CurrentVersion, "ProgramFilesDir", "D:\\Apps");
        Owner->InitFromText(InstallLayout);
        ASSERT_NE(CurrentInstall(), nullptr);
        Install = CurrentInstall();
        Item = &Get<TTestItem>("Item");
    }
    std::string Expand(const TClassInfo& cls, TComponent* obj) {
        return StandardPathSpecifiers().FindSpecifier(cls)->ExpandPath(obj);
    }
    TCustomInstall* Install = nullptr;
    TTestItem* Item = nullptr;
};

TEST_F(WithInstall, MainArchiveWithoutSwitchesLiesBesideTheProgram) {
    Load({});
    const std::string programDir = RemoveBackslash(ExtractFilePath(ProgramPath()));
    EXPECT_EQ(Expand(TpsMainArchiveFile::StaticClass(), Item), programDir + "\\files.1");
    EXPECT_EQ(Install->ExpandedArchiveFile(), programDir + "\\files.1");
    EXPECT_EQ(Expand(TpsInstallSource::StaticClass(), Item), programDir);
}

TEST_F(WithInstall, SourceAndSelfExtractingFile) {
    Load({"-sC:\\My Build\\", "-eSetup.exe"});
    EXPECT_EQ(Expand(TpsMainArchiveFile::StaticClass(), Item), "C:\\My Build\\Setup.exe");
    EXPECT_EQ(Expand(TpsInstallSource::StaticClass(), Item), "C:\\My Build");
    EXPECT_EQ(Expand(TpsMainInstall::StaticClass(), Item), "D:\\Apps\\Product");
    EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { Expand(TpsMainInstall::StaticClass(), Install); }),
              "Cannot use the ddMainInstallDir path specifier for a TInstall component");
}

TEST_F(WithInstall, BlankSelfExtractingName) {
    Load({"-s C:\\Src", "-e  "});
    EXPECT_EQ(
        RaisedBy<IEInstall>([&] { Expand(TpsMainArchiveFile::StaticClass(), Item); }),
        "You forgot to pass in the name of the self-extracting executable. Usage example: \"-eSetup.exe\"");
}

TEST_F(WithInstall, InstalledObjectsLogUnderTheProductsUninstallKey) {
    Load({});
    // What the installation component tells the objects of its run.
    RunState().Install = Install;
    RunState().ProductName = Install->Information().ProductName();
    EXPECT_EQ(HelperNames(*Install), std::vector<std::string>{"Item"});
    EXPECT_EQ(UninstallKey(), "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo");
    Item->Install();
    EXPECT_EQ(Item->Keys,
              std::vector<std::string>{"\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo"});
    // Destroying the installation component leaves its helper unlinked.
    Install->Free();
    RunState().Install = nullptr;
    EXPECT_EQ(Item->Container(), nullptr);
    EXPECT_EQ(RaisedBy<IEInstallContainer>([] { UninstallKey(); }),
              "There is no TInstall component, so there is no uninstall key");
}

TEST_F(WithInstall, AnApplicationLibraryGoesToTheProductsSystemFolder) {
    Load({});
    auto* f = new TInstallFile(Owner);
    f->SetName("App");
    f->SetContainer(Install);
    f->SetFileName("app.dll");
    f->SetFileType(iftApplicationSpecificDLL);
    EXPECT_EQ(f->DestDir(), "\\System");
    EXPECT_EQ(f->DestDirType(), StandardPathSpecifiers().FindSpecifier(TpsMainInstall::StaticClass()));
    EXPECT_EQ(f->OverwriteMode(), owVersionDate);
    EXPECT_FALSE(f->UpdateDLLCounter());
    EXPECT_EQ(f->ExpandedDestDir(), "D:\\Apps\\Product\\System");
}
