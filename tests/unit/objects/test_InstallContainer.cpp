// The install object tree: install types and selection, helper order,
// circular references, the helper accessors, destination folders, the install
// step with its events, and destruction.
#include "ObjectTestSupport.h"

namespace {
constexpr TInstallTypeSet Types(std::initializer_list<TInstallType> t) {
    return MakeInstallTypes(t);
}
} // namespace

TEST_F(ObjectTree, InstallTypeRules) {
    auto* o = Make<TTestItem>("Item");
    EXPECT_EQ(o->InstallTypes(), Types({itAlways}));

    o->SetInstallTypes(0);
    EXPECT_EQ(o->InstallTypes(), Types({itAlways}));

    o->SetInstallTypes(Types({itFull}));
    EXPECT_EQ(o->InstallTypes(), Types({itFull}));
    // Choosing itAlways clears the others...
    o->SetInstallTypes(Types({itFull, itAlways}));
    EXPECT_EQ(o->InstallTypes(), Types({itAlways}));
    // ...and choosing another type clears itAlways.
    o->SetInstallTypes(Types({itFull, itAlways}));
    EXPECT_EQ(o->InstallTypes(), Types({itFull}));
    o->SetInstallTypes(Types({itAlways}));
    EXPECT_EQ(o->InstallTypes(), Types({itAlways}));
    o->SetInstallTypes(Types({itAlways}));
    EXPECT_EQ(o->InstallTypes(), Types({itAlways}));
    o->SetInstallTypes(Types({itCompact, itFull}));
    EXPECT_EQ(o->InstallTypes(), Types({itCompact, itFull}));

    // Stored sets go through the same rules: one byte, bit n = ordinal n.
    SetPropText(*o, "InstallTypes", "[]");
    EXPECT_EQ(o->InstallTypes(), 8);
    SetPropText(*o, "InstallTypes", "[itCustom, itDefault]");
    EXPECT_EQ(o->InstallTypes(), 0x12);
    EXPECT_EQ(GetPropText(*o, "InstallTypes"), "[itDefault, itCustom]");
}

TEST_F(ObjectTree, SelectionFollowsTheRunsInstallType) {
    auto* root = Make<TTestGroup>("Root");
    auto* full = Make<TTestItem>("Full", root);
    auto* compactFull = Make<TTestItem>("CompactFull", root);
    auto* always = Make<TTestItem>("Always", root);
    full->SetInstallTypes(Types({itFull}));
    compactFull->SetInstallTypes(Types({itCompact, itFull}));

    // The whole subtree carries the run's install type.
    root->SetCurrentInstallType(itCompact);
    EXPECT_EQ(full->CurrentInstallType(), itCompact);
    EXPECT_FALSE(full->WillInstall());
    EXPECT_TRUE(compactFull->WillInstall());
    EXPECT_TRUE(always->WillInstall());

    root->SetCurrentInstallType(itCustom);
    EXPECT_TRUE(full->WillInstall());
    full->SetInclude(false);
    EXPECT_FALSE(full->WillInstall());

    root->SetCurrentInstallType(itAlways);
    full->SetInclude(true);
    EXPECT_TRUE(full->WillInstall());
    root->SetCurrentInstallType(itDefault);
    EXPECT_FALSE(full->WillInstall());
    EXPECT_TRUE(always->WillInstall());
}

