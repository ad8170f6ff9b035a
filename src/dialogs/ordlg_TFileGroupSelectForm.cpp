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
// The designed widths of the size column and of the drive list's two size columns.
constexpr int32_t kSizeColumnWidth = 93;
constexpr int32_t kDriveColumnWidth = 120;

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

void TFileGroupSelectForm::FillDriveSpace() {
    TFileContainer* install = InstallGroup(FDriveSpaceView->Name().c_str());
    FDrives = CollectDriveSpace(*install, DriveFreeBytes);
    const int32_t room = FitDriveColumns();
    const auto measure = [this](const std::string& text) { return TextWidth(text, FDriveSpaceView->Font()); };
    FDriveSpaceView->BeginUpdate();
    FDriveSpaceView->Clear();
    for (const TDriveSpace& d : FDrives) {
        TListItem* item = FDriveSpaceView->Add();
        item->SetCaption(std::string(1, d.Drive));
        item->SetImageIndex(0);
        item->AddSubItem(FitBytes(d.Required, room, measure));
        item->AddSubItem(FitBytes(d.Available, room, measure));
        item->SetStateIndex(d.ShortOfRoom() ? 1 : -1);
    }
    FDriveSpaceView->EndUpdate();
    Part<TPanel>("pnlDriveSpace")->SetHeight(DriveSpacePanelHeight(FDrives.size()));
}

int32_t TFileGroupSelectForm::FitDriveColumns() {
    // The two size columns share what the drive column leaves of the list's
    // width, at least their designed 120
    // pixels each; the text's room is the column less its margins.
    constexpr int32_t kMargins = 14;
    int32_t widest = 0;
    for (const TDriveSpace& d : FDrives)
        for (int64_t bytes : {d.Required, d.Available})
            widest = std::max(widest, TextWidth(FormatBytes(bytes), FDriveSpaceView->Font()));
    // Room for a vertical scroll bar whatever the rows: more than two take
    // one, and where the system's rows are taller (icons and state pictures)
    // two do as well; columns that would then overflow would add a
    // horizontal bar too, which hides the second row.
    const int32_t bar = VerticalScrollBarWidth();
    // A few pixels short of the whole width: columns that fill it exactly
    // bring a horizontal scroll bar, which hides the second row.
    const int32_t free = FDriveSpaceView->ClientWidth() - FDriveSpaceView->Column(0).Width - bar - 6;
    const int32_t width =
        std::clamp(widest + kMargins, kDriveColumnWidth, std::max(free / 2, kDriveColumnWidth));
    for (int i = 1; i <= 2; ++i)
        if (FDriveSpaceView->Column(i).Width != width)
            FDriveSpaceView->SetColumnWidth(i, width);
    return width - kMargins;
}

void TFileGroupSelectForm::DirectoryLabelChange(TObject*) {
    if (FUpdating)
        return;
    if (TFileContainer* group = SelectedGroup()) {
        group->SetDestDirType(nullptr);
        group->SetDestDir(Part<TEdit>("DirectoryLabel")->Text());
        // A folder on another drive brings that drive and its room at once.
        FillDriveSpace();
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
