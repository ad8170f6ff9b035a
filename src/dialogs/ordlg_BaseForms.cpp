#include "dialogs/ordlg_BaseForms.h"
#include "dialogs/ordlg_TBaseFormContainer.h"
#include "objects/cmp_TNetInstallLocation.h"
#include "objects/types_RunState.h"
#include "toolkit/forms_ExtCtrls.h"
#include "translate/cmp_TTranslateControls.h"
#include <cmath>

// ---------------------------------------------------------------------------
// TBaseQuenfoldForm

TBaseQuenfoldForm::TBaseQuenfoldForm(TComponent* AOwner) : TForm(AOwner) {
    Font().SetCharset(0);
}

void TBaseQuenfoldForm::TranslateForm() {
    if (FAutoSetFont) {
        if (FOverrideMainTranslator)
            SetFormFont(this, FTranslateIntoLanguage);
        else
            SetFormFont(this);
    }
    if (FAutoTranslate) {
        FCurrentLanguage = static_cast<TQnfdLanguage>(
            FOverrideMainTranslator ? ::TranslateForm(FCurrentLanguage, this, FTranslateIntoLanguage)
                                    : ::TranslateForm(FCurrentLanguage, this));
    }
    Application()->ProcessMessages();
}

const TClassInfo& TBaseQuenfoldForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TBaseQuenfoldForm, TForm>("TBaseQuenfoldForm", [](auto&) {});
    return info;
}

// ---------------------------------------------------------------------------
// TBaseInstallForm

TBaseInstallForm::TBaseInstallForm(TComponent* AOwner) : TBaseQuenfoldForm(AOwner) {
    if (auto* owner = dynamic_cast<TForm*>(AOwner))
        SetParent(owner);
}

void TBaseInstallForm::Loaded() {
    TBaseQuenfoldForm::Loaded();
    auto* owner = dynamic_cast<TForm*>(Owner());
    if (!owner)
        return;
    // A page inside a wizard window: no frame of its own, hidden until shown.
    SetVisible(false);
    SetPosition(poDefault);
    SetBorderIcons(0);
    SetBorderStyle(bsNone);
    HandleNeeded();
    SetBounds(0, 0, owner->ClientWidth(), owner->Height());
}

TBaseFormContainer* TBaseInstallForm::Wizard() const {
    return dynamic_cast<TBaseFormContainer*>(Owner());
}

TForm* TBaseInstallForm::ModalWindow() {
    if (TBaseFormContainer* w = Wizard())
        return w;
    return this;
}

// A page shown on its own is the whole wizard: its first and its last page,
// so it offers Finish and no Back.
bool TBaseInstallForm::IsFirstPage() {
    TBaseFormContainer* w = Wizard();
    return !w || w->IsFirstPage();
}

bool TBaseInstallForm::IsLastPage() {
    TBaseFormContainer* w = Wizard();
    return !w || w->IsLastPage();
}

void TBaseInstallForm::GoNext() {
    // Alone the page is its own last page: Next or Finish ends it normally.
    if (TBaseFormContainer* w = Wizard())
        w->NextPage();
    else
        SetModalResult(mrOk);
}

void TBaseInstallForm::GoBack() {
    if (TBaseFormContainer* w = Wizard())
        w->PreviousPage();
}

void TBaseInstallForm::PageActivated() {
    UpdateControls();
    if (dynamic_cast<TForm*>(Owner()))
        BringToFront();
}

void TBaseInstallForm::CancelWizard() {
    ModalWindow()->SetModalResult(mrAbort);
}

void TBaseInstallForm::ConfirmCancel() {
    if (UserMayAbort())
        CancelWizard();
}

void TBaseInstallForm::AssignDefaultThemeBitmap(TImage* image) {
    TRunInstall* install = CurrentRunInstall();
    if (!install || !image)
        return;
    image->SetPicture(install->DialogThemeBitmap());
}

void TBaseInstallForm::PageCreate() {
    if (auto* image = dynamic_cast<TImage*>(FindComponent("ThemeBitmap")); image && image->Picture().Empty())
        AssignDefaultThemeBitmap(image);
}

