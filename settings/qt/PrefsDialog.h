#pragma once
// The preferences dialog's window: five boxes over the values that frmPrefs holds. It is
// created for one showing and destroyed when it closes; the values outlive it in frmPrefs.
#include <QDialog>
#include <exception>

#include "base/Ui.h"
#include "base/NumberText.h"
#include "settings/FrmPrefs.h"

class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace np {

class PrefsDialog : public QDialog {
  Q_OBJECT

 public:
  // Fills the boxes from `prefs` (the dialog's load). Numbers are shown and read with
  // `locale`'s decimal separator; a box that does not convert at OK is reported
  // through `messages`.
  PrefsDialog(frmPrefs& prefs, NumberLocale locale, MessageSink& messages, QWidget* parent = nullptr);

  // A failure inside one of the dialog's handlers closes the dialog; the code that
  // showed it rethrows it here, once exec() has returned.
  void rethrowFailure();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Form_Load();
  void cmdOK_Click();
  void cmdCancel_Click();
  void guard(void (PrefsDialog::*handler)());

  frmPrefs& prefs_;
  NumberLocale locale_;
  MessageSink& messages_;
  std::exception_ptr failure_;

  QLabel* label1_ = nullptr;
  QLineEdit* focusIntervalText_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
  QLabel* label2_ = nullptr;
  QLineEdit* sunElevText_ = nullptr;
  QGroupBox* frame1_ = nullptr;
  QLabel* label6_ = nullptr;
  QLineEdit* maxElevationText_ = nullptr;
  QLabel* label7_ = nullptr;
  QLineEdit* minAzimuthText_ = nullptr;
  QLabel* label8_ = nullptr;
  QLineEdit* maxAzimuthText_ = nullptr;
};

}  // namespace np
