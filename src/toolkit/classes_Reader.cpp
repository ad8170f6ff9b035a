#include "toolkit/classes_Reader.h"
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(int line, const std::string& what) {
    throw EReadError_Layout(Format("Error in stored layout at line %d: %s", {line, what}));
}

enum class Tok { End, Ident, Integer, Float, String, Symbol };

struct Token {
    Tok kind = Tok::End;
    std::string text; // identifier, string value or symbol
    int64_t integer = 0;
    double number = 0;
    int line = 1;
};

class Lexer {
public:
    Lexer(std::string_view text, const TLayoutLimits& limits) : FText(text), FLimits(limits) {}

    Token Next() {
        SkipBlanks();
        Token t;
        t.line = FLine;
        if (FPos >= FText.size())
            return t;
        char c = FText[FPos];
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_')
            return Identifier(t);
        if (std::isdigit(static_cast<unsigned char>(c)) || c == '-' || c == '$')
            return NumberToken(t);
        if (c == '\'' || c == '#')
            return StringToken(t);
        if (std::string_view("=:[](){},<>+").find(c) != std::string_view::npos) {
            t.kind = Tok::Symbol;
            t.text = std::string(1, c);
            ++FPos;
            return t;
        }
        Fail(FLine, Format("unexpected character '%s'", {std::string(1, c)}));
    }

    // The bytes of a {hex} block, after the '{' was read.
    std::vector<uint8_t> Binary(int startLine) {
        std::vector<uint8_t> bytes;
        int high = -1;
        while (true) {
            if (FPos >= FText.size())
                Fail(startLine, "binary value is not closed with }");
            char c = FText[FPos++];
            if (c == '}')
                break;
            if (c == '\n')
                ++FLine;
            if (std::isspace(static_cast<unsigned char>(c)))
                continue;
            int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                    : std::isxdigit(static_cast<unsigned char>(c))
                        ? std::tolower(static_cast<unsigned char>(c)) - 'a' + 10
                        : -1;
            if (v < 0)
                Fail(FLine, "binary value holds a character that is not a hex digit");
            if (high < 0) {
                high = v;
            } else {
                if (bytes.size() >= FLimits.MaxString)
                    Fail(startLine, "binary value is too long");
                bytes.push_back(static_cast<uint8_t>(high * 16 + v));
                high = -1;
            }
        }
        if (high >= 0)
            Fail(FLine, "binary value has an odd number of hex digits");
        return bytes;
    }

private:
    void SkipBlanks() {
        while (FPos < FText.size()) {
            char c = FText[FPos];
            if (c == '\n') {
                ++FLine;
                ++FPos;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f') {
                ++FPos;
            } else if (c == '/' && FPos + 1 < FText.size() && FText[FPos + 1] == '/') {
                while (FPos < FText.size() && FText[FPos] != '\n')
                    ++FPos;
            } else {
                break;
            }
        }
    }

    Token Identifier(Token& t) {
        size_t start = FPos;
        while (FPos < FText.size() && (std::isalnum(static_cast<unsigned char>(FText[FPos])) ||
                                       FText[FPos] == '_' || FText[FPos] == '.'))
            ++FPos;
        if (FPos - start > 255)
            Fail(FLine, "identifier is too long");
        t.kind = Tok::Ident;
        t.text = std::string(FText.substr(start, FPos - start));
        if (t.text.back() == '.' || t.text.find("..") != std::string::npos)
            Fail(FLine, Format("'%s' is not a valid name", {t.text}));
        return t;
    }

