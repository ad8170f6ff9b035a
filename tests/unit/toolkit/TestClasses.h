// Small component classes with one property of every kind, for the model's tests.
#pragma once
#include "toolkit/classes_Publish.h"
#include <string>
#include <vector>

// Records which components ran Loaded, in order, and what they saw then.
inline std::vector<std::string>& LoadedLog() {
    static std::vector<std::string> log;
    return log;
}
// The component whose Loaded fails (none when empty).
inline std::string& FailLoadedOf() {
    static std::string name;
    return name;
}
inline int& LiveThings() {
    static int n = 0;
    return n;
}

enum TShade { shLight, shDark, shNone };
using TBoolEvent = std::function<void(TObject* Sender, bool& Allow)>;

class TInner : public TPersistent {
    QFD_CLASS(TInner)
public:
    std::string Caption;
    int32_t Count = 3;
    TFont Font;
};

class TThing : public TComponent {
    QFD_CLASS(TThing)
public:
    explicit TThing(TComponent* owner) : TComponent(owner) { ++LiveThings(); }
    ~TThing() override { --LiveThings(); }
    void Loaded() override {
        // Loaded comes after the whole tree is set, references included.
        if (Name() == FailLoadedOf())
            throw EConvertError("Loaded failed on purpose");
        LoadedLog().push_back(Name() + ":" + (Partner ? Partner->Name() : "-") + ":" + Text);
        TComponent::Loaded();
    }
    void Notification(TComponent* c, TOperation op) override {
        TComponent::Notification(c, op);
        if (op == opRemove && c == Partner)
            Partner = nullptr;
    }
    void SetPartner(TThing* p) {
        PartnerSetWhenTextWas = Text;
        Partner = p;
        if (p)
            p->FreeNotification(this);
    }
    void SetText(const std::string& s) {
        if (!Loading())
            ++SetWhileNotLoading;
        Text = s;
    }

    bool Flag = false;
    int32_t Number = 0;
    double Ratio = 0;
    std::string Text;
    TShade Shade = shNone;
    uint32_t Shades = 0;
    TStringList Lines;
    TColor Colour = clBlack;
    TPicture Picture;
    TInner Inner;
    TThing* Partner = nullptr;
    TNotifyEvent OnPoke;
    TBoolEvent OnAsk;
    int SetWhileNotLoading = 0;
    std::string PartnerSetWhenTextWas;
};

class TTestRoot : public TComponent {
    QFD_CLASS(TTestRoot)
public:
    explicit TTestRoot(TComponent* owner) : TComponent(owner) {}
    void ThingPoked(TObject* sender) { Poked.push_back(static_cast<TComponent*>(sender)->Name()); }
    void ThingAsked(TObject*, bool& allow) { allow = false; }
    std::vector<std::string> Poked;
};

inline const TClassInfo& TInner::StaticClass() {
    static const TClassInfo info = DescribeClass<TInner, TPersistent>("TInner", [](auto& c) {
        c.Str(
            "Caption", [](TInner& o) { return o.Caption; },
            [](TInner& o, const std::string& v) { o.Caption = v; }, "");
        c.Int(
            "Count", [](TInner& o) { return o.Count; }, [](TInner& o, int32_t v) { o.Count = v; }, 3);
        c.Font("Font", [](TInner& o) { return &o.Font; });
    });
    return info;
}

inline const TClassInfo& TThing::StaticClass() {
    static const TClassInfo info = DescribeClass<TThing, TComponent>("TThing", [](auto& c) {
        c.Bool(
            "Flag", [](TThing& o) { return o.Flag; }, [](TThing& o, bool v) { o.Flag = v; }, false);
        c.Int(
            "Number", [](TThing& o) { return o.Number; }, [](TThing& o, int32_t v) { o.Number = v; }, 0);
        c.Double(
            "Ratio", [](TThing& o) { return o.Ratio; }, [](TThing& o, double v) { o.Ratio = v; }, 0.0);
        c.Str(
            "Text", [](TThing& o) { return o.Text; }, &TThing::SetText, "");
        c.Enum(
            "Shade", {"shLight", "shDark", "shNone"}, [](TThing& o) { return o.Shade; },
            [](TThing& o, TShade v) { o.Shade = v; }, shNone);
        c.Set(
            "Shades", {"shLight", "shDark", "shNone"}, [](TThing& o) { return o.Shades; },
            [](TThing& o, uint32_t v) { o.Shades = v; }, 0);
        c.Strings(
            "Lines", [](TThing& o) -> const TStringList& { return o.Lines; },
            [](TThing& o, const TStringList& l) { o.Lines = l; });
        c.Color(
            "Colour", [](TThing& o) { return o.Colour; }, [](TThing& o, TColor v) { o.Colour = v; }, clBlack);
        c.Picture("Picture", [](TThing& o) -> TPicture& { return o.Picture; });
        c.Nested("Inner", [](TThing& o) { return &o.Inner; });
        c.template Ref<TThing>(
            "Partner", [](TThing& o) { return o.Partner; }, &TThing::SetPartner);
        c.Event("OnPoke", &TThing::OnPoke);
        c.Event("OnAsk", &TThing::OnAsk);
    });
    return info;
}

inline const TClassInfo& TTestRoot::StaticClass() {
    static const TClassInfo info = DescribeClass<TTestRoot, TComponent>("TTestRoot", [](auto& c) {
        c.template Method<TNotifyEvent>("ThingPoked", &TTestRoot::ThingPoked);
        c.template Method<TBoolEvent>("ThingAsked", &TTestRoot::ThingAsked);
    });
    return info;
}

inline void RegisterTestClasses() {
    RegisterClass(TThing::StaticClass());
    RegisterClass(TTestRoot::StaticClass());
}
