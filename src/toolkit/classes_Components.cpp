#include "toolkit/classes_Components.h"
#include "toolkit/classes_Publish.h"
#include <algorithm>
#include <cmath>
#include <cstdio>

// --- TObject / TPersistent --------------------------------------------------

const TClassInfo& TObject::StaticClass() {
    static const TClassInfo info = [] {
        TClassInfo i;
        i.Name = "TObject";
        return i;
    }();
    return info;
}

const TClassInfo* TObject::ClassInfo() const {
    return &StaticClass();
}
std::string TObject::ClassName() const {
    return ClassInfo()->Name;
}
bool TObject::InheritsFrom(const TClassInfo& cls) const {
    return ClassInfo()->InheritsFrom(cls);
}

const TClassInfo& TPersistent::StaticClass() {
    static const TClassInfo info = DescribeClass<TPersistent, TObject>("TPersistent", [](auto&) {});
    return info;
}

void TPersistent::Assign(const TPersistent& source) {
    throw EConvertError(Format("Cannot assign a %s to a %s", {source.ClassName(), ClassName()}));
}

// --- TComponent --------------------------------------------------------------

const TClassInfo& TComponent::StaticClass() {
    static const TClassInfo info = DescribeClass<TComponent, TPersistent>(
        "TComponent", [](auto& c) { c.Int("Tag", &TComponent::Tag, &TComponent::SetTag, 0); });
    return info;
}

TComponent::TComponent(TComponent* AOwner) {
    if (AOwner)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
    // Reached directly by delete of a component that was not Free()d: tell
    // whoever refers to it (only its TComponent part is left by now).
    FComponentState |= csDestroying;
    NotifyRemoval();
    DestroyComponents();
}

void TComponent::Free() {
    BeforeDestruction();
    delete this;
}

void TComponent::BeforeDestruction() {
    FComponentState |= csDestroying;
    NotifyRemoval();
    DestroyComponents();
}

void TComponent::NotifyRemoval() {
    if (FRemovalNotified)
        return;
    FRemovalNotified = true;
    // Those that asked to be told, then the owner and its components.
    while (!FFreeNotifies.empty()) {
        TComponent* c = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        auto& theirs = c->FFreeNotifies;
        theirs.erase(std::remove(theirs.begin(), theirs.end(), this), theirs.end());
        c->Notification(this, opRemove);
    }
    if (FOwner)
        FOwner->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* c = FComponents.back();
        c->Free(); // removes itself from FComponents
        if (!FComponents.empty() && FComponents.back() == c)
            FComponents.pop_back();
    }
}

void TComponent::SetName(const std::string& newName) {
    if (newName == FName)
        return;
    if (!newName.empty()) {
        bool ok = !(newName[0] >= '0' && newName[0] <= '9');
        for (char ch : newName)
            ok = ok && ((ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                        ch == '_');
        if (!ok)
            throw EComponentError(Format("''%s'' is not a valid component name", {newName}));
        if (FOwner) {
            TComponent* other = FOwner->FindComponent(newName);
            if (other && other != this)
                throw EComponentError(Format("A component named %s already exists", {newName}));
        }
    }
    FName = newName;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    if (name.empty())
        return nullptr;
    for (TComponent* c : FComponents)
        if (SameText(c->FName, name))
            return c;
    return nullptr;
}

void TComponent::InsertComponent(TComponent* c) {
    if (c->FOwner)
        c->FOwner->RemoveComponent(c);
    if (!c->FName.empty() && FindComponent(c->FName))
        throw EComponentError(Format("A component named %s already exists", {c->FName}));
    FComponents.push_back(c);
    c->FOwner = this;
    if (FComponentState & csLoading)
        c->FComponentState |= csLoading;
    Notification(c, opInsert);
    for (TComponent* other : FComponents)
        if (other != c)
            other->Notification(c, opInsert);
}

void TComponent::RemoveComponent(TComponent* c) {
    // Everyone in the owner's view hears of the removal before it happens.
    Notification(c, opRemove);
    std::vector<TComponent*> others = FComponents;
    for (TComponent* other : others)
        if (other != c)
            other->Notification(c, opRemove);
    FComponents.erase(std::remove(FComponents.begin(), FComponents.end(), c), FComponents.end());
    c->FOwner = nullptr;
}

void TComponent::FreeNotification(TComponent* c) {
    if (!c || c == this)
        return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), c) == FFreeNotifies.end())
        FFreeNotifies.push_back(c);
    if (std::find(c->FFreeNotifies.begin(), c->FFreeNotifies.end(), this) == c->FFreeNotifies.end())
        c->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* c) {
    if (!c)
        return;
    FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), c), FFreeNotifies.end());
    c->FFreeNotifies.erase(std::remove(c->FFreeNotifies.begin(), c->FFreeNotifies.end(), this),
                           c->FFreeNotifies.end());
}