    Token NumberToken(Token& t) {
        size_t start = FPos;
        if (FText[FPos] == '-')
            ++FPos;
        bool hex = FPos < FText.size() && FText[FPos] == '$';
        if (hex)
            ++FPos;
        bool isFloat = false;
        while (FPos < FText.size()) {
            char c = FText[FPos];
            if (std::isdigit(static_cast<unsigned char>(c)) ||
                (hex && std::isxdigit(static_cast<unsigned char>(c)))) {
                ++FPos;
            } else if (!hex &&
                       (c == '.' || c == 'e' || c == 'E' ||
                        ((c == '+' || c == '-') && (FText[FPos - 1] == 'e' || FText[FPos - 1] == 'E')))) {
                isFloat = true;
                ++FPos;
            } else {
                break;
            }
        }
        std::string s(FText.substr(start, FPos - start));
        if (s.size() > 64)
            Fail(FLine, "number is too long");
        char* end = nullptr;
        errno = 0;
        if (isFloat) {
            t.kind = Tok::Float;
            t.number = std::strtod(s.c_str(), &end);
            if (*end || !std::isfinite(t.number))
                Fail(FLine, Format("'%s' is not a valid number", {s}));
        } else {
            t.kind = Tok::Integer;
            bool neg = s[0] == '-';
            std::string digits = s.substr((neg ? 1 : 0) + (hex ? 1 : 0));
            unsigned long long u = digits.empty() ? 0 : std::strtoull(digits.c_str(), &end, hex ? 16 : 10);
            if (digits.empty() || *end || errno == ERANGE || u > (1ull << 62))
                Fail(FLine, Format("'%s' is not a valid integer", {s}));
            t.integer = neg ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
        }
        return t;
    }

    // 'quoted' pieces and #code characters, joined; "+" at a line end continues.
    Token StringToken(Token& t) {
        t.kind = Tok::String;
        while (true) {
            if (FPos < FText.size() && FText[FPos] == '\'') {
                ++FPos;
                while (true) {
                    if (FPos >= FText.size() || FText[FPos] == '\n' || FText[FPos] == '\r')
                        Fail(t.line, "string is not closed");
                    char c = FText[FPos++];
                    if (c == '\'') {
                        if (FPos < FText.size() && FText[FPos] == '\'') {
                            ++FPos;
                        } else {
                            break;
                        }
                    }
                    Append(t, std::string_view(&c, 1));
                }
            } else if (FPos < FText.size() && FText[FPos] == '#') {
                ++FPos;
                size_t start = FPos;
                while (FPos < FText.size() && std::isdigit(static_cast<unsigned char>(FText[FPos])) &&
                       FPos - start < 8)
                    ++FPos;
                if (start == FPos)
                    Fail(FLine, "# must be followed by a character code");
                unsigned long code =
                    std::strtoul(std::string(FText.substr(start, FPos - start)).c_str(), nullptr, 10);
                if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
                    Fail(FLine, "character code out of range");
                std::u16string u;
                if (code >= 0x10000) {
                    u += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
                    u += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
                } else {
                    u += static_cast<char16_t>(code);
                }
                Append(t, Utf16ToUtf8(u));
            } else {
                // A "+" joins the next piece, possibly on the next line.
                size_t save = FPos;
                int saveLine = FLine;
                SkipBlanks();
                if (FPos < FText.size() && FText[FPos] == '+') {
                    ++FPos;
                    SkipBlanks();
                    if (FPos < FText.size() && (FText[FPos] == '\'' || FText[FPos] == '#'))
                        continue;
                    Fail(FLine, "a string must follow +");
                }
                FPos = save;
                FLine = saveLine;
                return t;
            }
        }
    }

    void Append(Token& t, std::string_view piece) {
        if (t.text.size() + piece.size() > FLimits.MaxString)
            Fail(t.line, "string is too long");
        t.text += piece;
    }

    std::string_view FText;
    const TLayoutLimits& FLimits;
    size_t FPos = 0;
    int FLine = 1;
};

class Parser {
public:
    Parser(std::string_view text, const TLayoutLimits& limits) : FLex(text, limits), FLimits(limits) {
        if (text.size() > limits.MaxText)
            Fail(1, "the layout is too large");
        Advance();
    }

    TLayoutBlock Root() {
        TLayoutBlock root = Block(1);
        if (FTok.kind != Tok::End)
            Fail(FTok.line, "text after the end of the root object");
        return root;
    }

    TStoredValue LoneValue() {
        TStoredValue v = Value();
        if (FTok.kind != Tok::End)
            Fail(FTok.line, "text after the value");
        return v;
    }

private:
    void Advance() { FTok = FLex.Next(); }
    bool IsSymbol(const char* s) const { return FTok.kind == Tok::Symbol && FTok.text == s; }
    bool IsWord(const char* w) const { return FTok.kind == Tok::Ident && SameText(FTok.text, w); }

