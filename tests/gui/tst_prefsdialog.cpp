// The preferences dialog as the user meets it: opened from the main window, edited, and
// closed by OK, Cancel, Esc or its close box; what reaches the settings and config.ini.
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest/QtTest>
#include <functional>

#include "gui/GuiHarness.h"
#include "settings/PrefsDialogLayout.h"
#include "settings/qt/PrefsDialog.h"

using namespace np;
using namespace np::test;

namespace {

using L = PrefsDialogLayout;

int px(int twips, double dpi) { return qRound(twips * dpi / 1440.0); }

template <class W = QWidget>
W* child(QWidget& parent, const char* name) {
  W* w = parent.findChild<W*>(QString::fromUtf8(name));
  if (!w) qFatal("no control %s", name);
  return w;
}

QLineEdit* box(QWidget& dialog, const char* name) { return child<QLineEdit>(dialog, name); }

// Presses PrefsButton and runs `interact` on the modal dialog once it is open. Returns
// false if the dialog did not open, or was still open after `interact` and had to be
// closed by force.
bool withDialog(GuiWorld& program, const std::function<void(PrefsDialog&)>& interact) {
  bool opened = false, forced = false;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<PrefsDialog*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    poll.stop();
    opened = true;
    interact(*dialog);
    if (dialog->isVisible()) {
      forced = true;
      dialog->reject();
    }
  });
  poll.start();
  QTest::mouseClick(child(*program.window, "PrefsButton"), Qt::LeftButton);
  return opened && !forced;
}

// Shows the main window and waits until it is on the screen.
void show(GuiWorld& program) {
  program.window->show();
  if (!QTest::qWaitForWindowExposed(program.window.get())) qFatal("window not exposed");
}

}  // namespace

class PrefsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void layoutAndFocus();
  void boxesShowSettings();
  void decimalSeparatorOfLocale();
  void cancelKeepsSettingsAndRewritesFile();
  void okTakesOverInterval();
  void intervalRoundsHalfToEven_data();
  void intervalRoundsHalfToEven();
  void azimuthsTakenAsTyped();
  void escapeIsCancel();
  void enterDoesNotPressOk();
  void closeBoxIsCancel();
  void reopenShowsCurrentSettings();
  void invalidTextKeepsDialogOpen();
  void dialogIsDestroyedWhenClosed();
};

void PrefsDialogTest::layoutAndFocus() {
  GuiWorld program;
  // Away from the screen's edges, so that centring needs no clamping.
  program.window->move(300, 300);
  show(program);
  const QRect mainFrame = program.window->frameGeometry();
  bool checked = withDialog(program, [&](PrefsDialog& d) {
    const QScreen* screen = d.screen();
    QVERIFY(screen);
    const double dx = screen->logicalDotsPerInchX(), dy = screen->logicalDotsPerInchY();
    auto rect = [&](const TwipsRect& r) {
      return QRect(px(r.left, dx), px(r.top, dy), px(r.width, dx), px(r.height, dy));
    };

    QCOMPARE(d.windowTitle(), QStringLiteral("Preferences"));
    QCOMPARE(d.objectName(), QStringLiteral("frmPrefs"));
    QCOMPARE(d.size(), QSize(px(L::kClientWidth, dx), px(L::kClientHeight, dy)));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QVERIFY(d.isModal());

    // Every control where the layout has it, those in Frame1 relative to the frame.
    QWidget* frame = child(d, L::kFrame1.name);
    for (const L::Control* c : L::kControls) {
      QWidget* w = child(d, c->name);
      QCOMPARE_EQ(w->geometry(), rect(c->rect));
      QCOMPARE(w->parentWidget(), c->inFrame ? frame : static_cast<QWidget*>(&d));
      if (!c->caption) continue;
      QString caption;
      int room = w->width();  // what the caption may take, readable in full
      if (auto* label = qobject_cast<QLabel*>(w)) caption = label->text();
      else if (auto* button = qobject_cast<QPushButton*>(w)) caption = button->text(), room -= 4;
      else if (auto* group = qobject_cast<QGroupBox*>(w)) caption = group->title(), room -= 8;
      QCOMPARE(caption, QString::fromUtf8(c->caption));
      QVERIFY2(w->fontMetrics().horizontalAdvance(caption) <= room, c->name);
    }

    // Keyboard order and the starting focus.
    QCOMPARE(d.focusWidget(), box(d, "focusIntervalText"));
    QStringList order;
    QWidget* first = box(d, "focusIntervalText");
    QWidget* w = first;
    do {
      if (w->focusPolicy() & Qt::TabFocus) order << w->objectName();
      w = w->nextInFocusChain();
    } while (w && w != first && order.size() < 20);
    QCOMPARE(order, (QStringList{"focusIntervalText", "cmdOK", "cmdCancel", "sunElevText", "maxElevationText",
                                 "minAzimuthText", "maxAzimuthText"}));

    // Neither button is a default button.
    for (const char* name : {"cmdOK", "cmdCancel"}) {
      auto* b = child<QPushButton>(d, name);
      QVERIFY(!b->autoDefault());
      QVERIFY(!b->isDefault());
    }

    // Centred on its owner.
    const QPoint offset = d.frameGeometry().center() - mainFrame.center();
    QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1, "dialog not centred on the main window");

    child<QPushButton>(d, "cmdCancel")->click();
  });
  QVERIFY(checked);
}

