// File containers: the relay of their files' events with its totals and its
// checks, totals past 2 GiB, compressing with the archive settings of the
// children put back, and the rules that follow a change of an install file.
#include "InstallTestSupport.h"

namespace {
// An install file whose sizes a test sets.
class TSizedFile : public TInstallFile {
    QFD_CLASS(TSizedFile)
public:
    using TInstallFile::TInstallFile;
    void SetSizes(Integer size, Integer compressed) {
        FFileSize = size;
        FCompressedSize = compressed;
    }
};
const TClassInfo& TSizedFile::StaticClass() {
    static const TClassInfo info = DescribeClass<TSizedFile, TInstallFile>("TSizedFile", [](auto&) {});
    return info;
}

// Runs a relay while the container pretends to install.
class TRelayContainer : public TFileContainer {
    QFD_CLASS(TRelayContainer)
public:
    using TFileContainer::TFileContainer;
    void Begin(Int64 total) {
        FOperation = 2;
        FTotalSize = total;
        FDoneSize = 0;
    }
};
const TClassInfo& TRelayContainer::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TRelayContainer, TFileContainer>("TRelayContainer", [](auto&) {});
    return info;
}
} // namespace

class FileContainers : public ObjectTree {};

TEST_F(FileContainers, RelayOnlyWhileAnOperationRuns) {
    auto* outer = Make<TRelayContainer>("Outer");
    auto* inner = Make<TRelayContainer>("Inner", outer);
    auto* file = Make<TSizedFile>("File", inner);
    auto* dialog = Make<TTestDialog>("Dialog", inner);
    TFileStatusParameter status;
    status.FileBytesDone = 10;
    TParameterList list{file, &status};

    // No operation: nothing happens, nothing goes on.
    inner->DoInformationEventControl(file, icInstallStatus, &list);
    EXPECT_TRUE(dialog->Codes.empty());
    EXPECT_EQ(status.TotalDone, 0);

    inner->Begin(0);
    outer->Begin(300);
    // Without a total the percentage is 0, not a failure; the outer container
    // then computes its own share on the same parameter.
    std::vector<Integer> innerTotals, outerTotals;
    inner->OnStatus = [&](TCustomInstallFile*, Integer, Integer t) { innerTotals.push_back(t); };
    outer->OnStatus = [&](TCustomInstallFile*, Integer, Integer t) { outerTotals.push_back(t); };
    inner->DoInformationEventControl(file, icInstallStatus, &list);
    EXPECT_EQ(innerTotals, std::vector<Integer>{0});
    EXPECT_EQ(outerTotals, std::vector<Integer>{3}); // 10 of 300, to the nearest
    EXPECT_EQ(dialog->Codes, std::vector<Integer>{ieFileStatus});

    // The finished report adds the file's size once.
    status.FileStats.FileSize = 100;
    status.FileStats.Finished = true;
    status.FileBytesDone = 100;
    inner->DoInformationEventControl(file, icInstallStatus, &list);
    EXPECT_EQ(outer->DoneSize(), 100);
    EXPECT_EQ(outerTotals.back(), 33);
    status.FileStats.Finished = false;
    status.FileBytesDone = 50;
    outer->DoInformationEventControl(file, icInstallStatus, &list);
    EXPECT_EQ(outer->DoneSize(), 100);
    EXPECT_EQ(status.TotalDone, 150);

    // A kept file reports 100 % and its whole size.
    file->SetSizes(200, 10);
    inner->DoInformationEventControl(file, icFileKept, file);
    EXPECT_EQ(outer->DoneSize(), 300);
    EXPECT_EQ(outerTotals.back(), 100);
}

