// The file group selection page: the tree of file groups with a check box
// and a size beside every row, the selected group's destination folder and
// description, and the drives the selected groups need room on.
#pragma once
#include "dialogs/ordlg_BaseForms.h"
#include "dialogs/routines_DriveSpace.h"

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
    void FillDriveSpace();
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
    // Widens the drive list's size columns to their texts where there is room;
    // the room left for a size's text.
    int32_t FitDriveColumns();
    void IncludeClick(TObject* Sender);

    TTreeView* FGroupTree = nullptr;
    TListView* FDriveSpaceView = nullptr;
    std::vector<TCheckBox*> FIncludeBoxes;
    std::vector<TLabel*> FSizeLabels;
    std::vector<TDriveSpace> FDrives;
    int FRows = 0;
    bool FUpdating = false;
};

// The folders of path that do not exist, deepest first: the path itself, its
// parent and so on up to the first one that exists.
std::vector<std::string> MissingFolders(const std::string& path);
