// Path specifiers: every standard kind's description, validation and
// expansion on a redirected registry, the lists, and the creation of the
// standard set.
#include "ObjectTestSupport.h"
#include "platform/routines_API.h"
#include "platform/routines_InstallInfo.h"
#include "support/IsolatedTest.h"

namespace {
const char* const ShellFolders = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const CurrentVersion = "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char* const BdeKey = "\\Software\\Borland\\Database Engine";
} // namespace

class PathSpecifiers_ : public TIsolatedTest, protected TObjectTreeFixture {
protected:
    void SetUp() override {
        TIsolatedTest::SetUp();
        RegisterObjectClasses();
        MakeOwner();
        PathSpecifiers().CreateStandardSpecifiers(Owner, true);
    }
    void TearDown() override {
        FreeOwner();
        TIsolatedTest::TearDown();
    }
    std::string Expand(const TClassInfo& cls, TComponent* obj = nullptr) {
        return Standard(cls).ExpandPath(obj);
    }
    TCustomPathSpecifier& Standard(const TClassInfo& cls) {
        return *StandardPathSpecifiers().FindSpecifier(cls);
    }
};

TEST_F(PathSpecifiers_, StandardSetInOrderWithNamesAndDescriptions) {
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"psBDEDLL", "Borland Database Engine DLL Path"},
        {"psCommonFiles", "Path of the common files directory under the program files directory"},
        {"psContainerArchiveFile", "Path to the archive file of the container"},
        {"psContainerDestDir", "Path of the group (container)"},
        {"psDesktopMenu", "Path of the Desktop"},
        {"psInstallSource", "Path from which the user ran the install"},
        {"psMainInstall", "Path of the destination directory of the TInstall"},
        {"psProgramFiles", "Path of the program files directory"},
        {"psProgramMenu", "Path of the Programs folder under the Start Menu"},
        {"psStartMenu", "Path of Start Menu"},
        {"psStartupMenu", "Path of the Startup folder in the Programs folder under the Start Menu"},
        {"psSystem", "Path of system directory"},
        {"psMainArchiveFile", "Archive containing most or all non-internet installation files"},
        {"psWindow", "Path of the Windows directory"}};
    ASSERT_EQ(StandardPathSpecifiers().Count(), 14);
    ASSERT_EQ(PathSpecifiers().Count(), 14);
    for (int i = 0; i < 14; ++i) {
        TCustomPathSpecifier* s = StandardPathSpecifiers().Items(i);
        EXPECT_EQ(s->Name(), expected[static_cast<size_t>(i)].first);
        EXPECT_EQ(s->StandardName(), expected[static_cast<size_t>(i)].first);
        EXPECT_EQ("T" + s->StandardName(), s->ClassName());
        EXPECT_EQ(s->GetDescription(), expected[static_cast<size_t>(i)].second);
        EXPECT_EQ(s->Owner(), Owner);
        // Stored layouts create them by class name.
        EXPECT_NE(FindClass(s->ClassName()), nullptr);
    }

    // Only-if-missing: nothing new the second time; without the flag the
    // names clash, and the refused specifier does not stay.
    PathSpecifiers().CreateStandardSpecifiers(Owner, true);
    EXPECT_EQ(PathSpecifiers().Count(), 14);
    EXPECT_THROW(PathSpecifiers().CreateStandardSpecifiers(Owner, false), EComponentError);
    EXPECT_EQ(PathSpecifiers().Count(), 14);
    EXPECT_EQ(Owner->ComponentCount(), 14);
    // No owner, nothing made.
    PathSpecifiers().CreateStandardSpecifiers(nullptr, false);
    EXPECT_EQ(PathSpecifiers().Count(), 14);

    // A second owner gets its own set when the flag is off.
    auto* other = new TForm(nullptr);
    PathSpecifiers().CreateStandardSpecifiers(other, false);
    EXPECT_EQ(StandardPathSpecifiers().Count(), 28);
    other->Free();
    EXPECT_EQ(StandardPathSpecifiers().Count(), 14);
}