TEST_F(ObjectTree, OrderIsATargetPosition) {
    auto* root = Make<TTestGroup>("Root");
    auto* a = Make<TTestItem>("A");
    auto* b = Make<TTestItem>("B");
    auto* c = Make<TTestItem>("C");
    // Without a container, Order does not change.
    a->SetOrder(5);
    EXPECT_EQ(a->Order(), -1);

    // Each lands at the end: no helper has an Order that is greater or equal.
    auto add = [&](TTestItem* item, Integer order) {
        item->SetContainer(root);
        item->SetOrder(order);
    };
    add(a, 5);
    add(b, -1);
    add(c, 2);
    EXPECT_EQ(HelperNames(*root), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(HelperOrders(*root), (std::vector<Integer>{0, 1, 2}));

    c->SetOrder(0);
    EXPECT_EQ(HelperNames(*root), (std::vector<std::string>{"C", "A", "B"}));
    EXPECT_EQ(HelperOrders(*root), (std::vector<Integer>{0, 1, 2}));

    c->SetOrder(1);
    EXPECT_EQ(HelperNames(*root), (std::vector<std::string>{"A", "C", "B"}));
    c->SetOrder(99);
    EXPECT_EQ(HelperNames(*root), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(c->Order(), 2);
    a->SetOrder(-1);
    EXPECT_EQ(HelperNames(*root), (std::vector<std::string>{"B", "C", "A"}));
    EXPECT_EQ(HelperOrders(*root), (std::vector<Integer>{0, 1, 2}));
}

TEST_F(ObjectTree, HelpersAreGroupedByRegisteredType) {
    auto* root = Make<TTestGroup>("Root");
    Make<TTestDialog>("Dialog", root);
    Make<TTestItem>("File1", root);
    Make<TFileContainer>("Group", root);
    Make<TTestItem>("File2", root);
    Make<TTestDialog>("Dialog2", root);
    EXPECT_EQ(HelperNames(*root), (std::vector<std::string>{"Group", "File1", "File2", "Dialog", "Dialog2"}));
    // Numbered within each group.
    EXPECT_EQ(HelperOrders(*root), (std::vector<Integer>{0, 0, 1, 0, 1}));

    // The database engine's installer goes first of all.
    Make<TInstallBDE>("Bde", root);
    EXPECT_EQ(HelperNames(*root).front(), "Bde");

    EXPECT_EQ(root->HelperCountOfType(TTestItem::StaticClass()), 3); // TInstallBDE is one too
    EXPECT_EQ(root->HelperCountOfType(TInstallObject::StaticClass()), 6);
    EXPECT_EQ(root->FileContainerCount(), 1);
    EXPECT_EQ(root->FileContainers(0)->Name(), "Group");
}

TEST_F(ObjectTree, CircularReferencesAreRefused) {
    auto* top = Make<TTestGroup>("Top");
    auto* middle = Make<TTestGroup>("Middle", top);
    auto* bottom = Make<TTestGroup>("Bottom", middle);
    auto* leaf = Make<TTestItem>("Leaf", bottom);

    EXPECT_EQ(RaisedBy<IEInstallContainer>([&] { leaf->SetContainer(leaf); }), "Circular reference");
    EXPECT_EQ(RaisedBy<IEInstallContainer>([&] { middle->SetContainer(bottom); }), "Circular reference");
    EXPECT_EQ(RaisedBy<IEInstallContainer>([&] { top->SetContainer(leaf); }), "Circular reference");
    // A refused move changes nothing.
    EXPECT_EQ(middle->Container(), top);
    EXPECT_EQ(HelperNames(*top), std::vector<std::string>{"Middle"});
    EXPECT_EQ(HelperNames(*bottom), std::vector<std::string>{"Leaf"});
    EXPECT_EQ(top->Container(), nullptr);

    EXPECT_EQ(RaisedBy<IEInstallContainer>([&] { top->AddHelper(nullptr); }),
              "Cannot add a blank base helper component to Top");
    // A class without a registered type cannot join, and nothing moves.
    auto* plain = Make<TInstallObject>("Plain");
    EXPECT_EQ(RaisedBy<IEInstallContainer>([&] { plain->SetContainer(top); }),
              "Class must declare a registered type");
    EXPECT_EQ(plain->Container(), nullptr);
    EXPECT_EQ(top->HelperCount(), 1);
}

TEST_F(ObjectTree, HelperAccessErrors) {
    auto* root = Make<TTestGroup>("Root");
    Make<TFileContainer>("G1", root);
    Make<TFileContainer>("G2", root);
    Make<TTestItem>("Item", root);

    EXPECT_EQ(root->Comp(1, TFileContainer::StaticClass())->Name(), "G2");
    EXPECT_EQ(root->Comp(0, TTestItem::StaticClass())->Name(), "Item");
    EXPECT_EQ(
        RaisedBy<IEInstallContainer>([&] { root->Comp(3, TFileContainer::StaticClass()); }),
        "Bad call to the Comp procedure which returns a TInstallObject for a TInstallContainer component. "
        "The parameters are probably reversed. Index: 3, ComponentType: TFileContainer");
    EXPECT_EQ(RaisedBy<IEInstallContainer>([&] { root->Comp(-1, TTestItem::StaticClass()); }).substr(0, 16),
              "Bad call to the ");
    EXPECT_EQ(
        RaisedBy<IEInstallContainer>([&] { root->Helpers(3); }),
        "Tried to reference a helper component in the following component: Root. The following index was "
        "used: 3");
    EXPECT_EQ(
        RaisedBy<IEInstallContainer>([&] { root->Helpers(-1); }),
        "Tried to reference a helper component in the following component: Root. The following index was "
        "used: -1");

    TInstallContainerList list;
    EXPECT_EQ(RaisedBy<IEContainerList>([&] { list.Add(nullptr); }),
              "Cannot add a blank entry to the TInstallContainerList object");
    TCustomInstallFileList files;
    EXPECT_EQ(RaisedBy<IECustomInstallFileList>([&] { files.Add(nullptr); }),
              "Cannot add a blank entry to the TCustomInstallFileList object");
}

TEST_F(ObjectTree, ExpandedDestDirAppendsWithoutSeparator) {
    auto* apps = new TCustomPathSpecifier(Owner);
    apps->OnExpand = [](TObject*, TComponent*, std::string& path) { path = "C:\\Apps"; };
    auto* root = Make<TTestGroup>("Root");
    root->SetDestDirType(apps);
    root->SetDestDir("\\Tool\\");
    EXPECT_EQ(root->ExpandedDestDir(), "C:\\Apps\\Tool");
    root->SetDestDir("Tool");
    EXPECT_EQ(root->ExpandedDestDir(), "C:\\AppsTool");
    root->SetDestDirType(nullptr);
    root->SetDestDir("D:\\Data\\");
    EXPECT_EQ(root->ExpandedDestDir(), "D:\\Data");

    // A helper follows its container's folder, below it when it names a subfolder.
    root->SetDestDirType(apps);
    root->SetDestDir("\\Tool");
    auto* item = Make<TTestItem>("Item", root);
    EXPECT_EQ(item->DestDirType(), Standard(TpsContainerDestDir::StaticClass()));
    EXPECT_EQ(item->ExpandedDestDir(), "C:\\Apps\\Tool");
    item->SetDestDir("\\Help\\");
    EXPECT_EQ(item->ExpandedDestDir(), "C:\\Apps\\Tool\\Help");
}

TEST_F(ObjectTree, ContainerLinksSetAndClearTheDestination) {
    auto* root = Make<TTestGroup>("Root");
    auto* item = Make<TTestItem>("Item");
    TCustomPathSpecifier* containerDir = Standard(TpsContainerDestDir::StaticClass());

    // Validation of the specifier: an object without a container cannot use it.
    item->SetDestDirType(Standard(TpsSystem::StaticClass()));
    EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { item->SetDestDirType(containerDir); }),
              "Cannot use ddContainerDestDir for Item unless you assign a Container");
    EXPECT_EQ(item->DestDirType(), Standard(TpsSystem::StaticClass()));

    item->SetDestDir("\\Old");
    item->SetContainer(root);
    EXPECT_EQ(item->DestDirType(), containerDir);
    EXPECT_EQ(item->DestDir(), "");
    item->SetContainer(nullptr);
    EXPECT_EQ(item->DestDirType(), nullptr);
    EXPECT_EQ(root->HelperCount(), 0);

    // Another specifier stays when the container goes.
    item->SetContainer(root);
    item->SetDestDirType(Standard(TpsWindow::StaticClass()));
    item->SetContainer(nullptr);
    EXPECT_EQ(item->DestDirType(), Standard(TpsWindow::StaticClass()));
}

