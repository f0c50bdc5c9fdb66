#include "night/qt/QtEventPump.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cmath>
#include <thread>

namespace np {

void QtEventPump::DoEvents() {
  if (!QCoreApplication::instance()) return;
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::WaitSeconds(int seconds) {
  if (seconds <= 0) {
    DoEvents();
    return;
  }
  const double speed = clock_.speed() > 0.0 ? clock_.speed() : 1.0;
  const auto realWait = std::chrono::nanoseconds(static_cast<long long>(std::llround(seconds / speed * 1e9)));

  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    // No event loop to run: a plain sleep of the same length.
    std::this_thread::sleep_for(realWait);
    return;
  }
  if (QCoreApplication::closingDown()) return;

  const QDeadlineTimer deadline(realWait, Qt::PreciseTimer);
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  bool quitting = false;
  QObject::connect(app, &QCoreApplication::aboutToQuit, &loop, [&] {
    quitting = true;
    loop.quit();
  });

  while (!deadline.hasExpired()) {
    // Whole milliseconds, rounded up, so the timer never fires before the deadline.
    const auto left = deadline.remainingTimeAsDuration();
    timer.start(std::chrono::ceil<std::chrono::milliseconds>(left));
    loop.exec(QEventLoop::AllEvents);
    // The loop ends at the timer or because the application is quitting (exit() ends
    // every running event loop and makes new ones return at once).
    if (quitting || QCoreApplication::closingDown() || (timer.isActive() && !deadline.hasExpired())) return;
  }
  DoEvents();
}

}  // namespace np