void PrefsDialogTest::boxesShowSettings() {
  GuiWorld program;
  program.main->settings.maxElevation = 75.5f;
  program.main->settings.sunElev = -12.25f;
  show(program);
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    QCOMPARE(box(d, "focusIntervalText")->text(), QStringLiteral("30"));
    QCOMPARE(box(d, "maxElevationText")->text(), QStringLiteral("75.5"));
    QCOMPARE(box(d, "minAzimuthText")->text(), QStringLiteral("0"));
    QCOMPARE(box(d, "maxAzimuthText")->text(), QStringLiteral("360"));
    QCOMPARE(box(d, "sunElevText")->text(), QStringLiteral("-12.25"));
    d.reject();
  }));
}

void PrefsDialogTest::decimalSeparatorOfLocale() {
  GuiWorld program(NumberLocale{','});
  program.main->settings.maxElevation = 75.5f;
  show(program);
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    QCOMPARE(box(d, "maxElevationText")->text(), QStringLiteral("75,5"));
    box(d, "sunElevText")->setText(QStringLiteral("-12,5"));
    QTest::mouseClick(child(d, "cmdOK"), Qt::LeftButton);
  }));
  QCOMPARE(program.main->settings.maxElevation, 75.5f);
  QCOMPARE(program.main->settings.sunElev, -12.5f);
  // The file always has a point.
  QVERIFY(readFileBytes(program.configPath()).find("sunElev,-12.5\r\n") != std::string::npos);
}

void PrefsDialogTest::cancelKeepsSettingsAndRewritesFile() {
  // The same values with LF line ends: a rewrite is visible in the bytes.
  const std::string lfConfig =
      "lastFocusJD,0\nfocusInterval,30\nbaseDir,C:\\Astronomy\\Nightpick\\\nmaxElevation,90\nminAzimuth,0\n"
      "maxAzimuth,360\nsunElev,-18\n";
  GuiWorld program(NumberLocale{}, &lfConfig);
  const Settings before = program.main->settings;
  show(program);
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    for (const char* name : {"focusIntervalText", "maxElevationText", "minAzimuthText", "maxAzimuthText", "sunElevText"})
      box(d, name)->setText(QStringLiteral("7"));
    QTest::mouseClick(child(d, "cmdCancel"), Qt::LeftButton);
  }));
  QVERIFY(program.main->settings == before);
  QCOMPARE(readFileBytes(program.configPath()), kDefaultConfigText);
  QVERIFY(program.messages.messages.empty());
}

void PrefsDialogTest::okTakesOverInterval() {
  GuiWorld program;
  show(program);
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    QLineEdit* interval = box(d, "focusIntervalText");
    interval->selectAll();
    QTest::keyClicks(interval, QStringLiteral("45"));
    QTest::mouseClick(child(d, "cmdOK"), Qt::LeftButton);
    QVERIFY(!d.isVisible());
  }));
  Settings expected;
  expected.focusInterval = 45;
  QVERIFY(program.main->settings == expected);
  std::string file = kDefaultConfigText;
  file.replace(file.find("focusInterval,30"), 16, "focusInterval,45");
  QCOMPARE(readFileBytes(program.configPath()), file);
}

void PrefsDialogTest::intervalRoundsHalfToEven_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<int>("stored");
  QTest::newRow("12.5") << QStringLiteral("12.5") << 12;
  QTest::newRow("13.5") << QStringLiteral("13.5") << 14;
  QTest::newRow("-0.4") << QStringLiteral("-0.4") << 0;
  QTest::newRow("32767") << QStringLiteral("32767") << 32767;
}

void PrefsDialogTest::intervalRoundsHalfToEven() {
  QFETCH(QString, typed);
  QFETCH(int, stored);
  GuiWorld program;
  show(program);
  QVERIFY(withDialog(program, [&](PrefsDialog& d) {
    box(d, "focusIntervalText")->setText(typed);
    QTest::mouseClick(child(d, "cmdOK"), Qt::LeftButton);
  }));
  QCOMPARE(int(program.main->settings.focusInterval), stored);
  QVERIFY(readFileBytes(program.configPath()).find("focusInterval," + std::to_string(stored) + "\r\n") !=
          std::string::npos);
}

void PrefsDialogTest::azimuthsTakenAsTyped() {
  GuiWorld program;
  show(program);
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    box(d, "minAzimuthText")->setText(QStringLiteral("300"));
    box(d, "maxAzimuthText")->setText(QStringLiteral("60"));
    box(d, "maxElevationText")->setText(QStringLiteral("95"));
    QTest::mouseClick(child(d, "cmdOK"), Qt::LeftButton);
  }));
  QCOMPARE(program.main->settings.minAzimuth, 300.0f);
  QCOMPARE(program.main->settings.maxAzimuth, 60.0f);
  QCOMPARE(program.main->settings.maxElevation, 95.0f);
  const std::string file = readFileBytes(program.configPath());
  QVERIFY(file.find("minAzimuth,300\r\nmaxAzimuth,60\r\n") != std::string::npos);
  QVERIFY(program.messages.messages.empty());
}

