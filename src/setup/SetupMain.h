// The main form of the screen-saver setup program. Its stored layout is the
// installation project; the form adds what is particular to a screen saver:
// the product files named in files.inf, the product's name on the backdrop
// and, after a good installation, the new screen saver made the current one.
#pragma once
#include "toolkit/forms_Forms.h"
#include <string>

class TInstall;
class TInstallFile;
class TUninstallEXE;
class TRotate3DLabel;

// Every class the setup program's stored project may create.
void RegisterSetupProgramClasses();

class TSetupMainForm : public TForm {
    QFD_CLASS(TSetupMainForm)
public:
    using TForm::TForm;

    void FormActivate(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action);
    void FormCloseQuery(TObject* Sender, bool& CanClose);
    void Install1AfterNotifyGoodInstall(TObject* Sender);

    // The short file name Windows would give the screen saver: the first six
    // characters above a blank, then "~1"; fewer than six stay as they are.
    static std::string MakeShortName(const std::string& Name);
    // The text of the shell call that opens the display settings on it.
    static std::string DisplaySettingsParameters(const std::string& saverShortName);

    const std::string& SaverShortName() const { return FSaverShortName; }
    TInstall* Install1() const;
    TMemo* FileContentsRead() const;

private:
    void ReadFilesInf();
    // What was current before this product's saver, for the uninstall.
    void RecordEarlierSaver(const std::string& saver, const std::string& systemSaver);
    // The files.inf to read. Started by a distribution's loading program
    // (-c), the one that came with the setup program, beside it; otherwise,
    // and when there is none beside it, the system folder's first.
    std::string FilesInfPath() const;
    template <class T> T* Part(const char* name) const;
    std::string FSaverShortName;
    bool FFilesInfRead = false;
};
