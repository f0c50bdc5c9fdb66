// The main window: its layout at the screen's resolution, its states, the stop buttons,
// the About box, run-time errors and closing.
#include <QFrame>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QtTest/QtTest>

#include "Version.h"
#include "app/MainWindowLayout.h"
#include "gui/GuiHarness.h"

using namespace np;
using namespace np::test;

namespace {

using L = MainWindowLayout;

int px(int twips, double dpi) { return qRound(twips * dpi / 1440.0); }

template <class W = QWidget>
W* child(QWidget& window, const char* name) {
  W* w = window.findChild<W*>(QString::fromUtf8(name));
  if (!w) qFatal("no control %s", name);
  return w;
}

QString statusOf(QWidget& window) { return child<QStatusBar>(window, "sbStatusBar")->currentMessage(); }

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void layoutMatchesDesignTable();
  void captionsAndNames();
  void tabOrderFollowsTabIndex();
  void startsStopped();
  void stopButtonOnlyAsksToStop();
  void stopAndAbortAbortsRunningScript();
  void stopAndAbortLeavesIdleHostAlone();
  void aboutShowsVersion();
  void runTimeErrorInHandlerEndsProgram();
  void closeSavesSettingsAndQuits();
  void closeUnloadsOtherWindows();
  void failedSaveAtCloseIsRunTimeError();
  void closeDuringRunExitsWhenRunEnds();
  void stopDuringRunEndsRun();
};

void MainWindowTest::layoutMatchesDesignTable() {
  GuiWorld program;
  QWidget& w = *program.window;
  const QScreen* screen = w.screen();
  QVERIFY(screen);
  const double dpiX = screen->logicalDotsPerInchX(), dpiY = screen->logicalDotsPerInchY();

  auto rect = [&](const TwipsRect& r) {
    return QRect(px(r.left, dpiX), px(r.top, dpiY), px(r.width, dpiX), px(r.height, dpiY));
  };

  // A fixed client size, as the layout has it.
  QCOMPARE(w.minimumSize(), QSize(px(L::kClientWidth, dpiX), px(L::kClientHeight, dpiY)));
  QCOMPARE(w.maximumSize(), w.minimumSize());
  QCOMPARE(w.size(), w.minimumSize());

  for (const L::Button* b : L::kButtons) QCOMPARE_EQ(child(w, b->name)->geometry(), rect(b->rect));
  QCOMPARE_EQ(child(w, L::kStatusBar.name)->geometry(), rect(L::kStatusBar.rect));

  // The lines are one pixel high, from their start point to their end point.
  for (const L::Line* l : L::kLines) {
    auto* line = child<QFrame>(w, l->name);
    QCOMPARE(line->frameShape(), QFrame::HLine);
    const int left = px(l->from.x, dpiX);
    QCOMPARE(line->geometry(), QRect(left, px(l->from.y, dpiY), px(l->to.x, dpiX) - left, 1));
  }
  auto* line1 = child<QFrame>(w, "Line1");

  // The status bar is docked: flush with the bottom edge, over the full width.
  auto* bar = child<QStatusBar>(w, "sbStatusBar");
  QCOMPARE(bar->geometry().bottom(), w.height() - 1);
  QCOMPARE(bar->width(), w.width());
  QVERIFY(!bar->isSizeGripEnabled());

  // At the common 96 dots per inch every measure is a whole number of pixels.
  if (qFuzzyCompare(dpiX, 96.0) && qFuzzyCompare(dpiY, 96.0)) {
    QCOMPARE(w.size(), QSize(347, 203));
    QCOMPARE(child(w, "StartButton")->geometry(), QRect(24, 24, 137, 73));
    QCOMPARE(child(w, "StopAndAbortButton")->geometry(), QRect(192, 24, 129, 33));
    QCOMPARE(child(w, "StopButton")->geometry(), QRect(192, 64, 129, 33));
    QCOMPARE(child(w, "PrefsButton")->geometry(), QRect(16, 128, 81, 33));
    QCOMPARE(child(w, "About")->geometry(), QRect(272, 128, 65, 33));
    QCOMPARE(line1->geometry(), QRect(8, 112, 328, 1));
    QCOMPARE(bar->geometry(), QRect(0, 178, 347, 25));
  }
}

void MainWindowTest::captionsAndNames() {
  GuiWorld program;
  QWidget& w = *program.window;
  QCOMPARE(w.windowTitle(), QStringLiteral("Nightpick"));
  QCOMPARE(w.objectName(), QStringLiteral("frmMain"));
  QVERIFY(w.isWindow());
  for (const L::Button* b : L::kButtons) {
    auto* button = child<QPushButton>(w, b->name);
    QCOMPARE(button->text(), QString::fromUtf8(b->caption));
    // Readable in full: the caption fits inside the button's frame.
    QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) <= button->width() - 4, b->name);
  }
  QCOMPARE(w.findChildren<QPushButton*>().size(), 5);
}

