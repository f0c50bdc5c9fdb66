#include "app/qt/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QPushButton>
#include <QStatusBar>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "base/qt/Twips.h"
#include "settings/qt/PrefsDialog.h"

namespace np {

namespace {

void defaultExit(int exitCode) {
  if (exitCode == 0) {
    QCoreApplication::quit();
    return;
  }
  // A run-time error ends the program where it stands, as the error left it: no
  // unload, no saving. Whatever was written so far is flushed.
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, const QRect& geometry) {
  auto* button = new QPushButton(QString::fromUtf8(caption), parent);
  button->setObjectName(QString::fromUtf8(name));
  button->setAutoDefault(false);
  button->setGeometry(geometry);
  return button;
}

// A straight horizontal line from (x1, y) to (x2, y), one pixel thick.
QFrame* makeLine(QWidget* parent, const char* name, const TwipsScale& scale, int x1, int y, int x2) {
  auto* line = new QFrame(parent);
  line->setObjectName(QString::fromUtf8(name));
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Plain);
  line->setLineWidth(1);
  line->setFocusPolicy(Qt::NoFocus);
  line->setGeometry(scale.x(x1), scale.y(y), scale.x(x2) - scale.x(x1), 1);
  return line;
}

}  // namespace

MainWindow::MainWindow(frmMain& form, QWidget* parent) : QWidget(parent), form_(form), exit_(defaultExit) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QStringLiteral("Nightpick"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  const TwipsScale s = TwipsScale::of(*this);
  setFixedSize(s.x(kClientWidth), s.y(kClientHeight));

  startButton_ = makeButton(this, "StartButton", "Start Nightpick", s.rect(360, 360, 2055, 1095));
  stopAndAbortButton_ = makeButton(this, "StopAndAbortButton", "Stop Nightpick and ACP", s.rect(2880, 360, 1935, 495));
  stopButton_ = makeButton(this, "StopButton", "Stop Nightpick", s.rect(2880, 960, 1935, 495));
  prefsButton_ = makeButton(this, "PrefsButton", "Preferences", s.rect(240, 1920, 1215, 495));
  aboutButton_ = makeButton(this, "About", "About", s.rect(4080, 1920, 975, 495));
  line1_ = makeLine(this, "Line1", s, 120, 1680, 5040);
  line2_ = makeLine(this, "Line2", s, 0, 0, 4920);

  // Docked to the bottom edge over the full width; one plain text, replaced by every
  // status message.
  statusBar_ = new QStatusBar(this);
  statusBar_->setObjectName(QStringLiteral("sbStatusBar"));
  statusBar_->setSizeGripEnabled(false);
  const int barHeight = s.y(375);
  statusBar_->setGeometry(0, height() - barHeight, width(), barHeight);

  // Keyboard order: start, stop, About, Preferences, stop-and-abort.
  QWidget::setTabOrder(startButton_, stopButton_);
  QWidget::setTabOrder(stopButton_, aboutButton_);
  QWidget::setTabOrder(aboutButton_, prefsButton_);
  QWidget::setTabOrder(prefsButton_, stopAndAbortButton_);

  connect(startButton_, &QPushButton::clicked, this, [this] { form_.startClicked(); });
  connect(stopButton_, &QPushButton::clicked, this, [this] { form_.handleEvent([this] { form_.StopButton_Click(); }); });
  connect(stopAndAbortButton_, &QPushButton::clicked, this,
          [this] { form_.handleEvent([this] { form_.StopAndAbortButton_Click(); }); });
  connect(aboutButton_, &QPushButton::clicked, this, [this] { form_.handleEvent([this] { form_.About_Click(); }); });
  connect(prefsButton_, &QPushButton::clicked, this,
          [this] { form_.handleEvent([this] { form_.PrefsButton_Click(); }); });

  fitCaptions(*this);

  form_.setView(this);
  statusTextChanged(form_.statusText());
  buttonStatesChanged();
  startButton_->setFocus();
}

MainWindow::~MainWindow() { form_.setView(nullptr); }

void MainWindow::exitProgram(int exitCode) {
  if (exit_) exit_(exitCode);
}

void MainWindow::statusTextChanged(const std::string& text) { statusBar_->showMessage(QString::fromStdString(text)); }

void MainWindow::buttonStatesChanged() {
  startButton_->setEnabled(form_.startEnabled());
  stopButton_->setEnabled(form_.stopEnabled());
  stopAndAbortButton_->setEnabled(form_.stopAndAbortEnabled());
}

void MainWindow::showPrefsDialog(frmPrefs& prefs) {
  PrefsDialog dialog(prefs, form_.platform().locale, form_.platform().messages, this);
  dialog.rethrowFailure();  // the dialog's load failed
  dialog.exec();
  dialog.rethrowFailure();
}

void MainWindow::unloadOtherWindows() {
  const QWidgetList windows = QApplication::topLevelWidgets();
  for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
    QWidget* window = *it;
    if (window != this && window->isVisible()) window->close();
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();  // the close is never cancelled; the main window decides the rest
  form_.windowClosed();
}

}  // namespace np