TEST_F(ObjectTree, FileRelatedObjectsLiveInTheirContainersArchive) {
    auto* group = Make<TFileContainer>("Group");
    auto* file = Make<TInstallFile>("File");
    TCustomPathSpecifier* containerArchive = Standard(TpsContainerArchiveFile::StaticClass());

    file->SetArchiveFile("extra.1");
    EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { file->SetArchiveFileType(containerArchive); }),
              "Cannot use ddContainerArchiveFile for File unless you assign a Container");
    file->SetContainer(group);
    EXPECT_EQ(file->ArchiveFileType(), containerArchive);
    EXPECT_EQ(file->ArchiveFile(), "");
    // That specifier names the whole file.
    file->SetArchiveFile("extra.1");
    EXPECT_EQ(file->ArchiveFile(), "");

    auto* apps = new TCustomPathSpecifier(Owner);
    apps->OnExpand = [](TObject*, TComponent*, std::string& path) { path = "C:\\Dist\\"; };
    group->SetArchiveFileType(apps);
    group->SetArchiveFile("files.1");
    EXPECT_EQ(file->ExpandedArchiveFile(), "C:\\Dist\\files.1");

    // A container that is not file-related has no archive to offer.
    auto* plain = Make<TTestGroup>("Plain");
    EXPECT_EQ(
        RaisedBy<IEPathSpecifier>([&] { containerArchive->ValidateObject(Make<TTestItem>("Item", plain)); }),
        "Cannot use the ddContainerArchiveFile path specifier for Item because the Container is not a "
        "TFileRelated descendant");
    // Moved into such a container, an object leaves its old container's archive.
    auto* sub = Make<TFileContainer>("Sub", group);
    EXPECT_EQ(sub->ArchiveFileType(), containerArchive);
    sub->SetContainer(plain);
    EXPECT_EQ(sub->ArchiveFileType(), nullptr);
    EXPECT_EQ(sub->DestDirType(), Standard(TpsContainerDestDir::StaticClass()));
}

