#include "settings/qt/PrefsDialog.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/qt/Twips.h"
#include "settings/PrefsDialogLayout.h"

namespace np {

namespace {

using L = PrefsDialogLayout;

QLabel* makeLabel(QWidget* parent, const L::Control& layout, const TwipsScale& scale) {
  auto* label = new QLabel(QString::fromUtf8(layout.caption), parent);
  label->setObjectName(QString::fromUtf8(layout.name));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(scale.rect(layout.rect));
  return label;
}

QLineEdit* makeBox(QWidget* parent, const L::Control& layout, const TwipsScale& scale) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromUtf8(layout.name));
  box->setGeometry(scale.rect(layout.rect));
  return box;
}

QPushButton* makeButton(QWidget* parent, const L::Control& layout, const TwipsScale& scale) {
  auto* button = new QPushButton(QString::fromUtf8(layout.caption), parent);
  button->setObjectName(QString::fromUtf8(layout.name));
  // Neither button is a default button: Enter presses none of them.
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setGeometry(scale.rect(layout.rect));
  return button;
}

}  // namespace

PrefsDialog::PrefsDialog(frmPrefs& prefs, NumberLocale locale, MessageSink& messages, QWidget* parent)
    : QDialog(parent), prefs_(prefs), locale_(locale), messages_(messages) {
  setObjectName(QString::fromUtf8(L::kName));
  setWindowTitle(QString::fromUtf8(L::kTitle));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(false);

  const TwipsScale s = TwipsScale::of(parent ? *parent : *this);
  setFixedSize(s.x(L::kClientWidth), s.y(L::kClientHeight));

  label1_ = makeLabel(this, L::kLabel1, s);
  focusIntervalText_ = makeBox(this, L::kFocusIntervalText, s);
  cmdOK_ = makeButton(this, L::kCmdOK, s);
  cmdCancel_ = makeButton(this, L::kCmdCancel, s);
  label2_ = makeLabel(this, L::kLabel2, s);
  sunElevText_ = makeBox(this, L::kSunElevText, s);

  // Positions inside the frame are relative to the frame.
  frame1_ = new QGroupBox(QString::fromUtf8(L::kFrame1.caption), this);
  frame1_->setObjectName(QString::fromUtf8(L::kFrame1.name));
  frame1_->setGeometry(s.rect(L::kFrame1.rect));
  label6_ = makeLabel(frame1_, L::kLabel6, s);
  maxElevationText_ = makeBox(frame1_, L::kMaxElevationText, s);
  label7_ = makeLabel(frame1_, L::kLabel7, s);
  minAzimuthText_ = makeBox(frame1_, L::kMinAzimuthText, s);
  label8_ = makeLabel(frame1_, L::kLabel8, s);
  maxAzimuthText_ = makeBox(frame1_, L::kMaxAzimuthText, s);

  fitCaptions(*this);

  QWidget::setTabOrder(focusIntervalText_, cmdOK_);
  QWidget::setTabOrder(cmdOK_, cmdCancel_);
  QWidget::setTabOrder(cmdCancel_, sunElevText_);
  QWidget::setTabOrder(sunElevText_, maxElevationText_);
  QWidget::setTabOrder(maxElevationText_, minAzimuthText_);
  QWidget::setTabOrder(minAzimuthText_, maxAzimuthText_);

  connect(cmdOK_, &QPushButton::clicked, this, [this] { guard(&PrefsDialog::cmdOK_Click); });
  connect(cmdCancel_, &QPushButton::clicked, this, [this] { guard(&PrefsDialog::cmdCancel_Click); });

  guard(&PrefsDialog::Form_Load);
  focusIntervalText_->setFocus();
}

void PrefsDialog::guard(void (PrefsDialog::*handler)()) {
  try {
    (this->*handler)();
  } catch (...) {
    // Qt's event loop must not be unwound by an exception: close the dialog and hand
    // the failure to whoever showed it.
    if (!failure_) failure_ = std::current_exception();
    reject();
  }
}

void PrefsDialog::rethrowFailure() {
  if (failure_) {
    std::exception_ptr failure = failure_;
    failure_ = nullptr;
    std::rethrow_exception(failure);
  }
}

void PrefsDialog::Form_Load() {
  const frmPrefs::Texts texts = prefs_.textsForLoad(locale_);
  focusIntervalText_->setText(QString::fromStdString(texts.focusIntervalText));
  maxElevationText_->setText(QString::fromStdString(texts.maxElevationText));
  minAzimuthText_->setText(QString::fromStdString(texts.minAzimuthText));
  maxAzimuthText_->setText(QString::fromStdString(texts.maxAzimuthText));
  sunElevText_->setText(QString::fromStdString(texts.sunElevText));
}

void PrefsDialog::cmdOK_Click() {
  frmPrefs::Texts texts;
  texts.focusIntervalText = focusIntervalText_->text().toStdString();
  texts.maxElevationText = maxElevationText_->text().toStdString();
  texts.minAzimuthText = minAzimuthText_->text().toStdString();
  texts.maxAzimuthText = maxAzimuthText_->text().toStdString();
  texts.sunElevText = sunElevText_->text().toStdString();
  if (const std::optional<std::string> problem = prefs_.acceptTexts(texts, locale_)) {
    // Nothing was taken over; the dialog stays open with the user's text.
    messages_.showMessage(*problem);
    return;
  }
  accept();
}

void PrefsDialog::cmdCancel_Click() { reject(); }

void PrefsDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    // cmdCancel is the cancel button.
    cmdCancel_->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace np
