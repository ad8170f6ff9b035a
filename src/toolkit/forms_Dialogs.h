// The run-time library's small dialogs: the input box and the message and
// confirmation boxes.
#pragma once
#include "toolkit/forms_Forms.h"

// Asks for one line of text in a modal window with the caption, the prompt,
// an edit box holding value, OK (Return) and Cancel (Escape). True and the
// typed text in value after OK; false and value unchanged otherwise.
bool InputQuery(const std::string& caption, const std::string& prompt, std::string& value);
// The same, returning the typed text, or def when the box was cancelled.
std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& def);

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore };
using TMsgDlgButtons = uint32_t; // bit (1 << TMsgDlgBtn)
constexpr TMsgDlgButtons mbOKCancel = (1u << mbOK) | (1u << mbCancel);
constexpr TMsgDlgButtons mbYesNo = (1u << mbYes) | (1u << mbNo);
constexpr TMsgDlgButtons mbYesNoCancel = mbYesNo | (1u << mbCancel);
constexpr TMsgDlgButtons mbAbortRetryIgnore = (1u << mbAbort) | (1u << mbRetry) | (1u << mbIgnore);

// The system's message box with the icon and title of its type ("Confirm"
// for a confirmation) and the buttons asked for; returns the modal result of
// the button pressed. Raises EInvalidOperation for a set of buttons the
// system has no box for.
TModalResult MessageDlg(const std::string& msg, TMsgDlgType type, TMsgDlgButtons buttons);