TEST_F(FileContainers, RelayChecksItsParameters) {
    auto* c = Make<TRelayContainer>("Box");
    auto* file = Make<TSizedFile>("File", c);
    c->Begin(10);
    TFileStatusParameter status;
    TDiskParameter disk;
    TParameterList one{file};
    TParameterList swapped{&status, file};
    TParameterList badSecond{file, file};
    TParameterList badDisk{file, &status};
    auto raised = [&](Integer code, TObject* po) {
        return RaisedBy<IEFileContainer>([&] { c->DoInformationEventControl(file, code, po); });
    };
    EXPECT_EQ(raised(icInstallStatus, nullptr), "Box got a nil PO parameter");
    EXPECT_EQ(raised(icReplacing, &status), "DoInformationEventControl parameter is not TInstallFile");
    EXPECT_EQ(raised(icCopyStatus, &status), "DoInformationEventControl--PO is not a TList object");
    EXPECT_EQ(raised(icCompressStatus, &one),
              "DoInformationEventControl--Not engouh parameters for status event");
    EXPECT_EQ(raised(icInstallStatus, &swapped), "DoInformationEventControl says bad first parameter");
    EXPECT_EQ(raised(icInstallStatus, &badSecond), "DoInformationEventControl says bad second parameter");
    EXPECT_EQ(raised(icNewDisk, &badDisk), "DoInformationEventControl says bad 2 parameter");
    EXPECT_EQ(raised(icNewDisk, &swapped), "DoInformationEventControl says bad 1 parameter");
    EXPECT_EQ(raised(icFileSkipped, &status), "DoInformationEventControl says bad first parameter");
    EXPECT_EQ(raised(icDownloadStatus, &status),
              "The PO object passed to Box is not a TDownloadStatusParameter object");

    // A disk request reaches the container's handler, which marks it handled.
    TParameterList request{file, &disk};
    disk.DiskNumber = 2;
    c->OnNewDisk = [](TCustomInstallFile*, Integer n, std::string& path) {
        path = "D:\\Disk" + std::to_string(n);
    };
    c->DoInformationEventControl(file, icNewDisk, &request);
    EXPECT_EQ(disk.DiskPath, "D:\\Disk2");
    EXPECT_EQ(file->Tag(), 1);
}

TEST_F(FileContainers, DownloadProgressReachesTheDialogsOfEveryContainer) {
    auto* root = Make<TRelayContainer>("Root");
    auto* group = Make<TRelayContainer>("Group", root);
    auto* file = Make<TSizedFile>("File", group);
    auto* rootDialog = Make<TTestDialog>("RootDialog", root);
    auto* fileDialog = Make<TTestDialog>("FileDialog", file);
    root->Begin(1);
    group->Begin(1);
    file->DownloadStatus("File.1", 512, 1536, 3072, nullptr);
    EXPECT_EQ(fileDialog->Codes, std::vector<Integer>{ieDownloadStatus});
    EXPECT_EQ(rootDialog->Codes, std::vector<Integer>{ieDownloadStatus});
    TDownloadStatusParameter p("File.1", 512, 1536, 3072);
    EXPECT_EQ(p.PercentDone, 50);
    EXPECT_EQ(TDownloadStatusParameter("x", 1, 1, 0).PercentDone, 0);
}

TEST_F(FileContainers, TotalsPastTwoGigabytes) {
    auto* root = Make<TFileContainer>("Root");
    auto* group = Make<TFileContainer>("Group", root);
    auto* a = Make<TSizedFile>("A", root);
    auto* b = Make<TSizedFile>("B", root);
    auto* c = Make<TSizedFile>("C", group);
    a->SetSizes(2000000000, 1500000000);
    b->SetSizes(2000000000, 1500000000);
    c->SetSizes(1000, 10);
    EXPECT_EQ(root->TotalSize(false, true), 4000001000LL);
    EXPECT_EQ(root->TotalSize(false, false), 4000000000LL);
    EXPECT_EQ(root->CompressedTotal(false), 3000000010LL);
    // Deselected objects count only with IncludeAll.
    group->SetInclude(false);
    b->SetInclude(false);
    EXPECT_EQ(root->TotalSize(false, true), 2000000000LL);
    EXPECT_EQ(root->TotalSize(true, true), 4000001000LL);
}

