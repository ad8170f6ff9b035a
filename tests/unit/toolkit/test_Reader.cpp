#include "TestClasses.h"
#include "toolkit/classes_Reader.h"
#include <gtest/gtest.h>

namespace {

class Reader : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterTestClasses();
        LoadedLog().clear();
    }
    TThing* Thing(TComponent& root, const char* name) {
        return dynamic_cast<TThing*>(root.FindComponent(name));
    }

    // The message of the layout error that reading text raises.
    std::string ErrorOf(const std::string& text) {
        try {
            TOwnedPtr<TComponent> root(CreateFromLayout(text));
        } catch (const EReadError_Layout& e) {
            return e.Message();
        }
        ADD_FAILURE() << "no error for:\n" << text;
        return "";
    }
};

const char* kLayout = R"(object Root: TTestRoot
  Tag = 7
  object First: TThing
    Partner = Second
    Flag = True
    Number = -42
    Ratio = 2.5
    Text = 'it''s ' + 
      'joined'#33
    Shade = shDark
    Shades = [shLight, shNone]
    Lines.Strings = (
      'one'
      ''
      'three')
    Colour = clYellow
    Inner.Caption = 'inside'
    Inner.Font.Name = 'Arial'
    Inner.Font.Style = [fsBold, fsItalic]
    Inner.Font.Height = -23
    OnPoke = ThingPoked
    OnAsk = ThingAsked
  end
  object Second: TThing
    Partner = First
    Text = 'set after the partner'
    Colour = $00FF00
  end
end
)";

TEST_F(Reader, LoadsEveryKindOfValueForwardReferencesAndEvents) {
    TOwnedPtr<TComponent> root(CreateFromLayout(kLayout));
    ASSERT_EQ(root->ClassName(), "TTestRoot");
    EXPECT_EQ(root->Name(), "Root");
    EXPECT_EQ(root->Tag(), 7);
    ASSERT_EQ(root->ComponentCount(), 2);
    TThing* first = Thing(*root, "First");
    TThing* second = Thing(*root, "second");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->Owner(), root.get());
    EXPECT_EQ(first->Partner, second); // a forward reference: set once the tree exists
    EXPECT_EQ(second->Partner, first);
    EXPECT_EQ(first->PartnerSetWhenTextWas, "it's joined!");
    // A reference to a component read earlier is set in stored order.
    EXPECT_EQ(second->PartnerSetWhenTextWas, "");
    EXPECT_EQ(second->Text, "set after the partner");
    EXPECT_TRUE(first->Flag);
    EXPECT_EQ(first->Number, -42);
    EXPECT_DOUBLE_EQ(first->Ratio, 2.5);
    EXPECT_EQ(first->Text, "it's joined!");
    EXPECT_EQ(first->Shade, shDark);
    EXPECT_EQ(first->Shades, (1u << shLight) | (1u << shNone));
    EXPECT_EQ(first->Lines, (TStringList{"one", "", "three"}));
    EXPECT_EQ(first->Colour, clYellow);
    EXPECT_EQ(second->Colour, 0x00FF00);
    EXPECT_EQ(first->Inner.Caption, "inside");
    EXPECT_EQ(first->Inner.Count, 3); // not stored: keeps its default
    EXPECT_EQ(first->Inner.Font.Name(), "Arial");
    EXPECT_EQ(first->Inner.Font.Height(), -23);
    EXPECT_EQ(first->Inner.Font.Style(), (1u << fsBold) | (1u << fsItalic));
    EXPECT_EQ(second->Shade, shNone);

    // Setters ran while loading; Loaded came after everything was set, in creation order.
    EXPECT_EQ(first->SetWhileNotLoading, 0);
    EXPECT_FALSE(first->Loading());
    EXPECT_FALSE(root->Loading());
    EXPECT_EQ(LoadedLog(),
              (std::vector<std::string>{"First:Second:it's joined!", "Second:First:set after the partner"}));

    // Events call the root's published methods.
    ASSERT_TRUE(first->OnPoke);
    first->OnPoke(first);
    EXPECT_EQ(static_cast<TTestRoot*>(root.get())->Poked, std::vector<std::string>{"First"});
    bool allow = true;
    first->OnAsk(first, allow);
    EXPECT_FALSE(allow);
    EXPECT_FALSE(second->OnPoke); // unassigned

    EXPECT_EQ(GetPropText(*first, "Shades"), "[shLight, shNone]");
    EXPECT_EQ(GetPropText(*first, "Inner.Font.Name"), "'Arial'");
    EXPECT_EQ(GetPropText(*first, "Partner"), "Second");
    SetPropText(*first, "Inner.Count", "12");
    EXPECT_EQ(first->Inner.Count, 12);
}

