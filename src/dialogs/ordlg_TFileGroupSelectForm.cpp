#include "dialogs/ordlg_TFileGroupSelectForm.h"
#include "dialogs/routines_Pictures.h"
#include "objects/types_RunState.h"
#include "platform/routines_Files.h"
#include "toolkit/forms_ComCtrls.h"
#include "toolkit/forms_ExtCtrls.h"
#include "toolkit/forms_FolderBrowser.h"
#include "toolkit/forms_StdCtrls.h"
#include "translate/cmp_TTranslateControls.h"

namespace {
// The designed width of the size column; the least of the drive list's two
// size columns.
constexpr int32_t kSizeColumnWidth = 93;
constexpr int32_t kMinDriveColumnWidth = 60;

TFileContainer* GroupOf(TTreeNode* node) {
    return node ? static_cast<TFileContainer*>(node->Data()) : nullptr;
}
} // namespace

std::vector<std::string> MissingFolders(const std::string& path) {
    std::vector<std::string> missing;
    std::string folder = RemoveBackslash(Trim(path));
    while (!folder.empty() && !DirectoryExists(folder)) {
        missing.push_back(folder);
        const size_t cut = folder.find_last_of('\\');
        if (cut == std::string::npos)
            break;
        folder = RemoveBackslash(folder.substr(0, cut));
    }
    return missing;
}

TFileGroupSelectForm::TFileGroupSelectForm(TComponent* AOwner) : TBaseInstallForm(AOwner) {
    FContainer = CurrentInstallContainer();
    FDM = FindDialogManager(dmBeforeInstall);
    FOrder = 50;
}

TFileGroupSelectForm::~TFileGroupSelectForm() = default;

void TFileGroupSelectForm::GroupFormCreate(TObject*) {
    PageCreate();
    FGroupTree = new TTreeView(this);
    FGroupTree->SetParent(Part<TPanel>("pnlGroups"));
    FGroupTree->SetAlign(alClient);
    FGroupTree->SetBorderStyle(bsNone);
    FGroupTree->SetHideSelection(false);
    FGroupTree->SetReadOnly(true);
    FGroupTree->OnChange = [this](TObject*, TTreeNode* node) {
        if (node && !FUpdating)
            ShowSelectedGroup();
    };
    FGroupTree->OnExpanded = FGroupTree->OnCollapsed = [this](TObject*, TTreeNode*) {
        RebuildColumns();
        ShowScrollSpacers();
    };
    FGroupTree->OnScroll = [this](TObject*) { RebuildColumns(); };
    FGroupTree->OnKeyUp = [this](TObject*, uint16_t& key, TShiftState) {
        // Home and End move within what is shown; paging and arrows may scroll.
        if (key == 33 || key == 34 || (key >= 37 && key <= 40)) {
            RebuildColumns();
            if (SelectedGroup())
                ShowSelectedGroup();
        }
    };

    // Leaving the folder counts every drive's room anew.
    Part<TEdit>("DirectoryLabel")->OnExit = [this](TObject*) { FillDriveSpace(); };

    FDriveSpaceView = new TListView(this);
    FDriveSpaceView->SetParent(Part<TPanel>("pnlDriveSpace"));
    FDriveSpaceView->SetAlign(alClient);
    auto* images = Part<TImageList>("ilDriveSpace");
    if (images->Count() == 0) {
        TPicture strip;
        strip.SetData(DriveSpaceImagesBitmap());
        images->Add(strip);
    }
    FDriveSpaceView->SetSmallImages(images);
    FDriveSpaceView->SetStateImages(images);
    FDriveSpaceView->SetViewStyle(vsReport);
    FDriveSpaceView->SetColumnClick(false);
    FDriveSpaceView->IconOptions().SetArrangement(iaTop);
    FDriveSpaceView->IconOptions().SetWrapText(false);
    FDriveSpaceView->SetReadOnly(true);
    // In English: the page's translation takes them into the page's language
    // with its other texts, also when the page has a language of its own.
    FDriveSpaceView->AddColumn("", 50);
    FDriveSpaceView->AddColumn("Space Required:", 120);
    FDriveSpaceView->AddColumn("Space Available:", 120);
}

bool TFileGroupSelectForm::SkipPage() {
    TFileContainer* install = CurrentInstallContainer();
    return !install ||
           (install->CurrentInstallType() != itAlways && install->CurrentInstallType() != itCustom);
}

void TFileGroupSelectForm::UpdateControls() {
    static_cast<TControl*>(Part<TTranslateBitBtn>("BackBtn"))->SetVisible(!IsFirstPage());
    FillGroupTree();
    RebuildColumns();
    FillDriveSpace();
    ShowSelectedGroup();
    auto* proceed = Part<TTranslateBitBtn>("ProceedBtn");
    if (proceed->Visible() && Visible() && proceed->HandleAllocated())
        proceed->SetFocus();
}