TEST_F(ObjectTree, InstallStepEventsAndSelection) {
    auto* root = Make<TTestGroup>("Root");
    auto* dialog = Make<TTestDialog>("Dialog", root);
    auto* item = Make<TTestItem>("Item", root);
    auto* itemDialog = Make<TTestDialog>("ItemDialog", item);

    root->Install();
    // Containers first, dialogs are never installed, and nothing is logged
    // for the uninstaller without an installation component.
    EXPECT_EQ(InstallLog(), (std::vector<std::string>{"Root", "Item"}));
    EXPECT_EQ(itemDialog->Codes,
              (std::vector<Integer>{ieBeforeObjectInstall, ieObjectIncluded, ieAfterObjectInstall}));
    EXPECT_EQ(dialog->Codes,
              (std::vector<Integer>{ieBeforeObjectInstall, ieObjectIncluded, ieAfterObjectInstall}));
    EXPECT_TRUE(item->Installed());
    EXPECT_TRUE(item->Keys.empty());

    InstallLog().clear();
    itemDialog->Codes.clear();
    auto* fresh = Make<TTestItem>("Fresh");
    Make<TTestDialog>("FreshDialog", fresh);
    fresh->SetInclude(false);
    fresh->Install();
    EXPECT_EQ(static_cast<TTestDialog*>(fresh->Helpers(0))->Codes,
              std::vector<Integer>{ieBeforeObjectInstall});
    EXPECT_FALSE(fresh->Installed());

    fresh->SetInclude(true);
    fresh->SetInstallTypes(Types({itFull}));
    fresh->SetCurrentInstallType(itCompact);
    fresh->Install();
    EXPECT_EQ(static_cast<TTestDialog*>(fresh->Helpers(0))->Codes,
              (std::vector<Integer>{ieBeforeObjectInstall, ieBeforeObjectInstall, ieObjectIncluded}));
    EXPECT_FALSE(fresh->Installed());
    EXPECT_TRUE(InstallLog().empty());
}

TEST_F(ObjectTree, AbortSkipsOneObjectAndOtherFailuresPassOn) {
    auto* root = Make<TTestGroup>("Root");
    auto* first = Make<TTestItem>("First", root);
    auto* second = Make<TTestItem>("Second", root);
    auto* third = Make<TTestItem>("Third", root);
    first->AbortStep = true;

    root->Install();
    EXPECT_EQ(InstallLog(), (std::vector<std::string>{"Root", "First", "Second", "Third"}));
    EXPECT_FALSE(first->Installed());
    EXPECT_TRUE(second->Installed());
    EXPECT_TRUE(root->Installed());

    InstallLog().clear();
    second->FailStep = true;
    EXPECT_EQ(RaisedBy<IEInstallContainer>([&] { root->Install(); }), "Step of Second failed on purpose");
    EXPECT_EQ(InstallLog(), (std::vector<std::string>{"Root", "First", "Second"}));
    (void)third;
}