TEST_F(PathSpecifiers_, ListsAndLookups) {
    TPathSpecifierList empty;
    EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { empty.FindSpecifier(TpsSystem::StaticClass()); }),
              "Could not find the path specifier");
    EXPECT_EQ(RaisedBy<IEPathSpecifierList>([&] { empty.AddSpecifier(nullptr); }),
              "Tried to add a nil object to the path specifier list");

    // Subclasses count: the first standard one in list order.
    EXPECT_EQ(StandardPathSpecifiers().FindSpecifier(TStandardPathSpecifier::StaticClass())->Name(),
              "psBDEDLL");
    EXPECT_EQ(PathSpecifiers().FindSpecifier(TpsWindow::StaticClass())->Name(), "psWindow");

    // A custom specifier is in the list of all specifiers only, and leaves it with its life.
    auto* custom = new TCustomPathSpecifier(Owner);
    EXPECT_EQ(PathSpecifiers().Count(), 15);
    EXPECT_EQ(StandardPathSpecifiers().Count(), 14);
    EXPECT_EQ(custom->GetDescription(), "Unspecified");
    EXPECT_EQ(custom->GetObjectDescription(nullptr), "Unspecified");
    EXPECT_EQ(custom->ExpandPath(nullptr), "");
    custom->OnExpand = [](TObject* sender, TComponent* obj, std::string& path) {
        path = "X:\\" + static_cast<TComponent*>(sender)->Name() + "\\" + (obj ? obj->Name() : "-");
    };
    custom->SetName("Mine");
    EXPECT_EQ(custom->ExpandPath(nullptr), "X:\\Mine\\-");
    EXPECT_EQ(custom->ExpandPath(Make<TTestItem>("Item")), "X:\\Mine\\Item");
    custom->Free();
    EXPECT_EQ(PathSpecifiers().Count(), 14);
    // Removing what is not listed is harmless.
    EXPECT_NO_THROW(empty.RemoveSpecifier(nullptr));
}

TEST_F(PathSpecifiers_, FolderLookupsLoseTheirTrailingBackslash) {
    WriteRegString(rkCurrentUser, ShellFolders, "Desktop", "C:\\Users\\Me\\Desktop\\");
    WriteRegString(rkCurrentUser, ShellFolders, "Start Menu", "C:\\Menu\\");
    WriteRegString(rkCurrentUser, ShellFolders, "Programs", "C:\\Menu\\Programs\\");
    WriteRegString(rkCurrentUser, ShellFolders, "Startup", "C:\\Menu\\Programs\\Startup\\");
    WriteRegString(rkLocalMachine, CurrentVersion, "ProgramFilesDir", "D:\\Apps\\");
    WriteRegString(rkLocalMachine, CurrentVersion, "CommonFilesDir", "D:\\Apps\\Common\\");

    EXPECT_EQ(Expand(TpsDesktopMenu::StaticClass()), "C:\\Users\\Me\\Desktop");
    EXPECT_EQ(Expand(TpsStartMenu::StaticClass()), "C:\\Menu");
    EXPECT_EQ(Expand(TpsProgramMenu::StaticClass()), "C:\\Menu\\Programs");
    EXPECT_EQ(Expand(TpsStartupMenu::StaticClass()), "C:\\Menu\\Programs\\Startup");
    EXPECT_EQ(Expand(TpsProgramFiles::StaticClass()), "D:\\Apps");
    EXPECT_EQ(Expand(TpsCommonFiles::StaticClass()), "D:\\Apps\\Common");
    EXPECT_EQ(Expand(TpsSystem::StaticClass()), RemoveBackslash(GetSystemDir()));
    EXPECT_EQ(Expand(TpsWindow::StaticClass()), RemoveBackslash(GetWindowsDir()));
    EXPECT_FALSE(Expand(TpsSystem::StaticClass()).empty());

    // Computed on every call: a changed registry shows at once.
    WriteRegString(rkLocalMachine, CurrentVersion, "ProgramFilesDir", "E:\\Programs");
    EXPECT_EQ(Expand(TpsProgramFiles::StaticClass()), "E:\\Programs");
}