void MainWindowTest::tabOrderFollowsTabIndex() {
  GuiWorld program;
  QWidget* start = child(*program.window, "StartButton");
  QStringList order;
  QWidget* w = start;
  do {
    if (w->focusPolicy() & Qt::TabFocus) order << w->objectName();
    w = w->nextInFocusChain();
  } while (w && w != start && order.size() < 20);
  QCOMPARE(order, (QStringList{"StartButton", "StopButton", "About", "PrefsButton", "StopAndAbortButton"}));
  QCOMPARE(child(*program.window, "sbStatusBar")->focusPolicy(), Qt::NoFocus);
}

void MainWindowTest::startsStopped() {
  GuiWorld program;
  QWidget& w = *program.window;
  QVERIFY(child(w, "StartButton")->isEnabled());
  QVERIFY(!child(w, "StopButton")->isEnabled());
  QVERIFY(!child(w, "StopAndAbortButton")->isEnabled());
  QVERIFY(child(w, "PrefsButton")->isEnabled());
  QVERIFY(child(w, "About")->isEnabled());
  QCOMPARE(statusOf(w), QStringLiteral("Nightpick stopped"));
  QVERIFY(!program.main->running());
  // Loading read no file and wrote none.
  QVERIFY(!QFile::exists(QString::fromStdString(program.configPath())));
}

void MainWindowTest::stopButtonOnlyAsksToStop() {
  GuiWorld program;
  QWidget& w = *program.window;
  // While stopped the window never enables the button; pressing it anyway (as the
  // handler allows) must only change the status text.
  auto* stop = child<QPushButton>(w, "StopButton");
  stop->setEnabled(true);
  const int scriptActiveBefore = program.hostUtil().members.ScriptActive.calls;
  QTest::mouseClick(stop, Qt::LeftButton);
  QCOMPARE(statusOf(w), QStringLiteral("Nightpick stopping"));
  QVERIFY(program.main->stopFlag);
  QVERIFY(child(w, "StartButton")->isEnabled());
  QVERIFY(stop->isEnabled());
  QVERIFY(!child(w, "StopAndAbortButton")->isEnabled());
  QCOMPARE(program.hostUtil().members.ScriptActive.calls, scriptActiveBefore);
  QCOMPARE(program.hostUtil().members.AbortScript.calls, 0);
  QVERIFY(program.messages.messages.empty());
  QVERIFY(program.exitCodes.empty());
  QVERIFY(!QFile::exists(QString::fromStdString(program.configPath())));
}

void MainWindowTest::stopAndAbortAbortsRunningScript() {
  GuiWorld program;
  QWidget& w = *program.window;
  // Start the host's acquisition script on a one-line plan, as the loop hands it over.
  IUtil& util = *program.main->util;
  QVERIFY(program.startHostScript("Polaris\t02:31:49\t+89:15:51\r\n"));

  program.hostUtil().members.ScriptActive.calls = 0;
  auto* button = child<QPushButton>(w, "StopAndAbortButton");
  button->setEnabled(true);
  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(statusOf(w), QStringLiteral("Nightpick and ACP stopping"));
  QVERIFY(program.main->stopFlag);
  QCOMPARE(program.hostUtil().members.ScriptActive.calls, 1);
  QCOMPARE(program.hostUtil().members.AbortScript.calls, 1);
  QVERIFY(!util.ScriptActive());  // the host really stopped its script
  QVERIFY(program.messages.messages.empty());
  QVERIFY(program.exitCodes.empty());
}

void MainWindowTest::stopAndAbortLeavesIdleHostAlone() {
  GuiWorld program;
  QWidget& w = *program.window;
  auto* button = child<QPushButton>(w, "StopAndAbortButton");
  button->setEnabled(true);
  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(statusOf(w), QStringLiteral("Nightpick and ACP stopping"));
  QVERIFY(program.main->stopFlag);
  QCOMPARE(program.hostUtil().members.ScriptActive.calls, 1);
  QCOMPARE(program.hostUtil().members.AbortScript.calls, 0);
  // No button changes state.
  QVERIFY(child(w, "StartButton")->isEnabled());
  QVERIFY(!child(w, "StopButton")->isEnabled());
  QVERIFY(program.exitCodes.empty());
}

void MainWindowTest::aboutShowsVersion() {
  GuiWorld program;
  QTest::mouseClick(child(*program.window, "About"), Qt::LeftButton);
  QCOMPARE(program.messages.messages.size(), size_t{1});
  const std::string& text = program.messages.messages[0];
  QCOMPARE(text, program.main->aboutText());
  QVERIFY(text.rfind("Nightpick", 0) == 0);
  const std::string version = " - Version " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
                              "." + std::to_string(kVersionRevision);
  QVERIFY(text.size() > version.size() && text.compare(text.size() - version.size(), version.size(), version) == 0);
  QCOMPARE(version, std::string(" - Version 1.3.0"));
  QCOMPARE(statusOf(*program.window), QStringLiteral("Nightpick stopped"));
  QVERIFY(program.exitCodes.empty());
}

