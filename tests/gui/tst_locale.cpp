// The windowed program for a user whose decimal separator is a comma: this test runs with
// LC_ALL=de_DE.UTF-8, which the Qt application applies at start-up as it does for the
// program. The observatory's files keep the point; only the run log shows the user's
// separator.
#include <QLocale>
#include <QPushButton>
#include <QtTest/QtTest>
#include <clocale>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>

#include "gui/GuiHarness.h"
#include "host/UtcTime.h"

using namespace np;
using namespace np::test;

namespace {

// The user's number locale, as the start-up routine finds it.
NumberLocale systemNumberLocale() {
  NumberLocale locale;
  const QString point = QLocale::system().decimalPoint();
  if (point.size() == 1 && point.at(0).unicode() < 0x80) locale.decimalSeparator = static_cast<char>(point.at(0).unicode());
  return locale;
}

QPushButton* button(QWidget& window, const char* name) {
  auto* b = window.findChild<QPushButton*>(QString::fromUtf8(name));
  if (!b) qFatal("no button %s", name);
  return b;
}

}  // namespace

class DecimalCommaTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void nightRunsWithTheDefaultObservatory();
};

void DecimalCommaTest::initTestCase() {
  const char* lcAll = std::getenv("LC_ALL");
  const bool comma = QLocale::system().decimalPoint() == QStringLiteral(",") &&
                     std::string(std::localeconv()->decimal_point) == ",";
  if (!comma) {
    const QByteArray why = QByteArray("the process does not run in a decimal-comma locale (LC_ALL=") +
                           (lcAll ? lcAll : "unset") +
                           "): the locale de_DE.UTF-8 must exist, run scripts/setup.sh to generate it";
    QFAIL(why.constData());
  }
}

void DecimalCommaTest::nightRunsWithTheDefaultObservatory() {
  // The default observatory.ini, written at first use, has latitude = 31.96.
  std::unique_ptr<GuiWorld> program;
  try {
    program = std::make_unique<GuiWorld>(systemNumberLocale());
  } catch (const std::exception& e) {
    QFAIL(e.what());
  }
  QCOMPARE(program->platform->locale.decimalSeparator, ',');
  QCOMPARE(program->main->telescope->SiteLatitude(), 31.96);

  // 22:00 local on 7 December: dark, T (RA 5.5 h) is 2.4 hours east of the meridian.
  double start = 0;
  QVERIFY(parseUtcInstant("2026-12-08T05:00:00Z", start));
  program->clock.set(start);
  program->writeListText("T\t5.5\t+30.5\r\n**** remaining=3\r\n");

  QWidget& w = *program->window;
  w.show();
  // Stop once the host has been seen running a plan and has finished it.
  bool activeSeen = false, gaveUp = false;
  std::function<void()> watch = [&] {
    if (program->hostUtil().ScriptActive()) {
      activeSeen = true;
    } else if (activeSeen || program->clock.unixSeconds() > start + 12 * 3600.0) {
      gaveUp = !activeSeen;
      QTest::mouseClick(button(w, "StopButton"), Qt::LeftButton);
      return;
    }
    program->duringRun = watch;
  };
  program->duringRun = watch;
  QTest::mouseClick(button(w, "StartButton"), Qt::LeftButton);

  QCOMPARE(program->messages.messages, std::vector<std::string>{});
  QVERIFY(!program->main->running());
  QVERIFY2(!gaveUp, "no plan ran within twelve hours");

  const std::string runLog = program->runLog();
  QVERIFY2(runLog.find("\r\nTarget: T RA=5,5, DEC=30,5\r\n") != std::string::npos, runLog.c_str());
  QVERIFY2(runLog.find("\r\nRunning ACP plan for selected target:T\r\n") != std::string::npos, runLog.c_str());
  QCOMPARE(program->listText(), std::string("T\t5.5\t+30.5\r\n**** remaining=2\r\n"));

  // The host ran the plan to its end and logged it with points.
  const std::string acquisition = program->acquisitionLog();
  QVERIFY2(acquisition.find("\tEXPOSURE\tT\t120\t") != std::string::npos, acquisition.c_str());
  QVERIFY2(acquisition.find("\tEND\tdone\r\n") != std::string::npos, acquisition.c_str());
  QVERIFY2(acquisition.find(',') == std::string::npos, acquisition.c_str());
}

QTEST_MAIN(DecimalCommaTest)
#include "tst_locale.moc"