void TComponent::Loaded() {
    FComponentState &= ~csLoading;
}
void TComponent::Notification(TComponent*, TOperation) {}
void TComponent::SetParentComponent(TComponent*) {}

void TComponent::SetLoadingState(bool on) {
    if (on)
        FComponentState |= csLoading | csReading;
    else
        FComponentState &= ~(csLoading | csReading);
}

// --- class descriptions ------------------------------------------------------

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
    for (const TClassInfo* c = this; c; c = c->Parent)
        if (c == &other)
            return true;
    return false;
}

const TPropInfo* TClassInfo::FindProp(const std::string& name) const {
    for (const TClassInfo* c = this; c; c = c->Parent)
        for (const TPropInfo& p : c->Props)
            if (SameText(p.Name, name))
                return &p;
    return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(const std::string& name) const {
    for (const TClassInfo* c = this; c; c = c->Parent)
        for (const TMethodInfo& m : c->Methods)
            if (SameText(m.Name, name))
                return &m;
    return nullptr;
}

std::vector<const TPropInfo*> TClassInfo::AllProps() const {
    std::vector<const TClassInfo*> chain;
    for (const TClassInfo* c = this; c; c = c->Parent)
        chain.push_back(c);
    std::vector<const TPropInfo*> out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const TPropInfo& p : (*it)->Props)
            out.push_back(&p);
    return out;
}

static std::map<std::string, const TClassInfo*>& ClassRegistry() {
    static std::map<std::string, const TClassInfo*> registry;
    return registry;
}

void RegisterClass(const TClassInfo& cls) {
    ClassRegistry()[UpperCase(cls.Name)] = &cls;
}

const TClassInfo* FindClass(const std::string& name) {
    auto it = ClassRegistry().find(UpperCase(name));
    return it == ClassRegistry().end() ? nullptr : it->second;
}

const TClassInfo& GetClass(const std::string& name) {
    const TClassInfo* c = FindClass(name);
    if (!c)
        throw EClassNotFound(Format("Class %s not found", {name}));
    return *c;
}

// --- conversions of stored values ---------------------------------------------

std::string TStoredValue::Describe() const {
    switch (kind) {
    case Kind::Integer:
        return "integer " + std::to_string(Int);
    case Kind::Double:
        return "number " + publish_detail::FloatToText(Dbl);
    case Kind::String:
        return "string " + publish_detail::QuoteString(Str.size() > 40 ? Str.substr(0, 40) + "..." : Str);
    case Kind::Ident:
        return "identifier " + Str;
    case Kind::Set:
        return "set";
    case Kind::List:
        return "list of strings";
    case Kind::Binary:
        return "binary data";
    }
    return "value";
}

