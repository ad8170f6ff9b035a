// The component model: objects with a class description, persistent objects,
// components with owners and names, and the published properties and methods
// that stored layouts set and bind by name.
#pragma once
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Strings.h"
#include <any>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <typeindex>
#include <vector>

class TObject;
class TPersistent;
class TComponent;
struct TClassInfo;
struct TStoredValue;

// Failures of the component model and of the stored-layout reader.
QFD_EXCEPTION(EComponentError, Exception)
QFD_EXCEPTION(EClassNotFound, EComponentError)
QFD_EXCEPTION(EPropertyError, EComponentError)
QFD_EXCEPTION(EReadError_Layout, EComponentError)

// The event every "Sender" handler has.
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TObject {
public:
    virtual ~TObject() = default;
    virtual const TClassInfo* ClassInfo() const;
    static const TClassInfo& StaticClass();
    std::string ClassName() const;
    bool InheritsFrom(const TClassInfo& cls) const;
};

// Declares the class description of a class (inside the class body).
#define QFD_CLASS(Class)                                                                                     \
public:                                                                                                      \
    static const TClassInfo& StaticClass();                                                                  \
    const TClassInfo* ClassInfo() const override {                                                           \
        return &StaticClass();                                                                               \
    }                                                                                                        \
                                                                                                             \
private:

class TPersistent : public TObject {
    QFD_CLASS(TPersistent)
public:
    // Copies source into this object; raises EConvertError when the classes do not fit.
    virtual void Assign(const TPersistent& source);
};

enum TComponentStateFlag : uint32_t { csLoading = 1, csReading = 2, csDesigning = 4, csDestroying = 8 };
enum TOperation { opInsert, opRemove };

class TComponent : public TPersistent {
    QFD_CLASS(TComponent)
public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    // Destroys the component: everyone who refers to it is told first, while it
    // is still whole, then its own components go, last created first.
    void Free();

    const std::string& Name() const { return FName; }
    // Raises EComponentError for an invalid identifier or a name taken in the owner.
    virtual void SetName(const std::string& newName);
    int32_t Tag() const { return FTag; }
    void SetTag(int32_t v) { FTag = v; }
    TComponent* Owner() const { return FOwner; }
    uint32_t ComponentState() const { return FComponentState; }
    bool Loading() const { return FComponentState & csLoading; }
    bool Destroying() const { return FComponentState & csDestroying; }

    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent* Components(int i) const { return FComponents.at(static_cast<size_t>(i)); }
    // Case-insensitive, among the components this one owns.
    TComponent* FindComponent(const std::string& name) const;

    void InsertComponent(TComponent* c);
    void RemoveComponent(TComponent* c);
    // Asks to be told (Notification opRemove) when c goes away.
    void FreeNotification(TComponent* c);
    void RemoveFreeNotification(TComponent* c);

    // Called when a stored layout has set every component of its tree.
    virtual void Loaded();
    // A component was inserted into or is being removed from this one's view.
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    // The enclosing block of a stored layout (a control's parent).
    virtual void SetParentComponent(TComponent* parent);

    // Used by the reader.
    void SetLoadingState(bool on);

protected:
    // Runs before the object is torn down, with the object still whole.
    virtual void BeforeDestruction();

private:
    void DestroyComponents();
    void NotifyRemoval();

    std::string FName;
    int32_t FTag = 0;
    TComponent* FOwner = nullptr;
    uint32_t FComponentState = 0;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    bool FRemovalNotified = false;
};

// Deleter for components kept outside an owner.
struct TComponentFree {
    void operator()(TComponent* c) const {
        if (c)
            c->Free();
    }
};
template <class T> using TOwnedPtr = std::unique_ptr<T, TComponentFree>;

// ---------------------------------------------------------------------------
// Published properties

enum class TPropKind {
    Boolean,
    Integer,
    Double,
    String,
    Enumeration,
    Set,
    StringList,
    Color,
    Font,
    Picture,
    Component,
    Persistent,
    Event
};

// A value read from a stored layout.
struct TStoredValue {
    enum class Kind { Integer, Double, String, Ident, Set, List, Binary } kind = Kind::Integer;
    int64_t Int = 0;
    double Dbl = 0;
    std::string Str;                // String, Ident
    std::vector<std::string> Items; // Set (identifiers), List (strings)
    std::vector<uint8_t> Bytes;     // Binary
    int Line = 0;
    std::string Describe() const;
};

struct TPropInfo {
    std::string Name;
    TPropKind Kind = TPropKind::Integer;
    std::vector<std::string> EnumNames;        // Enumeration, Set
    const TClassInfo& (*RefClass)() = nullptr; // Component: the class it must be (looked up late:
                                               // a class may refer to its own kind)
    std::type_index EventType = typeid(void);  // Event: the handler's type
    std::string Default;                       // the declared default, as stored text
    // Sets a plain value (every kind but Component, Persistent and Event).
    std::function<void(TPersistent&, const TPropInfo&, const TStoredValue&)> SetValue;
    // Reads the value back as stored text (for tests, translation and tools).
    std::function<std::string(TPersistent&)> GetText;
    std::function<TPersistent*(TPersistent&)> GetNested;   // Persistent, Font
    std::function<void(TPersistent&, TComponent*)> SetRef; // Component
    std::function<TComponent*(TPersistent&)> GetRef;
    std::function<void(TPersistent&, const std::any&)> SetEvent; // Event
};

// A published method of a form, bound to events by name.
struct TMethodInfo {
    std::string Name;
    std::type_index Type = typeid(void);
    std::function<std::any(TComponent& self)> Bind;
};

struct TClassInfo {
    std::string Name;
    const TClassInfo* Parent = nullptr;
    std::function<TComponent*(TComponent* owner)> Create; // empty: cannot be created by name
    std::vector<TPropInfo> Props;
    std::vector<TMethodInfo> Methods;

    bool InheritsFrom(const TClassInfo& other) const;
    // Searches this class, then its ancestors (case-insensitive).
    const TPropInfo* FindProp(const std::string& name) const;
    const TMethodInfo* FindMethod(const std::string& name) const;
    // Every published property, ancestors' first.
    std::vector<const TPropInfo*> AllProps() const;
};

// Classes that stored layouts may create by name.
void RegisterClass(const TClassInfo& cls);
const TClassInfo* FindClass(const std::string& name);
// Raises EClassNotFound ("Class %s not found").
const TClassInfo& GetClass(const std::string& name);

// The property a dotted name ("Font.Name") ends at; obj moves to the nested
// object that holds it. Raises EPropertyError for an unknown name.
const TPropInfo& FindPathProp(TPersistent*& obj, const std::string& name);
// Reads a published property as stored text ("" for events and nested objects).
std::string GetPropText(TPersistent& obj, const std::string& name);
void SetPropText(TPersistent& obj, const std::string& name, const std::string& value);