    void Expect(const char* s) {
        if (!IsSymbol(s))
            Fail(FTok.line, Format("'%s' expected but %s found", {s, Describe()}));
        Advance();
    }

    std::string ExpectIdent(const char* what) {
        if (FTok.kind != Tok::Ident)
            Fail(FTok.line, Format("%s expected but %s found", {what, Describe()}));
        std::string s = FTok.text;
        Advance();
        return s;
    }

    std::string Describe() const {
        switch (FTok.kind) {
        case Tok::End:
            return "end of text";
        case Tok::Ident:
            return "'" + FTok.text + "'";
        case Tok::String:
            return "a string";
        case Tok::Symbol:
            return "'" + FTok.text + "'";
        default:
            return "a number";
        }
    }

    TLayoutBlock Block(size_t depth) {
        if (depth > FLimits.MaxDepth)
            Fail(FTok.line, "objects are nested too deeply");
        if (++FBlocks > FLimits.MaxComponents)
            Fail(FTok.line, "too many objects");
        TLayoutBlock b;
        b.Line = FTok.line;
        if (IsWord("inherited") || IsWord("inline"))
            Fail(FTok.line, "inherited layouts are not supported");
        if (!IsWord("object"))
            Fail(FTok.line, Format("'object' expected but %s found", {Describe()}));
        Advance();
        std::string first = ExpectIdent("a component name");
        if (IsSymbol(":")) {
            Advance();
            b.Name = first;
            b.ClassName = ExpectIdent("a class name");
        } else {
            b.ClassName = first;
        }
        if (b.Name.find('.') != std::string::npos || b.ClassName.find('.') != std::string::npos)
            Fail(b.Line, "a component or class name cannot hold a dot");
        while (true) {
            if (FTok.kind == Tok::End)
                Fail(b.Line,
                     Format("object %s is not closed with 'end'", {b.Name.empty() ? b.ClassName : b.Name}));
            if (IsWord("end")) {
                Advance();
                return b;
            }
            if (IsWord("object") || IsWord("inherited") || IsWord("inline")) {
                b.Children.push_back(Block(depth + 1));
                continue;
            }
            int line = FTok.line;
            std::string prop = ExpectIdent("a property name");
            Expect("=");
            TStoredValue v = Value();
            v.Line = line;
            b.Props.emplace_back(std::move(prop), std::move(v));
        }
    }

    TStoredValue Value() {
        TStoredValue v;
        v.Line = FTok.line;
        switch (FTok.kind) {
        case Tok::Integer:
            v.kind = TStoredValue::Kind::Integer;
            v.Int = FTok.integer;
            Advance();
            return v;
        case Tok::Float:
            v.kind = TStoredValue::Kind::Double;
            v.Dbl = FTok.number;
            Advance();
            return v;
        case Tok::String:
            v.kind = TStoredValue::Kind::String;
            v.Str = std::move(FTok.text);
            Advance();
            return v;
        case Tok::Ident:
            v.kind = TStoredValue::Kind::Ident;
            v.Str = FTok.text;
            Advance();
            return v;
        case Tok::End:
            Fail(FTok.line, "a value expected but end of text found");
        case Tok::Symbol:
            break;
        }
        if (IsSymbol("[")) {
            v.kind = TStoredValue::Kind::Set;
            Advance();
            while (!IsSymbol("]")) {
                if (v.Items.size() >= FLimits.MaxItems)
                    Fail(v.Line, "set has too many members");
                v.Items.push_back(ExpectIdent("a set member"));
                if (IsSymbol(","))
                    Advance();
                else if (!IsSymbol("]"))
                    Fail(FTok.line, Format("',' or ']' expected but %s found", {Describe()}));
            }
            Advance();
            return v;
        }
        if (IsSymbol("(")) {
            v.kind = TStoredValue::Kind::List;
            Advance();
            while (!IsSymbol(")")) {
                if (FTok.kind != Tok::String)
                    Fail(FTok.line, Format("a string or ')' expected but %s found", {Describe()}));
                if (v.Items.size() >= FLimits.MaxItems)
                    Fail(v.Line, "list has too many lines");
                v.Items.push_back(std::move(FTok.text));
                Advance();
            }
            Advance();
            return v;
        }
        if (IsSymbol("{")) {
            v.kind = TStoredValue::Kind::Binary;
            v.Bytes = FLex.Binary(v.Line);
            Advance();
            return v;
        }
        Fail(FTok.line, Format("a value expected but %s found", {Describe()}));
    }

