#pragma once

#include <QEvent>
#include <QObject>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class QProgressDialog;
class QTimer;
class QWidget;

namespace ostrel {

// What a job running on a worker thread shares with the main thread: how far it got and
// whether Cancel was pressed. Both are atomics; nothing else of the job is shared while it
// runs.
class WorkProgress {
 public:
  // Records that `done` of `total` units are done (bytes, records or pages); false once
  // Cancel was asked, which the job takes as its cue to stop.
  bool report(std::uint64_t done, std::uint64_t total);
  [[nodiscard]] bool cancelled() const { return m_cancelled.load(std::memory_order_relaxed); }
  void cancel() { m_cancelled.store(true, std::memory_order_relaxed); }
  // The share done in thousandths, 0..1000; -1 while the job cannot tell (a busy indicator).
  [[nodiscard]] int permille() const { return m_permille.load(std::memory_order_relaxed); }

 private:
  std::atomic<int> m_permille{-1};
  std::atomic<bool> m_cancelled{false};
};

// Runs one long operation at a time (a save, a load, a report export) on a named worker
// thread, so that the main thread keeps turning its event loop: the link keeps reading, the
// mirror and the table keep following the meter. The job gets only what it was handed (a
// snapshot of the table, a new table to load into, file names) and a WorkProgress; its
// outcome goes back to the main thread in a queued call, after the thread was joined, and is
// handed to the job's `finished` function there.
//
// A progress dialog (percentage, the operation and the file, Cancel) appears when the job
// lasts longer than a moment, unless the job asks for none. The owner disables its conflicting
// controls through the busy hook. Main thread only, except the job's run function.
class BackgroundWork : public QObject {
 public:
  struct Job {
    // The worker thread's name (at most 15 bytes: "ostrel-save", "ostrel-load", ...).
    std::string threadName;
    // The dialog's caption and its label (the operation and the file).
    QString title;
    QString label;
    // The window the progress dialog belongs to, when not the one given at construction (a
    // modal window the work was started from).
    QWidget* dialogParent = nullptr;
    // Whether Cancel is offered (a job that cannot stop midway offers none).
    bool cancellable = true;
    // Whether the progress dialog appears at all: a job the user did not start (an analysis
    // that follows the table) runs without one.
    bool showsProgress = true;
    // Runs on the main thread before the worker starts, one short step per event-loop turn,
    // until it returns true: taking the snapshot of a large table in slices, so that no
    // turn of the loop waits long. Cancel pressed meanwhile ends the job before run.
    std::function<bool()> prepare;
    // Runs on the worker thread.
    std::function<void(WorkProgress&)> run;
    // Runs on the main thread once run returned; told whether Cancel was pressed.
    std::function<void(bool cancelled)> finished;
  };

  // dialogParent: the window the progress dialog belongs to.
  explicit BackgroundWork(QWidget* dialogParent);
  // Asks a running job to stop and waits for its thread; its finished function is not run.
  ~BackgroundWork() override;
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;

  // Starts the job; false (nothing started) while another one runs.
  bool start(Job job);
  // start(), then turns the event loop until the job's finished function has run (the
  // window's synchronous paths: a save asked for before Exit). False when it could not start.
  bool runAndWait(Job job);
  [[nodiscard]] bool busy() const { return m_running; }
  // Cancel, as the dialog's button does.
  void cancel();
  // Run with true when a job starts and false when it has ended.
  void setBusyHook(std::function<void(bool busy)> hook) { m_busyHook = std::move(hook); }
  // The progress dialog of the running job (nullptr when none runs); it shows itself after
  // showDelayMs.
  [[nodiscard]] QProgressDialog* dialog() const { return m_dialog; }
  // The running job's share done in thousandths as the worker last told it; -1 when none runs
  // or it cannot tell.
  [[nodiscard]] int permille() const { return m_progress ? m_progress->permille() : -1; }

  static constexpr int showDelayMs = 400;
  static constexpr int pollMs = 100;

 protected:
  void customEvent(QEvent* event) override;

 private:
  static QEvent::Type jobEndedEvent();
  void prepareStep();
  void startThread();
  void jobDone();
  void makeDialog();
  void showProgress();

  QWidget* m_dialogParent;
  bool m_running = false;
  Job m_job;
  std::thread m_thread;
  std::unique_ptr<WorkProgress> m_progress;
  QProgressDialog* m_dialog = nullptr;
  QTimer* m_poll = nullptr;
  std::function<void(bool)> m_busyHook;
};

}  // namespace ostrel