void MainWindowTest::runTimeErrorInHandlerEndsProgram() {
  GuiWorld program;
  program.hostUtil().members.ScriptActive.answer = []() -> bool {
    throw RunTimeError("ScriptActive: the host does not answer");
  };
  auto* button = child<QPushButton>(*program.window, "StopAndAbortButton");
  button->setEnabled(true);
  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(program.messages.messages,
           std::vector<std::string>{"Run-time error: ScriptActive: the host does not answer"});
  QCOMPARE(program.exitCodes, std::vector<int>{1});
  // The program ends as the error left it: nothing was saved.
  QVERIFY(!QFile::exists(QString::fromStdString(program.configPath())));
  QCOMPARE(runTimeErrorMessage("x"), std::string("Run-time error: x"));
}

void MainWindowTest::closeSavesSettingsAndQuits() {
  GuiWorld program;
  program.window->show();
  QVERIFY(QTest::qWaitForWindowExposed(program.window.get()));
  QVERIFY(program.window->close());
  QVERIFY(!program.window->isVisible());
  QCOMPARE(readFileBytes(program.configPath()), kDefaultConfigText);
  QVERIFY(program.main->stopFlag);
  QCOMPARE(program.exitCodes, std::vector<int>{0});
  QVERIFY(program.messages.messages.empty());
}

void MainWindowTest::closeUnloadsOtherWindows() {
  GuiWorld program;
  program.window->show();
  QWidget other;
  other.setWindowTitle(QStringLiteral("another window"));
  other.show();
  QVERIFY(QTest::qWaitForWindowExposed(&other));
  program.window->close();
  QVERIFY(!other.isVisible());
  QCOMPARE(program.exitCodes, std::vector<int>{0});
}

void MainWindowTest::failedSaveAtCloseIsRunTimeError() {
  GuiWorld program;
  // A folder where config.ini should be: the settings cannot be saved.
  QVERIFY(QDir(QString::fromStdString(program.programDir())).mkdir(QStringLiteral("config.ini")));
  program.window->show();
  program.window->close();
  QCOMPARE(program.messages.messages.size(), size_t{1});
  QVERIFY(program.messages.messages[0].rfind("Run-time error: ", 0) == 0);
  QVERIFY(program.messages.messages[0].size() > std::string("Run-time error: ").size());
  QCOMPARE(program.exitCodes, std::vector<int>{1});
}

void MainWindowTest::closeDuringRunExitsWhenRunEnds() {
  GuiWorld program;
  QWidget& w = *program.window;
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  bool sawRunningState = false;
  program.duringRun = [&] {
    sawRunningState = program.main->running() && !child(w, "StartButton")->isEnabled() &&
                      child(w, "StopButton")->isEnabled() && child(w, "StopAndAbortButton")->isEnabled();
    w.close();
    // The window is gone at once, but the program waits for the run to end.
    QVERIFY(!w.isVisible());
    QVERIFY(program.exitCodes.empty());
  };
  QTest::mouseClick(child(w, "StartButton"), Qt::LeftButton);
  QVERIFY(sawRunningState);
  QVERIFY(!program.main->running());
  QCOMPARE(program.exitCodes, std::vector<int>{0});
  QCOMPARE(program.runningAtExit, std::vector<bool>{false});
  QCOMPARE(readFileBytes(program.configPath()), kDefaultConfigText);
  QVERIFY(program.messages.messages.empty());
}

void MainWindowTest::stopDuringRunEndsRun() {
  GuiWorld program;
  QWidget& w = *program.window;
  w.show();
  QString statusAfterClick;
  bool buttonsUnchanged = false;
  program.duringRun = [&] {
    QTest::mouseClick(child(w, "StopButton"), Qt::LeftButton);
    statusAfterClick = statusOf(w);
    buttonsUnchanged = !child(w, "StartButton")->isEnabled() && child(w, "StopButton")->isEnabled() &&
                       child(w, "StopAndAbortButton")->isEnabled();
  };
  QTest::mouseClick(child(w, "StartButton"), Qt::LeftButton);
  QCOMPARE(statusAfterClick, QStringLiteral("Nightpick stopping"));
  QVERIFY(buttonsUnchanged);
  // The run noticed the request and restored the stopped state.
  QVERIFY(!program.main->running());
  QCOMPARE(statusOf(w), QStringLiteral("Nightpick stopped"));
  QVERIFY(child(w, "StartButton")->isEnabled());
  QVERIFY(!child(w, "StopButton")->isEnabled());
  QVERIFY(!child(w, "StopAndAbortButton")->isEnabled());
  QCOMPARE(program.hostUtil().members.AbortScript.calls, 0);
  QVERIFY(program.exitCodes.empty());
  QVERIFY(program.messages.messages.empty());
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