TEST_F(PathSpecifiers_, DatabaseEnginePath) {
    WriteRegString(rkLocalMachine, CurrentVersion, "ProgramFilesDir", "D:\\Apps");
    EXPECT_EQ(Expand(TpsBDEDLL::StaticClass()), "D:\\Apps\\Borland\\Common Files\\BDE");

    WriteRegString(rkLocalMachine, BdeKey, "DLLPath", "C:\\BDE\\;C:\\Other\\IDAPI");
    EXPECT_EQ(Expand(TpsBDEDLL::StaticClass()), "C:\\BDE\\");
    WriteRegString(rkLocalMachine, BdeKey, "DLLPath", "C:\\Engine");
    EXPECT_EQ(Expand(TpsBDEDLL::StaticClass()), "C:\\Engine");
    WriteRegString(rkLocalMachine, BdeKey, "DLLPath", ";C:\\Second");
    EXPECT_EQ(Expand(TpsBDEDLL::StaticClass()), "");
    WriteRegString(rkLocalMachine, BdeKey, "DLLPath", "");
    EXPECT_EQ(Expand(TpsBDEDLL::StaticClass()), "D:\\Apps\\Borland\\Common Files\\BDE");
}

TEST_F(PathSpecifiers_, ContainerKindsValidateTheirObject) {
    TCustomPathSpecifier& destDir = Standard(TpsContainerDestDir::StaticClass());
    TCustomPathSpecifier& archive = Standard(TpsContainerArchiveFile::StaticClass());

    auto* group = Make<TFileContainer>("Group");
    group->SetGroupName("Tools");
    group->SetDestDirType(&Standard(TpsProgramFiles::StaticClass()));
    group->SetDestDir("\\Tools\\");
    auto* file = Make<TInstallFile>("File");
    auto* bare = new TInstallContainer(Owner);
    bare->SetName("Bare");

    EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { destDir.ExpandPath(bare); }),
              "Bare must be a TInstallObject to use the psContainerDestDir path specifier");
    EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { archive.ExpandPath(bare); }),
              "Bare must be a TInstallObject to use the psContainerArchiveFile path specifier");
    EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { destDir.ExpandPath(file); }),
              "Cannot use ddContainerDestDir for File unless you assign a Container");
    EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { archive.ExpandPath(file); }),
              "Cannot use ddContainerArchiveFile for File unless you assign a Container");
    // Without a container the object description falls back to the plain one.
    EXPECT_EQ(destDir.GetObjectDescription(file), "Path of the group (container)");
    EXPECT_EQ(destDir.GetObjectDescription(nullptr), "Path of the group (container)");
    // The other kinds describe every object the same way.
    EXPECT_EQ(archive.GetObjectDescription(file), "Path to the archive file of the container");

    file->SetContainer(group);
    WriteRegString(rkLocalMachine, CurrentVersion, "ProgramFilesDir", "D:\\Apps");
    EXPECT_EQ(destDir.ExpandPath(file), "D:\\Apps\\Tools");
    EXPECT_EQ(destDir.GetObjectDescription(file), "Path of the <Tools> group");
    group->SetArchiveFile("C:\\Dist\\files.1\\");
    EXPECT_EQ(archive.ExpandPath(file), "C:\\Dist\\files.1");

    auto* plain = Make<TTestGroup>("Plain");
    auto* item = Make<TTestItem>("Item", plain);
    EXPECT_EQ(destDir.GetObjectDescription(item), "Path of the <Plain> group");
    EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { archive.ExpandPath(item); }),
              "Cannot use the ddContainerArchiveFile path specifier for Item because the Container is not a "
              "TFileRelated descendant");
}

TEST_F(PathSpecifiers_, EngineKindsNeedTheInstallationComponent) {
    auto* item = Make<TTestItem>("Item");
    for (const TClassInfo* cls : {&TpsInstallSource::StaticClass(), &TpsMainInstall::StaticClass(),
                                  &TpsMainArchiveFile::StaticClass()}) {
        EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { Standard(*cls).ExpandPath(item); }),
                  "There is no TInstall component so the path specifier could not be expanded for Item")
            << cls->Name;
        EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { Standard(*cls).ValidateObject(item); }),
                  "There is no TInstall component so the path specifier could not be expanded for Item");
    }
    // The others accept anything, nil included.
    for (const TClassInfo* cls :
         {&TpsSystem::StaticClass(), &TpsBDEDLL::StaticClass(), &TpsWindow::StaticClass()})
        EXPECT_NO_THROW(Standard(*cls).ValidateObject(nullptr));
}