const TClassInfo& TBaseInstallForm::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TBaseInstallForm, TBaseQuenfoldForm>("TBaseInstallForm", [](auto& c) {
            c.template Ref<TCustomBaseInstallDlg>("DC", &TBaseInstallForm::DC, &TBaseInstallForm::SetDC);
            c.template Ref<TDialogManager>("DM", &TBaseInstallForm::DM, &TBaseInstallForm::SetDM);
            c.Int("Order", &TBaseInstallForm::Order, &TBaseInstallForm::SetOrder, 0);
            c.template Method<TNotifyEvent>("FormCreate", &TBaseInstallForm::FormCreate);
            c.template Method<TNotifyEvent>("BackBtnClick", &TBaseInstallForm::BackBtnClick);
            c.template Method<TNotifyEvent>("ProceedBtnClick", &TBaseInstallForm::ProceedBtnClick);
            c.template Method<TNotifyEvent>("CancelBtnClick", &TBaseInstallForm::CancelBtnClick);
        });
    return info;
}

// ---------------------------------------------------------------------------
// TBaseDuringCopyForm, TBaseChangeDiskForm

bool UserMayAbort() {
    TRunInstall* install = CurrentRunInstall();
    return !install || install->QueryUserAbort();
}

void TBaseDuringCopyForm::ConfirmCancel() {
    // The window stays open: the copying notices the request after its
    // current block, and its manager closes the window when it ends.
    if (UserMayAbort()) {
        SharedArchive().Abort = true;
        DownloadAborted = true; // a download in progress stops too
        RunState().CancelRequested = true;
    }
    SetModalResult(mrAbort);
}

const TClassInfo& TBaseDuringCopyForm::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TBaseDuringCopyForm, TBaseQuenfoldForm>("TBaseDuringCopyForm", [](auto& c) {
            c.template Ref<TDialogManager>("DM", &TBaseDuringCopyForm::DM, &TBaseDuringCopyForm::SetDM);
            c.template Method<TNotifyEvent>("CancelBtnClick", &TBaseDuringCopyForm::CancelBtnClick);
        });
    return info;
}

void TBaseChangeDiskForm::ConfirmCancel() {
    if (UserMayAbort())
        SetModalResult(mrAbort);
}

const TClassInfo& TBaseChangeDiskForm::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TBaseChangeDiskForm, TBaseQuenfoldForm>("TBaseChangeDiskForm", [](auto& c) {
            c.template Ref<TDialogManager>("DM", &TBaseChangeDiskForm::DM, &TBaseChangeDiskForm::SetDM);
            c.template Method<TNotifyEvent>("CancelBtnClick", &TBaseChangeDiskForm::CancelBtnClick);
        });
    return info;
}

// ---------------------------------------------------------------------------

TForm* CreateFormOfKind(TFormClass kind, TComponent* owner) {
    if (!kind || !kind->Create)
        throw Exception(
            Format("The window kind %s cannot be created", {kind ? kind->Name : std::string("NIL")}));
    TComponent* made = kind->Create(owner);
    auto* form = dynamic_cast<TForm*>(made);
    if (!form) {
        made->Free();
        throw Exception(Format("The window kind %s is not a form", {kind->Name}));
    }
    try {
        form->InitFromResource();
    } catch (...) {
        form->Free();
        throw;
    }
    return form;
}

TPoint PlaceRect(TQuenfoldDialogPosition position, int32_t leftOffset, int32_t topOffset, int32_t w,
                 int32_t h, int32_t sw, int32_t sh, int32_t captionHeight) {
    const auto cx = static_cast<int32_t>(std::nearbyint(sw * 0.5 - w * 0.5));
    const auto cy = static_cast<int32_t>(std::nearbyint(sh * 0.5 - h * 0.5));
    TPoint p;
    switch (position) {
    case qdpCenterLeft:
    case qdpBottomLeft:
    case qdpTopLeft:
        p.X = leftOffset;
        break;
    case qdpCenterRight:
    case qdpBottomRight:
    case qdpTopRight:
        p.X = sw - w - leftOffset;
        break;
    default:
        p.X = cx + leftOffset;
        break;
    }
    switch (position) {
    case qdpTopLeft:
    case qdpTopCenter:
    case qdpTopRight:
        p.Y = topOffset;
        break;
    case qdpBottomLeft:
    case qdpBottomCenter:
    case qdpBottomRight:
        p.Y = sh - captionHeight - h - topOffset;
        break;
    default:
        p.Y = cy + topOffset;
        break;
    }
    return p;
}

TPoint PlaceOnScreen(TQuenfoldDialogPosition position, int32_t leftOffset, int32_t topOffset, int32_t w,
                     int32_t h) {
    return PlaceRect(position, leftOffset, topOffset, w, h, ScreenWidth(), ScreenHeight(), CaptionHeight());
}
