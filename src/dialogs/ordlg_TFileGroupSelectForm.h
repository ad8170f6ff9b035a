// The file group selection page: the tree of file groups with a check box
// and a size beside every row, the selected group's destination folder and
// description, and the drives the selected groups need room on.
#pragma once
#include "dialogs/ordlg_BaseForms.h"
#include "dialogs/routines_DriveSpace.h"
#include <map>
#include <utility>

class TTreeView;
class TTreeNode;
class TListView;
class TCheckBox;
class TLabel;
class TPanel;
class TEdit;

class TFileGroupSelectForm : public TBaseInstallForm {
    QFD_CLASS(TFileGroupSelectForm)
public:
    explicit TFileGroupSelectForm(TComponent* AOwner);
    ~TFileGroupSelectForm() override;

    bool SkipPage() override;
    void UpdateControls() override;

    // The tree from the install and its groups; raises IEFileGroupSelectForm
    // without an install or when it is no file container.
    void FillGroupTree();
    // The side columns: a box and a size for every row shown.
    void RebuildColumns();
    void ShowSelectedGroup();
    // The drive list; recount asks every drive's free space anew, else a
    // drive counted before keeps its count.
    void FillDriveSpace(bool recount = true);
    TFileContainer* SelectedGroup() const;
    // Selects the row of the group (tests, and a person's click).
    void SelectGroup(TFileContainer* group);

    TTreeView* GroupTree() const { return FGroupTree; }
    TListView* DriveSpaceView() const { return FDriveSpaceView; }
    // The include box of row i of the side column.
    TCheckBox* IncludeBox(int row) const;
    TLabel* SizeLabel(int row) const;
    int RowCount() const { return FRows; }
    const std::vector<TDriveSpace>& Drives() const { return FDrives; }

    // Handlers of the stored layout.
    void GroupFormCreate(TObject*);
    void DirectoryLabelChange(TObject*);
    void BrowseBtnClick(TObject*);

private:
    TFileContainer* InstallGroup(const char* who) const;
    void AddChildGroups(TFileContainer* group, TTreeNode* node);
    void ShowScrollSpacers();
    void FitSizeColumn();
    // Sizes the drive list's two size columns to their texts, leaving room
    // for a vertical scroll bar if asked; the room left for a size's text in
    // each.
    std::pair<int32_t, int32_t> FitDriveColumns(bool scrollBar);
    void IncludeClick(TObject* Sender);

    TTreeView* FGroupTree = nullptr;
    TListView* FDriveSpaceView = nullptr;
    std::vector<TCheckBox*> FIncludeBoxes;
    std::vector<TLabel*> FSizeLabels;
    std::vector<TDriveSpace> FDrives;
    std::map<char, int64_t> FFreeBytes;
    int FRows = 0;
    bool FUpdating = false;
};

// The folders of path that do not exist, deepest first: the path itself, its
// parent and so on up to the first one that exists.
std::vector<std::string> MissingFolders(const std::string& path);
