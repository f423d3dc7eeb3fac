#include "app/pumped_wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <thread>

namespace qnl {

bool pumped_wait(int64_t amount, WaitUnit unit) {
  static constexpr int64_t kPerUnit[] = {1, 1000, 60000, 3600000};
  const int64_t ms = std::max<int64_t>(0, amount) * kPerUnit[static_cast<int>(unit)];
  const QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() != app->thread()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return true;
  }
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(static_cast<int>(std::min<int64_t>(ms, INT32_MAX)));
  loop.exec();
  return true;
}

}  // namespace qnl