TFileContainer* TFileGroupSelectForm::InstallGroup(const char* who) const {
    if (!FContainer)
        throw IEFileGroupSelectForm(
            "Cannot show the install file groups dialog for blank container property");
    auto* install = dynamic_cast<TFileContainer*>(FContainer);
    if (!install)
        throw IEFileGroupSelectForm("Container is not a TFileContainer for %s", {std::string(who)});
    return install;
}

void TFileGroupSelectForm::AddChildGroups(TFileContainer* group, TTreeNode* node) {
    for (int i = 0; i < group->FileContainerCount(); ++i) {
        TFileContainer* child = group->FileContainers(i);
        TTreeNode* n = FGroupTree->Items().AddChildObject(node, TranslateText(child->GroupName()), child);
        AddChildGroups(child, n);
    }
}

void TFileGroupSelectForm::FillGroupTree() {
    TFileContainer* install = InstallGroup(FGroupTree->Name().c_str());
    FUpdating = true;
    FGroupTree->Items().BeginUpdate();
    try {
        FGroupTree->Items().Clear();
        TTreeNode* root =
            FGroupTree->Items().AddObject(nullptr, TranslateText(install->GroupName()), install);
        AddChildGroups(install, root);
        FGroupTree->SetSelected(root);
    } catch (...) {
        FGroupTree->Items().EndUpdate();
        FUpdating = false;
        throw;
    }
    FGroupTree->Items().EndUpdate();
    TTreeNode* root = FGroupTree->Items().GetFirstNode();
    root->Expand(false);
    ShowScrollSpacers();
    FGroupTree->SetSelected(root);
    FUpdating = false;
}

void TFileGroupSelectForm::ShowScrollSpacers() {
    // The side columns end where the tree's rows end: above its horizontal
    // scroll bar when it has one, at its bottom when it has none.
    const int32_t bar = FGroupTree->HandleAllocated() ? FGroupTree->Height() - FGroupTree->ClientHeight()
                                                      : HorizontalScrollBarHeight();
    for (const char* name : {"pnlIncludeSpacer", "pnlSizeSpacer"}) {
        auto* spacer = Part<TPanel>(name);
        spacer->SetHeight(std::max(bar, 0));
        static_cast<TControl*>(spacer)->SetVisible(bar > 0);
    }
}

TFileContainer* TFileGroupSelectForm::SelectedGroup() const {
    return FGroupTree ? GroupOf(FGroupTree->Selected()) : nullptr;
}

void TFileGroupSelectForm::SelectGroup(TFileContainer* group) {
    for (int i = 0; i < FGroupTree->Items().Count(); ++i)
        if (GroupOf(FGroupTree->Items().Item(i)) == group) {
            FGroupTree->SetSelected(FGroupTree->Items().Item(i));
            ShowSelectedGroup();
            return;
        }
}

TCheckBox* TFileGroupSelectForm::IncludeBox(int row) const {
    return FIncludeBoxes.at(static_cast<size_t>(row));
}

TLabel* TFileGroupSelectForm::SizeLabel(int row) const {
    return FSizeLabels.at(static_cast<size_t>(row));
}

void TFileGroupSelectForm::FitSizeColumn() {
    // Wide enough for the whole number of bytes of every group, within two
    // fifths of the tree's box; a size that still does not fit takes a unit.
    auto* back = Part<TPanel>("pnlSizeBack");
    const int32_t chrome = Part<TPanel>("pnlSizeRightDivider")->Width() + 3 + 2;
    int32_t widest = 0;
    for (TTreeNode* node = FGroupTree->Items().GetFirstNode(); node; node = node->GetNext())
        widest = std::max(widest, TextWidth(FormatBytes(GroupOf(node)->TotalSize(false, true)),
                                            Part<TPanel>("pnlSize")->Font()));
    const int32_t most = std::max(kSizeColumnWidth, Part<TPanel>("pnlGroups")->ClientWidth() * 2 / 5);
    back->SetWidth(std::clamp(widest + chrome, kSizeColumnWidth, most));
}