TEST_F(FileContainers, FindFileBySourceIgnoresCaseAndAddsTheBackslash) {
    auto* root = Make<TFileContainer>("Root");
    auto* f = new TInstallFile(Owner, root, "C:\\Build\\Tool.exe");
    f->SetName("Tool");
    EXPECT_EQ(root->FindFileBySource("c:\\build\\TOOL.EXE"), f);
    EXPECT_EQ(root->FindFileBySource("C:\\Build\\Other.exe"), nullptr);
    f->SetIncludeFromDir("C:\\Build\\");
    EXPECT_EQ(root->FindFileBySource("C:\\Build\\Tool.exe"), f);
    EXPECT_EQ(RaisedBy<IEfcDuplicateFile>([&] { new TInstallFile(Owner, root, "C:\\BUILD\\tool.exe"); }),
              "There is already a file with the name :C:\\BUILD\\tool.exe");
    EXPECT_EQ(InstallFileList().Count(), 1);
}

TEST_F(FileContainers, PropertyRulesOfInstallFiles) {
    auto* root = Make<TFileContainer>("Root");
    auto* help = Make<TInstallFile>("Help", root);
    help->SetFileName("help.hlp");
    EXPECT_EQ(help->DestName(), "help.hlp");
    EXPECT_TRUE(help->RegisterAsHelp());
    EXPECT_FALSE(help->ActiveX());

    auto* ctl = Make<TInstallFile>("Ctl", root);
    ctl->SetFileName("ctl.ocx");
    EXPECT_TRUE(ctl->ActiveX());
    EXPECT_EQ(ctl->FileType(), iftSystemWideDLL);
    EXPECT_TRUE(ctl->UpdateDLLCounter());
    EXPECT_EQ(ctl->OverwriteMode(), owVersionDate);
    EXPECT_EQ(ctl->DestDirType(), Standard(TpsSystem::StaticClass()));
    EXPECT_EQ(ctl->DestDir(), "");
    // A system-wide library stays in the system folder.
    ctl->SetDestDir("\\Elsewhere");
    EXPECT_EQ(ctl->DestDir(), "");

    // The program's own folder needs an installation component: refused
    // before anything changed.
    auto* app = Make<TInstallFile>("App", root);
    app->SetFileName("app.dll");
    EXPECT_EQ(RaisedBy<IEPathSpecifier>([&] { app->SetFileType(iftApplicationSpecificDLL); }),
              "There is no TInstall component so the path specifier could not be expanded for App");
    EXPECT_EQ(app->FileType(), iftNormal);
    EXPECT_EQ(app->OverwriteMode(), owAlways);
    EXPECT_EQ(app->DestDirType(), Standard(TpsContainerDestDir::StaticClass()));

    auto* vendor = Make<TInstallFile>("Vendor", root);
    vendor->SetFileName("v.dll");
    vendor->SetFileType(iftVendorSharedDLL);
    EXPECT_EQ(vendor->DestDirType(), Standard(TpsCommonFiles::StaticClass()));
    EXPECT_TRUE(vendor->UpdateDLLCounter());

    // A library moved into the Windows folder compares versions and dates.
    auto* win = Make<TInstallFile>("Win", root);
    win->SetFileName("w.dll");
    win->SetDestDirType(Standard(TpsWindow::StaticClass()));
    EXPECT_EQ(win->OverwriteMode(), owVersionDate);
    win->SetDestDirType(Standard(TpsSystem::StaticClass()));
    EXPECT_EQ(win->FileType(), iftSystemWideDLL);

    // Only a file container can hold install files.
    auto* plain = Make<TTestGroup>("Plain");
    EXPECT_EQ(RaisedBy<IECustomInstallFile>([&] { help->SetContainer(plain); }),
              "The following TInstallFile component Help requires the Container property to be a component "
              "descended from the TFileContainer component");
    EXPECT_EQ(help->Container(), root);
}

namespace {
class TTestLocation : public TCustomNetInstallLocation {
public:
    explicit TTestLocation(TComponent* owner) : TCustomNetInstallLocation(owner) {}
};
} // namespace

TEST_F(FileContainers, ADownloadSaysItIsNotBuiltYet) {
    auto* root = Make<TFileContainer>("Root");
    EXPECT_EQ(MessageOf([&] { root->DownloadArchive(); }), "Could not find a net install location for Root");
    // A file finds its container's location.
    auto* file = Make<TInstallFile>("File", root);
    root->SetNetLocation(new TTestLocation(Owner));
    EXPECT_EQ(
        RaisedBy<IEFileRelated>([&] { file->DownloadArchive(); }),
        "Downloading an archive from a network install location is not built into this setup program yet");
    EXPECT_EQ(
        RaisedBy<IEFileContainer>([&] { root->GetArchivePath(); }),
        "Root has not yet downloaded the archive file and therefore cannot retrieve the path of the archive "
        "file");
}

