// Labels are painted by their parent and have no window, so a window driver
// (a test, an accessibility tool) cannot read them as it reads buttons and
// edits; nor can it read the font of another program's window. A program
// that wants to be driven answers this registered message in its main form:
// wParam is the window asked about, lParam the asking window, which gets the
// answer in a WM_COPYDATA with dwData = PaintedTextsTag, in UTF-8 lines:
//   "L\t<character set>\t<text>"  a showing label (painted control)
//   "W\t<window>\t<character set>" a showing window and the font it draws with
#pragma once
#include "toolkit/forms_Controls.h"
#include <cstdint>
#include <string>

uint32_t PaintedTextsMessage();
constexpr uintptr_t PaintedTextsTag = 0x51464454; // "QFDT"

// The lines of the answer for one of our windows and what it contains.
std::string PaintedTexts(const TWinControl& control);
// Answers the question when msg is one; true then.
bool AnswerPaintedTexts(TMessage& msg);
