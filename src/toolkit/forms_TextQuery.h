// Labels are painted by their parent and have no window, so a window driver
// (a test, an accessibility tool) cannot read them as it reads buttons and
// edits. A program that wants to be driven answers this registered message
// in its main form: wParam is the window whose painted texts are wanted,
// lParam the asking window, which gets them in a WM_COPYDATA with
// dwData = PaintedTextsTag: one line per showing painted control,
// "<character set>\t<text>", in UTF-8.
#pragma once
#include "toolkit/forms_Controls.h"
#include <cstdint>
#include <string>

uint32_t PaintedTextsMessage();
constexpr uintptr_t PaintedTextsTag = 0x51464454; // "QFDT"

// The lines of the reply for one of our windows and what it contains.
std::string PaintedTexts(const TWinControl& control);
// Answers the question when msg is one; true then.
bool AnswerPaintedTexts(TMessage& msg);