TEST_F(Reader, ReadsIntoAnExistingRootOfTheSameClass) {
    TTestRoot root(nullptr);
    ReadLayoutInto(root, "object R: TTestRoot\n object A: TThing\n Number = 1\n end\nend\n");
    EXPECT_EQ(root.Name(), "R");
    ASSERT_NE(Thing(root, "A"), nullptr);
    TTestRoot other(nullptr);
    EXPECT_THROW(ReadLayoutInto(other, "object R: TThing\nend\n"), EReadError_Layout);
}

TEST_F(Reader, UnknownNamesAreErrorsThatNameTheLine) {
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TNoSuchClass\n  end\nend\n"),
              "Error in stored layout at line 2: Class TNoSuchClass not found");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n\n    Colourr = clRed\n  end\nend\n"),
              "Error in stored layout at line 4: Property Colourr does not exist in TThing");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Shade = shMedium\n  end\nend\n"),
              "Error in stored layout at line 3: Unknown value shMedium for property Shade");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Shades = [shDark, shPale]\n  end\nend\n"),
              "Error in stored layout at line 3: Unknown value shPale in set property Shades");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Colour = clPlaid\n  end\nend\n"),
              "Error in stored layout at line 3: Unknown colour clPlaid for property Colour");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Partner = Nobody\n  end\nend\n"),
              "Error in stored layout at line 3: Component Nobody named by property Partner does not exist");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    OnPoke = NoMethod\n  end\nend\n"),
              "Error in stored layout at line 3: Method NoMethod of TTestRoot does not exist");
    // A method with the wrong parameters is refused, not called with garbage.
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    OnPoke = ThingAsked\n  end\nend\n"),
              "Error in stored layout at line 3: Method ThingAsked does not fit event OnPoke");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Partner = R\n  end\nend\n"),
              "Error in stored layout at line 3: Component R of class TTestRoot cannot be used for property "
              "Partner (TThing)");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n  end\n  object a: TThing\n  end\nend\n"),
              "Error in stored layout at line 4: A component named a already exists");
}

TEST_F(Reader, WrongValueKindsAndRangesAreErrors) {
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Number = 'ten'\n  end\nend\n"),
              "Error in stored layout at line 3: Property Number needs an integer, not string 'ten'");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Number = 4294967296\n  end\nend\n"),
              "Error in stored layout at line 3: Value 4294967296 of property Number is out of range");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Flag = Yes\n  end\nend\n"),
              "Error in stored layout at line 3: Property Flag needs True or False, not identifier Yes");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Inner = 1\n  end\nend\n"),
              "Error in stored layout at line 3: Property Inner is an object; set its properties with "
              "Inner.<name>");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Picture = {424D00}\n  end\nend\n"),
              "Error in stored layout at line 3: Bitmap image is not valid");
}