TEST_F(ObjectTree, BroadcastsReachOnlyTheDialogsAmongTheHelpers) {
    auto* root = Make<TTestGroup>("Root");
    auto* d1 = Make<TTestDialog>("D1", root);
    auto* item = Make<TTestItem>("Item", root);
    auto* nested = Make<TTestDialog>("Nested", item);
    auto* d2 = Make<TTestDialog>("D2", root);

    root->PushStatusMessage("Copying files");
    root->PopStatusMessage();
    EXPECT_EQ(d1->Codes, (std::vector<Integer>{ieStatusMessage, ieRemoveStatusMessage}));
    EXPECT_EQ(d2->Messages, std::vector<std::string>{"Copying files"});
    // Each object broadcasts to its own helpers only.
    EXPECT_TRUE(nested->Codes.empty());

    TFileStatusParameter status;
    root->SendInformationEvent(root, ieFileStatus, &status);
    EXPECT_EQ(d2->Codes.back(), ieFileStatus);
}

TEST_F(ObjectTree, DestructionLeavesNoReferenceBehind) {
    auto* top = Make<TTestGroup>("Top");
    auto* middle = Make<TTestGroup>("Middle", top);
    auto* a = Make<TTestItem>("A", middle);
    auto* b = Make<TTestItem>("B", middle);
    auto* dialog = Make<TTestDialog>("Dialog", middle);
    const int before = InstallContainerList().Count();

    middle->Free();
    EXPECT_EQ(InstallContainerList().Count(), before - 1);
    EXPECT_EQ(InstallContainerList().IndexOf(middle), -1);
    EXPECT_EQ(top->HelperCount(), 0);
    for (TInstallObject* o : std::initializer_list<TInstallObject*>{a, b, dialog}) {
        EXPECT_EQ(o->Container(), nullptr) << o->Name();
        // They no longer follow a container's folder.
        EXPECT_EQ(o->DestDirType(), nullptr) << o->Name();
    }

    // A helper that goes leaves its container's list.
    a->SetContainer(top);
    b->SetContainer(top);
    a->Free();
    EXPECT_EQ(HelperNames(*top), std::vector<std::string>{"B"});
    EXPECT_EQ(b->Order(), 0);

    // A specifier that goes is no longer named.
    auto* custom = new TCustomPathSpecifier(Owner);
    b->SetDestDirType(custom);
    custom->Free();
    EXPECT_EQ(b->DestDirType(), nullptr);
    EXPECT_EQ(PathSpecifiers().Count(), 14);

    // Deleting without Free still unlinks.
    delete b;
    EXPECT_EQ(top->HelperCount(), 0);
    EXPECT_EQ(InstallContainerList().IndexOf(b), -1);
}

TEST_F(ObjectTree, FileContainersTakeTheirInstallFilesAlong) {
    auto* group = Make<TFileContainer>("Group");
    Make<TInstallFile>("F1", group);
    Make<TUninstallEXE>("Uninstall", group);
    auto* dialog = Make<TTestDialog>("Dialog", group);
    auto* nested = Make<TFileContainer>("Nested", group);
    EXPECT_EQ(InstallFileList().Count(), 2);

    group->Free();
    EXPECT_EQ(InstallFileList().Count(), 0);
    EXPECT_EQ(Owner->FindComponent("F1"), nullptr);
    EXPECT_EQ(Owner->FindComponent("Uninstall"), nullptr);
    // Other helpers stay, unlinked.
    EXPECT_EQ(dialog->Container(), nullptr);
    EXPECT_EQ(nested->Container(), nullptr);

    auto* other = Make<TTestGroup>("Other");
    Make<TTestItem>("I1", other);
    Make<TTestDialog>("D1", other);
    Make<TTestItem>("I2", other);
    other->FreeHelpersOfType(TTestItem::StaticClass());
    EXPECT_EQ(HelperNames(*other), std::vector<std::string>{"D1"});
    EXPECT_EQ(Owner->FindComponent("I2"), nullptr);
}
