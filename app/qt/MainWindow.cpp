#include "app/qt/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QPushButton>
#include <QStatusBar>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "app/MainWindowLayout.h"
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

QPushButton* makeButton(QWidget* parent, const MainWindowLayout::Button& layout, const TwipsScale& scale) {
  auto* button = new QPushButton(QString::fromUtf8(layout.caption), parent);
  button->setObjectName(QString::fromUtf8(layout.name));
  button->setAutoDefault(false);
  button->setGeometry(scale.rect(layout.rect));
  return button;
}

// A straight horizontal line from its start point to its end point, one pixel thick.
QFrame* makeLine(QWidget* parent, const MainWindowLayout::Line& layout, const TwipsScale& scale) {
  auto* line = new QFrame(parent);
  line->setObjectName(QString::fromUtf8(layout.name));
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Plain);
  line->setLineWidth(1);
  line->setFocusPolicy(Qt::NoFocus);
  line->setGeometry(scale.x(layout.from.x), scale.y(layout.from.y), scale.x(layout.to.x) - scale.x(layout.from.x), 1);
  return line;
}

}  // namespace

MainWindow::MainWindow(frmMain& form, QWidget* parent) : QWidget(parent), form_(form), exit_(defaultExit) {
  using L = MainWindowLayout;
  setObjectName(QString::fromUtf8(L::kName));
  setWindowTitle(QString::fromUtf8(L::kTitle));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);

  const TwipsScale s = TwipsScale::of(*this);
  setFixedSize(s.x(L::kClientWidth), s.y(L::kClientHeight));

  startButton_ = makeButton(this, L::kStartButton, s);
  stopAndAbortButton_ = makeButton(this, L::kStopAndAbortButton, s);
  stopButton_ = makeButton(this, L::kStopButton, s);
  prefsButton_ = makeButton(this, L::kPrefsButton, s);
  aboutButton_ = makeButton(this, L::kAbout, s);
  line1_ = makeLine(this, L::kLine1, s);
  line2_ = makeLine(this, L::kLine2, s);

  // Docked to the bottom edge over the full width; one plain text, replaced by every
  // status message.
  statusBar_ = new QStatusBar(this);
  statusBar_->setObjectName(QString::fromUtf8(L::kStatusBar.name));
  statusBar_->setSizeGripEnabled(false);
  const int barHeight = s.y(L::kStatusBar.rect.height);
  statusBar_->setGeometry(0, height() - barHeight, width(), barHeight);

  // Keyboard order (the tab indices): start, stop, About, Preferences, stop-and-abort.
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
