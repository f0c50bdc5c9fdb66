// The windowed program's responsive wait: it lasts its time however much input arrives,
// handles every event meanwhile, returns at once for zero or less, runs faster with a
// faster simulated clock, and ends promptly when the application quits.
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include "base/Clock.h"
#include "night/qt/QtEventPump.h"

namespace {

class CountingWidget : public QWidget {
 public:
  int moves = 0;
  int posted = 0;
  // When set, every handled movement posts the next one at once: a continuous flood.
  bool flood = false;

  void postMove() {
    ++posted;
    QCoreApplication::postEvent(this, new QMouseEvent(QEvent::MouseMove, QPointF(5, 5), QPointF(105, 105),
                                                      Qt::NoButton, Qt::NoButton, Qt::NoModifier));
  }

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::MouseMove) {
      ++moves;
      if (flood) postMove();
      return true;
    }
    return QWidget::event(e);
  }
};

double secondsOf(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e9; }

}  // namespace

class TstWait : public QObject {
  Q_OBJECT

 private slots:
  void oneSecondWaitHandlesInputThatKeepsArriving() {
    np::RealTimeClock clock(0.0, 1.0);
    np::QtEventPump pump(clock);
    CountingWidget w;
    w.setMouseTracking(true);
    QTimer input;
    input.setTimerType(Qt::PreciseTimer);
    QObject::connect(&input, &QTimer::timeout, &w, [&w] { w.postMove(); });
    input.start(4);

    QElapsedTimer t;
    t.start();
    pump.WaitSeconds(1);
    const double took = secondsOf(t);
    input.stop();

    QVERIFY2(took >= 0.9 && took <= 2.5, qPrintable(QString("took %1 s").arg(took)));
    QVERIFY2(w.posted >= 50, qPrintable(QString("only %1 events arrived").arg(w.posted)));
    QCOMPARE(w.moves, w.posted);  // all handled, the last ones after the due time
  }

  void aFloodOfInputDoesNotLengthenTheWait() {
    np::RealTimeClock clock(0.0, 1.0);
    np::QtEventPump pump(clock);
    CountingWidget w;
    w.setMouseTracking(true);
    w.flood = true;
    w.postMove();

    QElapsedTimer t;
    t.start();
    pump.WaitSeconds(1);
    const double took = secondsOf(t);
    w.flood = false;
    QCoreApplication::processEvents();

    QVERIFY2(took >= 0.9 && took <= 2.5, qPrintable(QString("took %1 s").arg(took)));
    QVERIFY2(w.moves > 1000, qPrintable(QString("only %1 events handled").arg(w.moves)));
  }

  void zeroOrNegativeSecondsReturnAfterOnePassOfEvents_data() {
    QTest::addColumn<int>("seconds");
    QTest::newRow("zero") << 0;
    QTest::newRow("minus one") << -1;
    QTest::newRow("most negative") << std::numeric_limits<int>::min();
  }
  void zeroOrNegativeSecondsReturnAfterOnePassOfEvents() {
    QFETCH(int, seconds);
    np::RealTimeClock clock(0.0, 1.0);
    np::QtEventPump pump(clock);
    CountingWidget w;
    w.setMouseTracking(true);
    for (int i = 0; i < 20; ++i) w.postMove();

    QElapsedTimer t;
    t.start();
    pump.WaitSeconds(seconds);
    QVERIFY2(secondsOf(t) < 0.3, qPrintable(QString("took %1 s").arg(secondsOf(t))));
    QCOMPARE(w.moves, 20);
  }

  void aFasterClockShortensTheWait() {
    np::RealTimeClock clock(0.0, 20.0);
    np::QtEventPump pump(clock);
    QElapsedTimer t;
    t.start();
    pump.WaitSeconds(10);  // half a real second
    const double took = secondsOf(t);
    QVERIFY2(took >= 0.45 && took <= 1.5, qPrintable(QString("took %1 s").arg(took)));
  }

  void doEventsHandlesWhatIsPendingAndReturns() {
    np::RealTimeClock clock(0.0, 1.0);
    np::QtEventPump pump(clock);
    CountingWidget w;
    w.setMouseTracking(true);
    for (int i = 0; i < 5; ++i) w.postMove();
    pump.DoEvents();
    QCOMPARE(w.moves, 5);
  }

  // Last: once the application quits, its event loops end for good.
  void quittingEndsTheWaitPromptly() {
    np::RealTimeClock clock(0.0, 1.0);
    np::QtEventPump pump(clock);
    QTimer::singleShot(100, qApp, [] { QCoreApplication::exit(0); });
    QElapsedTimer t;
    t.start();
    pump.WaitSeconds(30);
    QVERIFY2(secondsOf(t) < 5.0, qPrintable(QString("took %1 s").arg(secondsOf(t))));
    t.restart();
    pump.WaitSeconds(30);  // a wait begun while quitting returns at once
    QVERIFY2(secondsOf(t) < 1.0, qPrintable(QString("took %1 s").arg(secondsOf(t))));
  }
};

QTEST_MAIN(TstWait)
#include "tst_wait.moc"
