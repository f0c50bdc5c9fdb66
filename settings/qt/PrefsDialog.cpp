#include "settings/qt/PrefsDialog.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/qt/Twips.h"

namespace np {

namespace {

QLabel* makeLabel(QWidget* parent, const char* name, const char* caption, const QRect& geometry) {
  auto* label = new QLabel(QString::fromUtf8(caption), parent);
  label->setObjectName(QString::fromUtf8(name));
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(geometry);
  return label;
}

QLineEdit* makeBox(QWidget* parent, const char* name, const QRect& geometry) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setGeometry(geometry);
  return box;
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, const QRect& geometry) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(QString::fromUtf8(name));
  // Neither button is a default button: Enter presses none of them.
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setGeometry(geometry);
  return button;
}

}  // namespace

PrefsDialog::PrefsDialog(frmPrefs& prefs, NumberLocale locale, MessageSink& messages, QWidget* parent)
    : QDialog(parent), prefs_(prefs), locale_(locale), messages_(messages) {
  setObjectName(QStringLiteral("frmPrefs"));
  setWindowTitle(QStringLiteral("Preferences"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(false);

  const TwipsScale s = TwipsScale::of(parent ? *parent : *this);
  setFixedSize(s.x(kClientWidth), s.y(kClientHeight));

  label1_ = makeLabel(this, "Label1", "Autofocus interval in minutes:", s.rect(600, 360, 2175, 255));
  focusIntervalText_ = makeBox(this, "focusIntervalText", s.rect(3000, 360, 975, 285));
  cmdOK_ = makeButton(this, "cmdOK", "OK", s.rect(720, 3600, 1215, 495));
  cmdCancel_ = makeButton(this, "cmdCancel", "Cancel", s.rect(2520, 3600, 1095, 495));
  label2_ = makeLabel(this, "Label2", "Max Sun elevation:", s.rect(600, 840, 1455, 255));
  sunElevText_ = makeBox(this, "sunElevText", s.rect(3000, 840, 975, 285));

  // Positions inside the frame are relative to the frame.
  frame1_ = new QGroupBox(QStringLiteral("Observation Window"), this);
  frame1_->setObjectName(QStringLiteral("Frame1"));
  frame1_->setGeometry(s.rect(240, 1440, 3975, 1935));
  label6_ = makeLabel(frame1_, "Label6", "maximum Elevation [Degrees]", s.rect(120, 360, 2175, 255));
  maxElevationText_ = makeBox(frame1_, "maxElevationText", s.rect(2400, 360, 975, 285));
  label7_ = makeLabel(frame1_, "Label7", "minimum Azimuth [Degrees]", s.rect(240, 840, 1935, 255));
  minAzimuthText_ = makeBox(frame1_, "minAzimuthText", s.rect(2400, 840, 975, 285));
  label8_ = makeLabel(frame1_, "Label8", "maximum Azimuth [Degrees]", s.rect(240, 1320, 2055, 255));
  maxAzimuthText_ = makeBox(frame1_, "maxAzimuthText", s.rect(2400, 1320, 975, 285));

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