    Lexer FLex;
    const TLayoutLimits& FLimits;
    Token FTok;
    size_t FBlocks = 0;
};

// Applying a parsed tree to components.
class Loader {
public:
    explicit Loader(TComponent& root) : FRoot(root) {}

    void Run(const TLayoutBlock& rootBlock) {
        if (!SameText(rootBlock.ClassName, FRoot.ClassName()))
            Fail(rootBlock.Line,
                 Format("the layout is of class %s, not %s", {rootBlock.ClassName, FRoot.ClassName()}));
        FRoot.SetLoadingState(true);
        FCreated.push_back(&FRoot);
        try {
            Guard(rootBlock.Line, [&] { FRoot.SetName(rootBlock.Name); });
            Fill(FRoot, rootBlock);
            Resolve();
        } catch (...) {
            for (TComponent* c : FCreated)
                c->SetLoadingState(false);
            throw;
        }
        // Every component is set: tell each, in creation order. When one of
        // them fails, none is left marked as loading for the tear-down.
        try {
            for (TComponent* c : FCreated)
                c->Loaded();
        } catch (...) {
            for (TComponent* c : FCreated)
                c->SetLoadingState(false);
            throw;
        }
        for (TComponent* c : FCreated)
            c->SetLoadingState(false);
    }

private:
    struct RefFixup {
        TPersistent* Obj;
        const TPropInfo* Prop;
        std::string Target;
        int Line;
    };

    template <class F> static void Guard(int line, F&& f) {
        try {
            f();
        } catch (const EReadError_Layout&) {
            throw;
        } catch (const Exception& e) {
            Fail(line, e.Message());
        } catch (const std::exception& e) {
            Fail(line, e.what());
        }
    }

    void Fill(TComponent& comp, const TLayoutBlock& block) {
        for (const auto& prop : block.Props)
            Guard(prop.second.Line, [&] { SetProperty(comp, prop.first, prop.second); });
        for (const TLayoutBlock& child : block.Children) {
            TComponent* c = nullptr;
            Guard(child.Line, [&] {
                const TClassInfo& cls = GetClass(child.ClassName);
                if (!cls.Create || !cls.InheritsFrom(TComponent::StaticClass()))
                    throw EComponentError(Format("Class %s cannot be created by a layout", {cls.Name}));
                c = cls.Create(&FRoot);
                FCreated.push_back(c);
                c->SetLoadingState(true);
                c->SetName(child.Name);
                c->SetParentComponent(&comp);
            });
            Fill(*c, child);
        }
    }

    void SetProperty(TComponent& comp, const std::string& path, const TStoredValue& v) {
        TPersistent* obj = &comp;
        const TPropInfo* listProp = nullptr; // a string list awaiting ".Strings"
        size_t start = 0;
        while (true) {
            size_t dot = path.find('.', start);
            std::string seg = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
            bool last = dot == std::string::npos;
            if (listProp) {
                if (!last || !SameText(seg, "Strings"))
                    throw EPropertyError(Format("Property %s does not exist", {path}));
                listProp->SetValue(*obj, *listProp, v);
                return;
            }
            const TPropInfo* p = obj->ClassInfo()->FindProp(seg);
            if (!p)
                throw EPropertyError(Format("Property %s does not exist in %s", {path, obj->ClassName()}));
            if (!last) {
                if (p->GetNested) {
                    obj = p->GetNested(*obj);
                    if (!obj)
                        throw EPropertyError(Format("Property %s has no object", {seg}));
                } else if (p->Kind == TPropKind::StringList) {
                    listProp = p;
                } else {
                    throw EPropertyError(Format("Property %s does not exist", {path}));
                }
                start = dot + 1;
                continue;
            }
            Assign(*obj, *p, v);
            return;
        }
    }