TEST_F(Reader, MalformedTextIsAnErrorWithItsLine) {
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Text = 'open\n  end\nend\n"),
              "Error in stored layout at line 3: string is not closed");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Number = 1\n"),
              "Error in stored layout at line 2: object A is not closed with 'end'");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  Tag 5\nend\n"),
              "Error in stored layout at line 2: '=' expected but a number found");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Shades = [shDark shLight]\n  end\nend\n"),
              "Error in stored layout at line 3: ',' or ']' expected but 'shLight' found");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Lines.Strings = ('a' 'b'\n  end\nend\n"),
              "Error in stored layout at line 4: a string or ')' expected but 'end' found");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  object A: TThing\n    Picture = {4\n"),
              "Error in stored layout at line 3: binary value is not closed with }");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\nend\nobject S: TTestRoot\nend\n"),
              "Error in stored layout at line 3: text after the end of the root object");
    EXPECT_EQ(ErrorOf(""), "Error in stored layout at line 1: 'object' expected but end of text found");
    EXPECT_EQ(ErrorOf("object R: TTestRoot\n  Tag = ~\nend"),
              "Error in stored layout at line 2: unexpected character '~'");
}

TEST_F(Reader, NestingAndStringLengthAreBounded) {
    std::string deep;
    for (int i = 0; i < 40; ++i)
        deep += "object A" + std::to_string(i) + ": TThing\n";
    EXPECT_NE(ErrorOf("object R: TTestRoot\n" + deep).find("nested too deeply"), std::string::npos);

    TLayoutLimits small;
    small.MaxString = 16;
    std::string longText =
        "object R: TTestRoot\n object A: TThing\n Text = '" + std::string(17, 'x') + "'\n end\nend\n";
    EXPECT_THROW(ParseLayout(longText, small), EReadError_Layout);
    EXPECT_NO_THROW(ParseLayout(longText));
    // Joined pieces count together.
    std::string joined = "object R: TTestRoot\n object A: TThing\n Text = '" + std::string(10, 'x') +
                         "' + '" + std::string(10, 'y') + "'\n end\nend\n";
    EXPECT_THROW(ParseLayout(joined, small), EReadError_Layout);
}

TEST_F(Reader, AFailedReadLeavesNothingBehind) {
    int before = LiveThings();
    EXPECT_THROW(
        CreateFromLayout("object R: TTestRoot\n object A: TThing\n end\n object B: TThing\n Number = x\n "
                         "end\nend\n"),
        EReadError_Layout);
    EXPECT_EQ(LiveThings(), before);
}

TEST_F(Reader, AFailingLoadedLeavesNoComponentLoading) {
    TTestRoot root(nullptr);
    FailLoadedOf() = "A";
    EXPECT_THROW(
        ReadLayoutInto(root, "object R: TTestRoot\n object A: TThing\n end\n object B: TThing\n end\nend\n"),
        EConvertError);
    FailLoadedOf().clear();
    for (int i = 0; i < root.ComponentCount(); ++i)
        EXPECT_FALSE(root.Components(i)->Loading()) << root.Components(i)->Name();
    EXPECT_FALSE(root.Loading());
}

TEST_F(Reader, StoredValuesParseAlone) {
    TStoredValue v = ParseStoredValue("#72'i'#8364");
    EXPECT_EQ(v.Str, "Hi\xE2\x82\xAC");
    EXPECT_EQ(ParseStoredValue("-$10").Int, -16);
    EXPECT_THROW(ParseStoredValue("'a' 'b'"), EReadError_Layout);
    EXPECT_THROW(ParseStoredValue("#1114112"), EReadError_Layout);
}

TEST_F(Reader, CharacterCodesAboveTheBasicPlaneBecomeOneCharacter) {
    // U+1F600 and the first and last codes beyond U+FFFF: four UTF-8 bytes
    // each, never two halves of a pair nor a cut-off code.
    EXPECT_EQ(ParseStoredValue("'a'#128512'b'").Str, "a\xF0\x9F\x98\x80"
                                                     "b");
    EXPECT_EQ(ParseStoredValue("#65535#65536").Str, "\xEF\xBF\xBF\xF0\x90\x80\x80");
    EXPECT_EQ(ParseStoredValue("#1114111").Str, "\xF4\x8F\xBF\xBF");
    // A half of a pair alone is no character.
    EXPECT_THROW(ParseStoredValue("#55357#56832"), EReadError_Layout);
}

} // namespace
