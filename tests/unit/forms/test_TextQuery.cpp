// What a window driver is told about a window: its showing labels with the
// character sets of their fonts, and each of its windows with the character
// set it really draws with.
#include "toolkit/forms_ExtCtrls.h"
#include "toolkit/forms_Forms.h"
#include "toolkit/forms_StdCtrls.h"
#include "toolkit/forms_TextQuery.h"
#include <gtest/gtest.h>

namespace {

TLabel* LabelIn(TForm* owner, TWinControl* parent, const std::string& caption) {
    auto* l = new TLabel(owner);
    l->SetParent(parent);
    l->SetCaption(caption);
    return l;
}

bool Has(const std::string& answer, const std::string& line) {
    return answer.find(line + "\n") != std::string::npos;
}

TEST(PaintedTexts, ShowingLabelsAndTheCharacterSetsOfWindows) {
    Application()->Initialize();
    TOwnedPtr<TForm> form(new TForm(nullptr));
    form->SetBounds(0, 0, 300, 200);
    TLabel* russian = LabelIn(form.get(), form.get(), "Привет");
    russian->Font().SetCharset(204);
    LabelIn(form.get(), form.get(), "hidden")->Hide();
    auto* panel = new TPanel(form.get());
    panel->SetParent(form.get());
    panel->SetBounds(0, 50, 300, 100);
    TLabel* inner = LabelIn(form.get(), panel, "two\tparts");
    inner->Font().SetCharset(238);
    auto* button = new TButton(form.get());
    button->SetParent(panel);
    button->SetCaption("OK");
    button->Font().SetCharset(204);
    form->Show();

    std::string answer = PaintedTexts(*form);
    EXPECT_TRUE(Has(answer, "L\t204\tПривет")) << answer;
    EXPECT_TRUE(Has(answer, "L\t238\ttwo parts")) << "a tab would break the line: " << answer;
    EXPECT_EQ(answer.find("hidden"), std::string::npos) << answer;
    // The button's own window: the font it was given, read back from the window.
    EXPECT_TRUE(Has(answer, "W\t" + std::to_string(button->Handle()) + "\t204")) << answer;
    EXPECT_NE(answer.find("W\t" + std::to_string(panel->Handle()) + "\t"), std::string::npos) << answer;

    panel->Hide();
    answer = PaintedTexts(*form);
    EXPECT_EQ(answer.find("two parts"), std::string::npos) << "a hidden panel hides its labels: " << answer;
    EXPECT_EQ(answer.find("W\t" + std::to_string(button->Handle())), std::string::npos) << answer;
    form->Hide();
    EXPECT_EQ(PaintedTexts(*form), "");
}

} // namespace