    void Assign(TPersistent& obj, const TPropInfo& p, const TStoredValue& v) {
        switch (p.Kind) {
        case TPropKind::Component:
            if (v.kind != TStoredValue::Kind::Ident)
                throw EPropertyError(
                    Format("Property %s needs a component name, not %s", {p.Name, v.Describe()}));
            // A component read earlier is set at once, in stored order with the
            // other properties; only forward references wait for the whole tree.
            if (SameText(v.Str, "nil") || Lookup(v.Str))
                SetReference({&obj, &p, v.Str, v.Line});
            else
                FRefs.push_back({&obj, &p, v.Str, v.Line});
            return;
        case TPropKind::Event:
            if (v.kind != TStoredValue::Kind::Ident)
                throw EPropertyError(Format("Event %s needs a method name, not %s", {p.Name, v.Describe()}));
            FEvents.push_back({&obj, &p, v.Str, v.Line});
            return;
        case TPropKind::Persistent:
        case TPropKind::Font:
            throw EPropertyError(
                Format("Property %s is an object; set its properties with %s.<name>", {p.Name, p.Name}));
        default:
            p.SetValue(obj, p, v);
        }
    }

    TComponent* Lookup(const std::string& name) {
        return SameText(name, FRoot.Name()) ? &FRoot : FRoot.FindComponent(name);
    }

    void SetReference(const RefFixup& r) {
        TComponent* target = nullptr;
        if (!SameText(r.Target, "nil")) {
            target = Lookup(r.Target);
            if (!target)
                throw EPropertyError(
                    Format("Component %s named by property %s does not exist", {r.Target, r.Prop->Name}));
            if (!target->InheritsFrom(r.Prop->RefClass()))
                throw EPropertyError(
                    Format("Component %s of class %s cannot be used for property %s (%s)",
                           {r.Target, target->ClassName(), r.Prop->Name, r.Prop->RefClass().Name}));
        }
        r.Prop->SetRef(*r.Obj, target);
    }

    void Resolve() {
        for (const RefFixup& r : FRefs)
            Guard(r.Line, [&] { SetReference(r); });
        for (const RefFixup& e : FEvents)
            Guard(e.Line, [&] {
                const TMethodInfo* m = FRoot.ClassInfo()->FindMethod(e.Target);
                if (!m)
                    throw EPropertyError(
                        Format("Method %s of %s does not exist", {e.Target, FRoot.ClassName()}));
                if (m->Type != e.Prop->EventType)
                    throw EPropertyError(Format("Method %s does not fit event %s", {e.Target, e.Prop->Name}));
                e.Prop->SetEvent(*e.Obj, m->Bind(FRoot));
            });
    }

    TComponent& FRoot;
    std::vector<TComponent*> FCreated;
    std::vector<RefFixup> FRefs;
    std::vector<RefFixup> FEvents;
};

} // namespace

TLayoutBlock ParseLayout(std::string_view text, const TLayoutLimits& limits) {
    return Parser(text, limits).Root();
}

void ReadLayoutInto(TComponent& root, std::string_view text, const TLayoutLimits& limits) {
    TLayoutBlock block = ParseLayout(text, limits);
    Loader(root).Run(block);
}

TComponent* CreateFromLayout(std::string_view text, TComponent* owner, const TLayoutLimits& limits) {
    TLayoutBlock block = ParseLayout(text, limits);
    const TClassInfo* cls = FindClass(block.ClassName);
    if (!cls)
        Fail(block.Line, Format("Class %s not found", {block.ClassName}));
    if (!cls->Create)
        Fail(block.Line, Format("Class %s cannot be created by a layout", {cls->Name}));
    TOwnedPtr<TComponent> root(cls->Create(owner));
    Loader(*root).Run(block);
    return root.release();
}

TStoredValue ParseStoredValue(std::string_view text) {
    TLayoutLimits limits;
    return Parser(text, limits).LoneValue();
}

void SetPropText(TPersistent& obj, const std::string& name, const std::string& value) {
    TPersistent* target = &obj;
    const TPropInfo& p = FindPathProp(target, name);
    if (!p.SetValue)
        throw EPropertyError(Format("Property %s cannot be set from text", {name}));
    p.SetValue(*target, p, ParseStoredValue(value));
}