namespace publish_detail {

void Mismatch(const TPropInfo& p, const TStoredValue& v, const char* wanted) {
    throw EPropertyError(Format("Property %s needs %s, not %s", {p.Name, wanted, v.Describe()}));
}

bool ToBool(const TPropInfo& p, const TStoredValue& v) {
    if (v.kind == TStoredValue::Kind::Ident) {
        if (SameText(v.Str, "True"))
            return true;
        if (SameText(v.Str, "False"))
            return false;
    }
    Mismatch(p, v, "True or False");
}

int32_t ToInt(const TPropInfo& p, const TStoredValue& v) {
    if (v.kind != TStoredValue::Kind::Integer)
        Mismatch(p, v, "an integer");
    if (v.Int < INT32_MIN || v.Int > INT32_MAX)
        throw EPropertyError(
            Format("Value %s of property %s is out of range", {std::to_string(v.Int), p.Name}));
    return static_cast<int32_t>(v.Int);
}

double ToDouble(const TPropInfo& p, const TStoredValue& v) {
    if (v.kind == TStoredValue::Kind::Integer)
        return static_cast<double>(v.Int);
    if (v.kind != TStoredValue::Kind::Double)
        Mismatch(p, v, "a number");
    return v.Dbl;
}

const std::string& ToString(const TPropInfo& p, const TStoredValue& v) {
    if (v.kind != TStoredValue::Kind::String)
        Mismatch(p, v, "a string");
    return v.Str;
}

int32_t ToEnum(const TPropInfo& p, const TStoredValue& v) {
    if (v.kind != TStoredValue::Kind::Ident)
        Mismatch(p, v, "an enumerator");
    for (size_t i = 0; i < p.EnumNames.size(); ++i)
        if (SameText(p.EnumNames[i], v.Str))
            return static_cast<int32_t>(i);
    throw EPropertyError(Format("Unknown value %s for property %s", {v.Str, p.Name}));
}

uint32_t ToSet(const TPropInfo& p, const TStoredValue& v) {
    if (v.kind != TStoredValue::Kind::Set)
        Mismatch(p, v, "a set");
    uint32_t bits = 0;
    for (const std::string& item : v.Items) {
        size_t i = 0;
        while (i < p.EnumNames.size() && !SameText(p.EnumNames[i], item))
            ++i;
        if (i == p.EnumNames.size() || i >= 32)
            throw EPropertyError(Format("Unknown value %s in set property %s", {item, p.Name}));
        bits |= 1u << i;
    }
    return bits;
}

TStringList ToList(const TPropInfo& p, const TStoredValue& v) {
    if (v.kind != TStoredValue::Kind::List)
        Mismatch(p, v, "a list of strings");
    TStringList l;
    for (const std::string& s : v.Items)
        l.Add(s);
    return l;
}

TColor ToColor(const TPropInfo& p, const TStoredValue& v) {
    if (v.kind == TStoredValue::Kind::Integer) {
        if (v.Int < INT32_MIN || v.Int > UINT32_MAX)
            throw EPropertyError(
                Format("Value %s of property %s is out of range", {std::to_string(v.Int), p.Name}));
        return static_cast<TColor>(static_cast<uint32_t>(v.Int));
    }
    TColor c;
    if (v.kind == TStoredValue::Kind::Ident && IdentToColor(v.Str, c))
        return c;
    if (v.kind == TStoredValue::Kind::Ident)
        throw EPropertyError(Format("Unknown colour %s for property %s", {v.Str, p.Name}));
    Mismatch(p, v, "a colour");
}

std::string QuoteString(const std::string& s) {
    return "'" + StringReplaceAll(s, "'", "''") + "'";
}

std::string SetToText(const std::vector<std::string>& names, uint32_t bits) {
    std::string r = "[";
    for (size_t i = 0; i < names.size() && i < 32; ++i)
        if (bits & (1u << i)) {
            if (r.size() > 1)
                r += ", ";
            r += names[i];
        }
    return r + "]";
}

std::string ListToText(const TStringList& l) {
    std::string r = "(";
    for (int i = 0; i < l.Count(); ++i)
        r += (i ? " " : "") + QuoteString(l[i]);
    return r + ")";
}

std::string FloatToText(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

} // namespace publish_detail

// --- property access by name ---------------------------------------------------

const TPropInfo& FindPathProp(TPersistent*& obj, const std::string& name) {
    size_t dot;
    std::string rest = name;
    while ((dot = rest.find('.')) != std::string::npos) {
        const TPropInfo* p = obj->ClassInfo()->FindProp(rest.substr(0, dot));
        if (!p || !p->GetNested)
            throw EPropertyError(Format("Property %s does not exist", {name}));
        obj = p->GetNested(*obj);
        rest = rest.substr(dot + 1);
    }
    const TPropInfo* p = obj->ClassInfo()->FindProp(rest);
    if (!p)
        throw EPropertyError(Format("Property %s does not exist", {name}));
    return *p;
}

std::string GetPropText(TPersistent& obj, const std::string& name) {
    TPersistent* target = &obj;
    const TPropInfo& p = FindPathProp(target, name);
    return p.GetText ? p.GetText(*target) : std::string();
}