void PrefsDialogTest::escapeIsCancel() {
  GuiWorld program;
  show(program);
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    QLineEdit* interval = box(d, "focusIntervalText");
    interval->setText(QStringLiteral("45"));
    QTest::keyClick(interval, Qt::Key_Escape);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Rejected));
  }));
  QVERIFY(program.main->settings == Settings{});
  QCOMPARE(readFileBytes(program.configPath()), kDefaultConfigText);
}

void PrefsDialogTest::enterDoesNotPressOk() {
  GuiWorld program;
  show(program);
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    QLineEdit* interval = box(d, "focusIntervalText");
    interval->setText(QStringLiteral("45"));
    QTest::keyClick(interval, Qt::Key_Return);
    QTest::keyClick(interval, Qt::Key_Enter);
    QVERIFY(d.isVisible());
    // Not even with the focus on OK itself.
    auto* ok = child<QPushButton>(d, "cmdOK");
    ok->setFocus();
    QTest::keyClick(ok, Qt::Key_Return);
    QVERIFY(d.isVisible());
    QCOMPARE(interval->text(), QStringLiteral("45"));
    QTest::mouseClick(child(d, "cmdCancel"), Qt::LeftButton);
  }));
  QCOMPARE(program.main->settings.focusInterval, std::int16_t{30});
}

void PrefsDialogTest::closeBoxIsCancel() {
  GuiWorld program;
  show(program);
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    box(d, "sunElevText")->setText(QStringLiteral("-6"));
    QVERIFY(d.close());
    QVERIFY(!d.isVisible());
  }));
  QCOMPARE(program.main->settings.sunElev, -18.0f);
  QCOMPARE(readFileBytes(program.configPath()), kDefaultConfigText);
}

void PrefsDialogTest::reopenShowsCurrentSettings() {
  GuiWorld program;
  show(program);
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    box(d, "focusIntervalText")->setText(QStringLiteral("99"));
    box(d, "maxElevationText")->setText(QStringLiteral("45"));
    QTest::mouseClick(child(d, "cmdCancel"), Qt::LeftButton);
  }));
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    QCOMPARE(box(d, "focusIntervalText")->text(), QStringLiteral("30"));
    QCOMPARE(box(d, "maxElevationText")->text(), QStringLiteral("90"));
    box(d, "focusIntervalText")->setText(QStringLiteral("20"));
    QTest::mouseClick(child(d, "cmdOK"), Qt::LeftButton);
  }));
  QVERIFY(withDialog(program, [](PrefsDialog& d) {
    QCOMPARE(box(d, "focusIntervalText")->text(), QStringLiteral("20"));
    d.reject();
  }));
}

void PrefsDialogTest::invalidTextKeepsDialogOpen() {
  GuiWorld program;
  show(program);
  QVERIFY(withDialog(program, [&](PrefsDialog& d) {
    box(d, "focusIntervalText")->setText(QStringLiteral("45"));
    box(d, "maxAzimuthText")->setText(QStringLiteral("abc"));
    QTest::mouseClick(child(d, "cmdOK"), Qt::LeftButton);
    QVERIFY(d.isVisible());
    QCOMPARE(program.messages.messages.size(), size_t{1});
    QVERIFY(!program.messages.messages[0].empty());
    QCOMPARE(box(d, "maxAzimuthText")->text(), QStringLiteral("abc"));
    QCOMPARE(box(d, "focusIntervalText")->text(), QStringLiteral("45"));
    // Nothing was taken over, not even the boxes that did convert.
    QCOMPARE(program.main->fPrefsForm->getFocusInterval(), std::int16_t{30});

    // An interval beyond 16 bits is refused the same way.
    box(d, "maxAzimuthText")->setText(QStringLiteral("360"));
    box(d, "focusIntervalText")->setText(QStringLiteral("40000"));
    QTest::mouseClick(child(d, "cmdOK"), Qt::LeftButton);
    QVERIFY(d.isVisible());
    QCOMPARE(program.messages.messages.size(), size_t{2});

    // Corrected, OK closes it.
    box(d, "focusIntervalText")->setText(QStringLiteral("45"));
    QTest::mouseClick(child(d, "cmdOK"), Qt::LeftButton);
    QVERIFY(!d.isVisible());
  }));
  QCOMPARE(program.main->settings.focusInterval, std::int16_t{45});
  QCOMPARE(program.messages.messages.size(), size_t{2});
}

void PrefsDialogTest::dialogIsDestroyedWhenClosed() {
  GuiWorld program;
  show(program);
  QPointer<PrefsDialog> seen;
  QVERIFY(withDialog(program, [&](PrefsDialog& d) {
    seen = &d;
    d.reject();
  }));
  QVERIFY(seen.isNull());
  QVERIFY(program.window->findChildren<PrefsDialog*>().isEmpty());
  QVERIFY(program.exitCodes.empty());
}

QTEST_MAIN(PrefsDialogTest)
#include "tst_prefsdialog.moc"
