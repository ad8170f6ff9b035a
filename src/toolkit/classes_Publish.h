// Describing a class's published properties and methods:
//
//   const TClassInfo& TThing::StaticClass() {
//       static const TClassInfo info = DescribeClass<TThing, TComponent>("TThing", [](auto& c) {
//           c.Int("Count", &TThing::Count, &TThing::SetCount, 0);
//       });
//       return info;
//   }
#pragma once
#include "toolkit/classes_Components.h"
#include "toolkit/graphics_Types.h"
#include <type_traits>

namespace publish_detail {
[[noreturn]] void Mismatch(const TPropInfo& p, const TStoredValue& v, const char* wanted);
bool ToBool(const TPropInfo& p, const TStoredValue& v);
int32_t ToInt(const TPropInfo& p, const TStoredValue& v);
double ToDouble(const TPropInfo& p, const TStoredValue& v);
const std::string& ToString(const TPropInfo& p, const TStoredValue& v);
int32_t ToEnum(const TPropInfo& p, const TStoredValue& v);
uint32_t ToSet(const TPropInfo& p, const TStoredValue& v);
TStringList ToList(const TPropInfo& p, const TStoredValue& v);
TColor ToColor(const TPropInfo& p, const TStoredValue& v);
std::string QuoteString(const std::string& s);
std::string SetToText(const std::vector<std::string>& names, uint32_t bits);
std::string ListToText(const TStringList& l);
std::string FloatToText(double d);
} // namespace publish_detail

