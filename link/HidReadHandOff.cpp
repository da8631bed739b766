#include "link/HidReadHandOff.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace ostrel {

void HidReadHandOff::setRunner(Runner runner) { m_runner = std::move(runner); }

std::chrono::milliseconds HidReadHandOff::deliver(HidHandOffItem item) {
  std::unique_lock lock(m_mutex);
  m_pending = std::move(item);
  m_taken = false;
  m_done = false;
  m_pause = std::chrono::milliseconds{0};
  m_changed.notify_all();  // a stopAndDrain() already waiting serves it
  lock.unlock();
  postToMainThread();
  lock.lock();
  m_changed.wait(lock, [this] { return m_done || (m_stop && m_taken); });
  const auto pause = m_done ? m_pause : std::chrono::milliseconds{0};
  m_taken = false;
  return pause;
}

bool HidReadHandOff::waitOrStop(std::chrono::milliseconds duration) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, duration, [this] { return m_stop; });
}

bool HidReadHandOff::stopRequested() const {
  std::lock_guard lock(m_mutex);
  return m_stop;
}

void HidReadHandOff::markEnded() {
  std::lock_guard lock(m_mutex);
  m_ended = true;
  m_changed.notify_all();
}

void HidReadHandOff::postToMainThread() {
  // Without an application object nothing is queued; the item is then run by stopAndDrain().
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(
        app, [self = shared_from_this()] { self->serve(); }, Qt::QueuedConnection);
  }
}

void HidReadHandOff::serve() {
  std::unique_lock lock(m_mutex);
  if (!m_pending) {
    return;
  }
  HidHandOffItem item = std::move(*m_pending);
  m_pending.reset();
  m_taken = true;
  lock.unlock();
  // The runner may stop this very thread (nested stopAndDrain), so keep a copy while it runs.
  const Runner runner = m_runner;
  const auto pause = runner ? runner(item) : std::chrono::milliseconds{0};
  lock.lock();
  m_pause = pause;
  m_done = true;
  m_changed.notify_all();
}

void HidReadHandOff::stopAndDrain() {
  std::unique_lock lock(m_mutex);
  m_stop = true;
  m_changed.notify_all();
  while (!m_ended) {
    if (m_pending) {
      lock.unlock();
      serve();
      lock.lock();
      continue;
    }
    m_changed.wait(lock, [this] { return m_ended || m_pending.has_value(); });
  }
}

}  // namespace ostrel