class Compressing : public InstallFixture {};

TEST_F(Compressing, ChildrenGetTheirArchiveSettingsBack) {
    auto* group = Make<TFileContainer>("Group", Root);
    auto* local = AddFile("Local", "local.txt", "local");
    auto* net = AddFile("Net", "net.txt", "net");
    net->SetNet(true);
    auto* inner = AddFile("Inner", "inner.txt", "x", group);
    inner->SetAddToArchive(lzcOnlyAdd);
    // The last child fails once its settings were changed for the build.
    net->OnBeforeCompress = [](TCustomInstallFile*) { throw Exception("stopped on purpose"); };
    struct Saved {
        TlzhCommand add;
        std::string file;
        TCustomPathSpecifier* type;
        bool include;
    };
    auto save = [](TFileRelated* r) {
        return Saved{r->AddToArchive(), r->ArchiveFile(), r->ArchiveFileType(), r->Include()};
    };
    local->SetInclude(false);
    std::vector<TFileRelated*> items{group, local, net, inner};
    std::vector<Saved> before;
    for (TFileRelated* r : items)
        before.push_back(save(r));

    const TCompressOptions options = (1u << coSeparateToBuildDir) | (1u << coIncludeAll);
    std::vector<std::string> archivesUsed;
    for (TInstallFile* f : {local, net, inner})
        f->OnStatus = [&](TCustomInstallFile* file, Integer, Integer) {
            archivesUsed.push_back(file->Name() + " " + file->ExpandedArchiveFile());
        };
    EXPECT_EQ(MessageOf([&] { Root->Compress(options); }), "stopped on purpose");
    // The excluded file was compressed too, into the container's archive.
    EXPECT_NE(std::find(archivesUsed.begin(), archivesUsed.end(), "Local " + TempPath("files.1")),
              archivesUsed.end());
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(items[i]->Name());
        Saved now = save(items[i]);
        EXPECT_EQ(now.add, before[i].add);
        EXPECT_EQ(now.file, before[i].file);
        EXPECT_EQ(now.type, before[i].type);
        EXPECT_EQ(now.include, before[i].include);
    }
    EXPECT_EQ(Root->Operation(), 0);

    // Both force options: refused before anything is deleted.
    WriteTextFile(TempPath("files.1"), "an earlier archive");
    EXPECT_EQ(RaisedBy<IEFileContainer>(
                  [&] { Root->Compress((1u << coForceNetFilesLocal) | (1u << coForceFilesNet)); }),
              "Cannot pass both coForceNetFilesLocal and coForceFilesNet to Compress");
    EXPECT_EQ(ReadWholeFile(TempPath("files.1")), "an earlier archive");
}

TEST_F(Compressing, ABuildInstallsAgain) {
    AddFile("One", "one.txt", "first file");
    AddFile("Two", "two.txt", std::string(70000, 'z'));
    Root->Compress(1u << coForceNetFilesLocal);
    EXPECT_TRUE(Logged("Build", "compressed " + Src("one.txt"))) << LogText();
    Root->Install();
    EXPECT_EQ(ReadWholeFile(Dest("one.txt")), "first file");
    EXPECT_EQ(ReadWholeFile(Dest("two.txt")), std::string(70000, 'z'));
    EXPECT_EQ(Root->TotalSize(false, true), 70010);
}

TEST_F(Compressing, AFileTooLargeForTheArchiveIsRefusedWithItsSize) {
    auto* big = AddFile("Big", "big.bin", "");
    {
        TFileStream s(big->SourcePath(), fmOpenReadWrite);
        s.SetSize(int64_t(INT32_MAX) + 2); // sparse where the file system allows
    }
    EXPECT_EQ(RaisedBy<IECustomInstallFile>([&] { big->ReadInfoFromSource(); }),
              "The file " + big->SourcePath() +
                  " is 2147483649 bytes long; a file in an archive can have at most 2,147,483,647 bytes");
}