template <class T> class TClassBuilder {
public:
    explicit TClassBuilder(TClassInfo& info) : FInfo(info) {}

    template <class G, class S> TClassBuilder& Bool(const char* name, G get, S set, bool def) {
        return Plain(
            name, TPropKind::Boolean, def ? "True" : "False",
            [set](T& o, const TPropInfo& p, const TStoredValue& v) {
                std::invoke(set, o, publish_detail::ToBool(p, v));
            },
            [get](T& o) { return std::string(std::invoke(get, o) ? "True" : "False"); });
    }
    template <class G, class S> TClassBuilder& Int(const char* name, G get, S set, int32_t def) {
        return Plain(
            name, TPropKind::Integer, std::to_string(def),
            [set](T& o, const TPropInfo& p, const TStoredValue& v) {
                std::invoke(set, o, publish_detail::ToInt(p, v));
            },
            [get](T& o) { return std::to_string(static_cast<int64_t>(std::invoke(get, o))); });
    }
    template <class G, class S> TClassBuilder& Double(const char* name, G get, S set, double def) {
        return Plain(
            name, TPropKind::Double, publish_detail::FloatToText(def),
            [set](T& o, const TPropInfo& p, const TStoredValue& v) {
                std::invoke(set, o, publish_detail::ToDouble(p, v));
            },
            [get](T& o) { return publish_detail::FloatToText(std::invoke(get, o)); });
    }
    template <class G, class S> TClassBuilder& Str(const char* name, G get, S set, const std::string& def) {
        return Plain(
            name, TPropKind::String, publish_detail::QuoteString(def),
            [set](T& o, const TPropInfo& p, const TStoredValue& v) {
                std::invoke(set, o, publish_detail::ToString(p, v));
            },
            [get](T& o) { return publish_detail::QuoteString(std::invoke(get, o)); });
    }
    template <class G, class S> TClassBuilder& Color(const char* name, G get, S set, TColor def) {
        return Plain(
            name, TPropKind::Color, ColorToText(def),
            [set](T& o, const TPropInfo& p, const TStoredValue& v) {
                std::invoke(set, o, publish_detail::ToColor(p, v));
            },
            [get](T& o) { return ColorToText(std::invoke(get, o)); });
    }
    // names[i] is the stored name of enumerator value i.
    template <class E, class G, class S>
    TClassBuilder& Enum(const char* name, std::vector<std::string> names, G get, S set, E def) {
        TPropInfo& p = Plain(
                           name, TPropKind::Enumeration, names.at(static_cast<size_t>(def)),
                           [set](T& o, const TPropInfo& p, const TStoredValue& v) {
                               std::invoke(set, o, static_cast<E>(publish_detail::ToEnum(p, v)));
                           },
                           nullptr)
                           .Last();
        p.EnumNames = std::move(names);
        p.GetText = [get, names = p.EnumNames](TPersistent& o) {
            auto i = static_cast<size_t>(std::invoke(get, static_cast<T&>(o)));
            return i < names.size() ? names[i] : std::to_string(i);
        };
        return *this;
    }
    // A set of enumerators: bit i stands for names[i].
    template <class G, class S>
    TClassBuilder& Set(const char* name, std::vector<std::string> names, G get, S set, uint32_t def) {
        std::string defText = publish_detail::SetToText(names, def);
        TPropInfo& p = Plain(
                           name, TPropKind::Set, defText,
                           [set](T& o, const TPropInfo& p, const TStoredValue& v) {
                               std::invoke(set, o, publish_detail::ToSet(p, v));
                           },
                           nullptr)
                           .Last();
        p.EnumNames = std::move(names);
        p.GetText = [get, names = p.EnumNames](TPersistent& o) {
            return publish_detail::SetToText(names,
                                             static_cast<uint32_t>(std::invoke(get, static_cast<T&>(o))));
        };
        return *this;
    }
    // Stored as Name.Strings = ('line' ...). get returns the list, set takes one.
    template <class G, class S> TClassBuilder& Strings(const char* name, G get, S set) {
        return Plain(
            name, TPropKind::StringList, "()",
            [set](T& o, const TPropInfo& p, const TStoredValue& v) {
                std::invoke(set, o, publish_detail::ToList(p, v));
            },
            [get](T& o) { return publish_detail::ListToText(std::invoke(get, o)); });
    }
    // get returns the TPicture; stored as {hex bytes of a bitmap file}.
    template <class G> TClassBuilder& Picture(const char* name, G get) {
        return Plain(
            name, TPropKind::Picture, "{}",
            [get](T& o, const TPropInfo& p, const TStoredValue& v) {
                if (v.kind != TStoredValue::Kind::Binary)
                    publish_detail::Mismatch(p, v, "binary data");
                std::invoke(get, o).SetData(v.Bytes);
            },
            [get](T& o) { return std::string(std::invoke(get, o).Empty() ? "{}" : "{...}"); });
    }
    // A nested persistent object, stored with dotted names (Font.Name).
    template <class G> TClassBuilder& Nested(const char* name, G get) {
        TPropInfo p;
        p.Name = name;
        p.Kind = TPropKind::Persistent;
        p.GetNested = [get](TPersistent& o) -> TPersistent* { return std::invoke(get, static_cast<T&>(o)); };
        FInfo.Props.push_back(std::move(p));
        return *this;
    }
    template <class G> TClassBuilder& Font(const char* name, G get) {
        Nested(name, get);
        FInfo.Props.back().Kind = TPropKind::Font;
        return *this;
    }
    // A reference to another component of the tree, resolved once it exists.
    template <class R, class G, class S> TClassBuilder& Ref(const char* name, G get, S set) {
        TPropInfo p;
        p.Name = name;
        p.Kind = TPropKind::Component;
        p.RefClass = &R::StaticClass;
        p.SetRef = [set](TPersistent& o, TComponent* c) {
            std::invoke(set, static_cast<T&>(o), static_cast<R*>(c));
        };
        p.GetRef = [get](TPersistent& o) -> TComponent* { return std::invoke(get, static_cast<T&>(o)); };
        p.GetText = [get](TPersistent& o) {
            TComponent* c = std::invoke(get, static_cast<T&>(o));
            return c ? c->Name() : std::string();
        };
        FInfo.Props.push_back(std::move(p));
        return *this;
    }
    // An event held in a std::function field.
    template <class Ev, class C> TClassBuilder& Event(const char* name, Ev C::*field) {
        static_assert(std::is_base_of_v<C, T>, "the event must be a field of the class or an ancestor");
        TPropInfo p;
        p.Name = name;
        p.Kind = TPropKind::Event;
        p.EventType = typeid(Ev);
        p.SetEvent = [field](TPersistent& o, const std::any& handler) {
            static_cast<C&>(static_cast<T&>(o)).*field = std::any_cast<const Ev&>(handler);
        };
        FInfo.Props.push_back(std::move(p));
        return *this;
    }
    // A published method that stored event bindings may name.
    template <class Ev, class M> TClassBuilder& Method(const char* name, M method) {
        TMethodInfo m;
        m.Name = name;
        m.Type = typeid(Ev);
        m.Bind = [method](TComponent& self) -> std::any {
            T* t = static_cast<T*>(&self);
            return Ev([t, method](auto&&... args) { (t->*method)(std::forward<decltype(args)>(args)...); });
        };
        FInfo.Methods.push_back(std::move(m));
        return *this;
    }

private:
    template <class SetFn, class GetFn>
    TClassBuilder& Plain(const char* name, TPropKind kind, std::string def, SetFn set, GetFn get) {
        TPropInfo p;
        p.Name = name;
        p.Kind = kind;
        p.Default = std::move(def);
        p.SetValue = [set](TPersistent& o, const TPropInfo& info, const TStoredValue& v) {
            set(static_cast<T&>(o), info, v);
        };
        if constexpr (!std::is_same_v<GetFn, std::nullptr_t>)
            p.GetText = [get](TPersistent& o) { return get(static_cast<T&>(o)); };
        FInfo.Props.push_back(std::move(p));
        return *this;
    }
    TPropInfo& Last() { return FInfo.Props.back(); }

    TClassInfo& FInfo;
};

template <class T, class Parent, class Fn> TClassInfo DescribeClass(const char* name, Fn describe) {
    TClassInfo info;
    info.Name = name;
    info.Parent = &Parent::StaticClass();
    if constexpr (std::is_constructible_v<T, TComponent*> && !std::is_abstract_v<T>)
        info.Create = [](TComponent* owner) -> TComponent* { return new T(owner); };
    TClassBuilder<T> builder(info);
    describe(builder);
    return info;
}
