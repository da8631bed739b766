#include "BackgroundWork.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <utility>

namespace ostrel {

namespace {

constexpr int workerNice = 10;

}  // namespace

bool WorkProgress::report(std::uint64_t done, std::uint64_t total) {
  if (total > 0) {
    const std::uint64_t share = std::min<std::uint64_t>(done, total) * 1000 / total;
    m_permille.store(static_cast<int>(share), std::memory_order_relaxed);
  }
  return !cancelled();
}

BackgroundWork::BackgroundWork(QWidget* dialogParent) : m_dialogParent(dialogParent) {}

BackgroundWork::~BackgroundWork() {
  if (m_progress) m_progress->cancel();
  if (m_thread.joinable()) m_thread.join();
  delete m_dialog;
}

bool BackgroundWork::start(Job job) {
  if (m_running) return false;
  m_running = true;
  m_job = std::move(job);
  m_progress = std::make_unique<WorkProgress>();
  if (m_job.showsProgress) makeDialog();
  if (m_busyHook) m_busyHook(true);

  if (m_job.prepare) {
    QTimer::singleShot(0, this, [this] { prepareStep(); });
  } else {
    startThread();
  }
  return true;
}

void BackgroundWork::makeDialog() {
  m_dialog = new QProgressDialog(m_job.dialogParent ? m_job.dialogParent : m_dialogParent);
  m_dialog->setWindowTitle(m_job.title);
  m_dialog->setLabelText(m_job.label);
  m_dialog->setRange(0, 100);
  m_dialog->setAutoClose(false);
  m_dialog->setAutoReset(false);
  // Shown by our own timer below, never by the dialog's guess of the remaining time.
  m_dialog->setMinimumDuration(24 * 60 * 60 * 1000);
  if (!m_job.cancellable) m_dialog->setCancelButton(nullptr);
  connect(m_dialog, &QProgressDialog::canceled, this, [this] { cancel(); });
  m_poll = new QTimer(m_dialog);
  connect(m_poll, &QTimer::timeout, this, [this] { showProgress(); });
  QTimer::singleShot(showDelayMs, m_dialog, [dialog = m_dialog] {
    dialog->show();
    dialog->raise();
  });
  m_poll->start(pollMs);
}

void BackgroundWork::prepareStep() {
  if (!m_running || m_thread.joinable()) return;
  if (m_progress->cancelled()) {
    jobDone();
    return;
  }
  if (!m_job.prepare()) {
    QTimer::singleShot(0, this, [this] { prepareStep(); });
    return;
  }
  startThread();
}

void BackgroundWork::startThread() {
  WorkProgress* progress = m_progress.get();
  std::function<void(WorkProgress&)> run = std::move(m_job.run);
  std::string name = m_job.threadName.substr(0, 15);
  m_thread = std::thread([this, progress, run = std::move(run), name = std::move(name)] {
    pthread_setname_np(pthread_self(), name.c_str());
    // Below the main and read threads: where the cores are busy, the link and the window
    // come first and the file waits (Linux sets a nice value per thread).
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), workerNice);
    run(*progress);
    // The hand-off: the main thread joins this thread, then reads what run left behind. The
    // event carries nothing the main thread reads before that join, so the join alone orders
    // what the two threads share (also where a checker cannot see inside Qt's event queue).
    QCoreApplication::postEvent(this, new QEvent(jobEndedEvent()));
  });
}

QEvent::Type BackgroundWork::jobEndedEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void BackgroundWork::customEvent(QEvent* /*event*/) {
  // The only event of our own type: a worker's job has returned.
  if (m_running && m_thread.joinable()) jobDone();
}

bool BackgroundWork::runAndWait(Job job) {
  QEventLoop loop;
  bool done = false;
  auto finished = std::move(job.finished);
  job.finished = [&](bool cancelled) {
    if (finished) finished(cancelled);
    done = true;
    loop.quit();
  };
  if (!start(std::move(job))) return false;
  if (!done) loop.exec();
  return true;
}

void BackgroundWork::cancel() {
  if (!m_progress) return;
  m_progress->cancel();
  if (m_dialog) m_dialog->setLabelText(m_job.label + QStringLiteral("\nCancelling..."));
}

void BackgroundWork::showProgress() {
  if (!m_dialog || !m_progress) return;
  const int permille = m_progress->permille();
  if (permille < 0) {
    if (m_dialog->maximum() != 0) m_dialog->setRange(0, 0);  // busy indicator
    return;
  }
  if (m_dialog->maximum() == 0) m_dialog->setRange(0, 100);
  m_dialog->setValue(permille / 10);
}

void BackgroundWork::jobDone() {
  if (m_thread.joinable()) m_thread.join();
  const bool cancelled = m_progress->cancelled();
  m_progress.reset();
  m_poll = nullptr;
  delete m_dialog;
  m_dialog = nullptr;
  Job job = std::move(m_job);
  m_job = {};
  m_running = false;
  if (m_busyHook) m_busyHook(false);
  if (job.finished) job.finished(cancelled);
}

}  // namespace ostrel
