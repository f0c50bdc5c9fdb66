#pragma once
// The preferences dialog's window on Windows: five boxes over the values that frmPrefs
// holds. Its window is created for one showing and destroyed when it closes; the values
// outlive it in frmPrefs.
#include <windows.h>

#include "base/Ui.h"
#include "base/NumberText.h"
#include "settings/FrmPrefs.h"

namespace np {

struct PrefsDialogIds {
  // Control identifiers (GetDlgItem on the dialog). cmdCancel is the dialog's cancel
  // button (Esc and the close box press it); no control has the identifier of the
  // default button, so Enter in a box presses nothing.
  static constexpr int kLabel1 = 201;
  static constexpr int kFocusIntervalText = 202;
  static constexpr int kCmdOK = 203;
  static constexpr int kCmdCancel = IDCANCEL;
  static constexpr int kLabel2 = 205;
  static constexpr int kSunElevText = 206;
  static constexpr int kFrame1 = 207;
  static constexpr int kLabel6 = 208;
  static constexpr int kMaxElevationText = 209;
  static constexpr int kLabel7 = 210;
  static constexpr int kMinAzimuthText = 211;
  static constexpr int kLabel8 = 212;
  static constexpr int kMaxAzimuthText = 213;
};

// Shows the dialog "Preferences" for `prefs` modally over `owner` (disabled meanwhile),
// centred on it, the boxes filled from the held values with `locale`'s decimal
// separator. Returns when the dialog's window has closed: true after OK, which took
// the boxes over into `prefs`, false after Cancel, Esc or the close box. A box that
// does not convert at OK is reported through `messages` and the dialog stays open. A
// failure inside one of the dialog's handlers closes it and is thrown from here.
bool runPrefsDialog(HWND owner, frmPrefs& prefs, NumberLocale locale, MessageSink& messages);

}  // namespace np