void TFileGroupSelectForm::RebuildColumns() {
    FitSizeColumn();
    ShowScrollSpacers();
    auto* includePanel = Part<TPanel>("pnlInclude");
    auto* sizePanel = Part<TPanel>("pnlSize");
    const int32_t includeWidth = includePanel->Width() - Part<TPanel>("pnIncludeRightDivider")->Width() - 3;
    const int32_t sizeWidth = sizePanel->Width() - Part<TPanel>("pnlSizeRightDivider")->Width() - 3;
    const auto measure = [sizePanel](const std::string& text) { return TextWidth(text, sizePanel->Font()); };
    int r = 0;
    for (TTreeNode* node = FGroupTree->Items().GetFirstNode(); node; node = node->GetNext()) {
        if (!node->IsVisible())
            continue;
        TRect row = node->DisplayRect(false);
        if (row.Top < 0)
            continue;
        if (row.Top > FGroupTree->Height())
            break;
        TFileContainer* group = GroupOf(node);
        if (r >= static_cast<int>(FIncludeBoxes.size())) {
            auto* box = new TCheckBox(this);
            box->SetParent(includePanel);
            box->OnClick = [this](TObject* s) { IncludeClick(s); };
            FIncludeBoxes.push_back(box);
            auto* size = new TLabel(this);
            size->SetParent(sizePanel);
            size->SetAutoSize(false);
            size->SetAlignment(taRightJustify);
            FSizeLabels.push_back(size);
        }
        TCheckBox* box = FIncludeBoxes[static_cast<size_t>(r)];
        box->Show();
        box->SetCaption("");
        box->SetBounds(3, row.Top, includeWidth, row.Height());
        box->SetTag(r);
        const bool wasUpdating = FUpdating;
        FUpdating = true;
        box->SetChecked(group->WillInstall());
        FUpdating = wasUpdating;
        static_cast<TControl*>(box)->SetEnabled(group->AllowChangeInclude());
        TLabel* size = FSizeLabels[static_cast<size_t>(r)];
        size->Show();
        size->SetBounds(1, row.Top, sizeWidth, row.Height());
        size->SetCaption(FitBytes(group->TotalSize(false, true), sizeWidth - 2, measure));
        ++r;
    }
    FRows = r;
    for (size_t i = static_cast<size_t>(r); i < FIncludeBoxes.size(); ++i) {
        FIncludeBoxes[i]->Hide();
        FSizeLabels[i]->Hide();
    }
}

void TFileGroupSelectForm::IncludeClick(TObject* Sender) {
    auto* box = dynamic_cast<TCheckBox*>(Sender);
    if (FUpdating || !box)
        return;
    // The row's group: the rows follow the visible nodes in order.
    int row = 0;
    for (TTreeNode* node = FGroupTree->Items().GetFirstNode(); node; node = node->GetNext()) {
        if (!node->IsVisible() || node->DisplayRect(false).Top < 0)
            continue;
        if (row++ == box->Tag()) {
            GroupOf(node)->SetInclude(box->Checked());
            break;
        }
    }
    RebuildColumns();
    ShowSelectedGroup();
    FillDriveSpace();
}

void TFileGroupSelectForm::ShowSelectedGroup() {
    TFileContainer* group = SelectedGroup();
    if (!group)
        return;
    const bool wasUpdating = FUpdating;
    FUpdating = true;
    Part<TEdit>("DirectoryLabel")->SetText(group->ExpandedDestDir());
    static_cast<TControl*>(Part<TTranslateBitBtn>("BrowseBtn"))->SetEnabled(group->AllowChangeDir());
    const bool lines = group->Description().Count() > 0;
    static_cast<TControl*>(Part<TPanel>("pnlDescriptionMemo"))->SetVisible(lines);
    static_cast<TControl*>(Part<TMemo>("DescriptionMemo"))->SetVisible(lines);
    static_cast<TControl*>(Part<TTranslateLabel>("GroupDescLabel"))->SetVisible(lines);
    if (lines) {
        TTranslator* t = ActiveTranslator();
        Part<TMemo>("DescriptionMemo")
            ->SetLines(t ? t->TranslateLines(qlEnglish, group->Description()) : group->Description());
    }
    Application()->ProcessMessages();
    FGroupTree->Invalidate();
    FUpdating = wasUpdating;
}

void TFileGroupSelectForm::FillDriveSpace(bool recount) {
    TFileContainer* install = InstallGroup(FDriveSpaceView->Name().c_str());
    // While a folder is typed, each drive is counted once, when it first
    // appears: a floppy or a network drive would otherwise slow every key.
    if (recount)
        FFreeBytes.clear();
    FDrives = CollectDriveSpace(*install, [this](char drive) {
        auto it = FFreeBytes.find(drive);
        if (it == FFreeBytes.end())
            it = FFreeBytes.emplace(drive, DriveFreeBytes(drive)).first;
        return it->second;
    });
    Part<TPanel>("pnlDriveSpace")->SetHeight(DriveSpacePanelHeight(FDrives.size()));
    const auto measure = [this](const std::string& text) { return TextWidth(text, FDriveSpaceView->Font()); };
    const auto fill = [&](bool scrollBar) {
        const auto [requiredRoom, availableRoom] = FitDriveColumns(scrollBar);
        FDriveSpaceView->BeginUpdate();
        FDriveSpaceView->Clear();
        for (const TDriveSpace& d : FDrives) {
            TListItem* item = FDriveSpaceView->Add();
            item->SetCaption(std::string(1, d.Drive));
            item->SetImageIndex(0);
            item->AddSubItem(FitBytes(d.Required, requiredRoom, measure));
            item->AddSubItem(FitBytes(d.Available, availableRoom, measure));
            item->SetStateIndex(d.ShortOfRoom() ? 1 : -1);
        }
        FDriveSpaceView->EndUpdate();
    };
    // The panel shows two rows whole; more take a scroll bar, and so do two
    // where the system draws its rows taller: then the columns fit anew.
    const bool scrollBar = FDrives.size() > 2;
    fill(scrollBar);
    if (!scrollBar && FDriveSpaceView->VerticalScrollBarShown())
        fill(true);
}

