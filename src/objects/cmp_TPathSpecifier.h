// Path specifiers: components that stand for a folder or file known only on
// the target machine (the Windows folder, the program files folder, the
// destination of a container, the main archive, ...). Install objects name one
// in DestDirType or ArchiveFileType and append their own relative text to its
// expansion. A project holds one standard specifier of each kind, named after
// the kind (psSystem, psProgramFiles, ...), so stored projects refer to them by
// component name.
#pragma once
#include "toolkit/classes_Components.h"
#include <functional>
#include <string>
#include <vector>

class TCustomPathSpecifier;

// Supplies the path of a custom specifier for Obj.
using TPathExpandEvent = std::function<void(TObject* Sender, TComponent* Obj, std::string& Path)>;

class TCustomPathSpecifier : public TComponent {
    QFD_CLASS(TCustomPathSpecifier)
public:
    explicit TCustomPathSpecifier(TComponent* AOwner);
    ~TCustomPathSpecifier() override;

    // Raises IEPathSpecifier when obj may not use this specifier.
    virtual void ValidateObject(TComponent* obj);
    virtual std::string GetDescription();
    virtual std::string GetObjectDescription(TComponent* obj);
    virtual std::string ExpandPath(TComponent* obj);

    // Empty for a custom specifier.
    const std::string& StandardName() const { return FStandardName; }

    TPathExpandEvent OnExpand;

protected:
    void BeforeDestruction() override;
    std::string FStandardName;

private:
    void Unregister();
};

class TStandardPathSpecifier : public TCustomPathSpecifier {
    QFD_CLASS(TStandardPathSpecifier)
public:
    TStandardPathSpecifier(TComponent* AOwner, const std::string& standardName);
    ~TStandardPathSpecifier() override;

protected:
    void BeforeDestruction() override;

private:
    void Unregister();
};

// One standard kind: its description, validation and expansion.
#define QFD_STANDARD_SPECIFIER(Class)                                                                        \
    class Class : public TStandardPathSpecifier {                                                            \
        QFD_CLASS(Class)                                                                                     \
    public:                                                                                                  \
        explicit Class(TComponent* AOwner);                                                                  \
        std::string GetDescription() override;                                                               \
        std::string ExpandPath(TComponent* obj) override;                                                    \
        void ValidateObject(TComponent* obj) override;                                                       \
    };

QFD_STANDARD_SPECIFIER(TpsBDEDLL)
QFD_STANDARD_SPECIFIER(TpsCommonFiles)
QFD_STANDARD_SPECIFIER(TpsContainerArchiveFile)
QFD_STANDARD_SPECIFIER(TpsDesktopMenu)
QFD_STANDARD_SPECIFIER(TpsInstallSource)
QFD_STANDARD_SPECIFIER(TpsMainInstall)
QFD_STANDARD_SPECIFIER(TpsProgramFiles)
QFD_STANDARD_SPECIFIER(TpsProgramMenu)
QFD_STANDARD_SPECIFIER(TpsStartMenu)
QFD_STANDARD_SPECIFIER(TpsStartupMenu)
QFD_STANDARD_SPECIFIER(TpsSystem)
QFD_STANDARD_SPECIFIER(TpsMainArchiveFile)
QFD_STANDARD_SPECIFIER(TpsWindow)

// The destination folder of the object's container; its object description
// names the container's group.
class TpsContainerDestDir : public TStandardPathSpecifier {
    QFD_CLASS(TpsContainerDestDir)
public:
    explicit TpsContainerDestDir(TComponent* AOwner);
    std::string GetDescription() override;
    std::string GetObjectDescription(TComponent* obj) override;
    std::string ExpandPath(TComponent* obj) override;
    void ValidateObject(TComponent* obj) override;
};

#undef QFD_STANDARD_SPECIFIER

// A list of specifiers; it does not own them.
class TPathSpecifierList {
public:
    virtual ~TPathSpecifierList() = default;
    int Count() const { return static_cast<int>(FItems.size()); }
    TCustomPathSpecifier* Items(int index) const { return FItems.at(static_cast<size_t>(index)); }

    // Raises IEPathSpecifierList for nil.
    void AddSpecifier(TCustomPathSpecifier* specifier);
    void RemoveSpecifier(TCustomPathSpecifier* specifier);
    // The first specifier that is of cls or derived from it; raises
    // IEPathSpecifier when there is none.
    virtual TCustomPathSpecifier* FindSpecifier(const TClassInfo& cls);
    // Creates one specifier of every standard kind owned by owner, named after
    // its kind; with onlyIfMissing, kinds that PathSpecifiers already holds are
    // skipped. Nothing happens without an owner.
    void CreateStandardSpecifiers(TComponent* owner, bool onlyIfMissing);

private:
    std::vector<TCustomPathSpecifier*> FItems;
};

class TStandardPathSpecList : public TPathSpecifierList {};

// Every live specifier, and the standard ones; from program start to end.
TPathSpecifierList& PathSpecifiers();
TStandardPathSpecList& StandardPathSpecifiers();

// Makes the standard kinds known to stored layouts (RegisterObjectClasses
// calls it).
void RegisterPathSpecifierClasses();