std::pair<int32_t, int32_t> TFileGroupSelectForm::FitDriveColumns(bool scrollBar) {
    // The available column first: free space runs to eleven digits and more
    // where a screen saver's needs stay short; the required column takes
    // what it needs of the rest. The text's room is the column less its
    // margins.
    constexpr int32_t kMargins = 14;
    const TFont& font = FDriveSpaceView->Font();
    int32_t required = TextWidth(FDriveSpaceView->Column(1).Caption, font);
    int32_t available = TextWidth(FDriveSpaceView->Column(2).Caption, font);
    for (const TDriveSpace& d : FDrives) {
        required = std::max(required, TextWidth(FormatBytes(d.Required), font));
        available = std::max(available, TextWidth(FormatBytes(d.Available), font));
    }
    // The list's inside without its scroll bar, less the drive column, the
    // scroll bar the rows need and a few pixels: columns that fill the
    // width exactly bring a horizontal scroll bar, which hides the second
    // row.
    const int32_t inside = FDriveSpaceView->ClientWidth() +
                           (FDriveSpaceView->VerticalScrollBarShown() ? VerticalScrollBarWidth() : 0);
    const int32_t free =
        inside - FDriveSpaceView->Column(0).Width - (scrollBar ? VerticalScrollBarWidth() : 0) - 6;
    const int32_t requiredWidth = std::clamp(required + kMargins, kMinDriveColumnWidth,
                                             std::max(free - available - kMargins, kMinDriveColumnWidth));
    const int32_t availableWidth = std::max(free - requiredWidth, kMinDriveColumnWidth);
    if (FDriveSpaceView->Column(1).Width != requiredWidth)
        FDriveSpaceView->SetColumnWidth(1, requiredWidth);
    if (FDriveSpaceView->Column(2).Width != availableWidth)
        FDriveSpaceView->SetColumnWidth(2, availableWidth);
    return {requiredWidth - kMargins, availableWidth - kMargins};
}

void TFileGroupSelectForm::DirectoryLabelChange(TObject*) {
    if (FUpdating)
        return;
    if (TFileContainer* group = SelectedGroup()) {
        group->SetDestDirType(nullptr);
        group->SetDestDir(Part<TEdit>("DirectoryLabel")->Text());
        // A folder on another drive brings that drive and its room at once.
        FillDriveSpace(false);
    }
}

void TFileGroupSelectForm::BrowseBtnClick(TObject*) {
    TFileContainer* group = SelectedGroup();
    if (!group)
        return;
    std::string dest = Trim(group->ExpandedDestDir());
    // The browser opens on the destination, so a missing one is made for the
    // while; every folder made for it goes again afterwards.
    std::vector<std::string> made;
    if (dest.empty() || !DirectoryExists(dest)) {
        made = MissingFolders(dest);
        ForceDirectory(group->ExpandedDestDir());
    }
    {
        TOwnedPtr<TOpenFolderDialog> browser(new TOpenFolderDialog(nullptr));
        browser->SetDirectory(group->ExpandedDestDir());
        if (browser->Execute()) {
            group->SetDestDirType(nullptr);
            group->SetDestDir(RemoveBackslash(browser->Directory()));
        }
    }
    // Deepest first, and only while empty: what the person put there stays.
    for (const std::string& folder : made)
        if (!RemoveDir(folder))
            break;
    ShowSelectedGroup();
    FillDriveSpace();
}

const TClassInfo& TFileGroupSelectForm::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TFileGroupSelectForm, TBaseInstallForm>("TFileGroupSelectForm", [](auto& c) {
            using F = TFileGroupSelectForm;
            c.template Method<TNotifyEvent>("GroupFormCreate", &F::GroupFormCreate);
            c.template Method<TNotifyEvent>("DirectoryLabelChange", &F::DirectoryLabelChange);
            c.template Method<TNotifyEvent>("BrowseBtnClick", &F::BrowseBtnClick);
        });
    return info;
}
