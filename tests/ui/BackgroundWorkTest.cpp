// The worker of long file work: the job runs on a thread of its own name, its outcome reaches
// the main thread through the hand-off, Cancel reaches the job, a second job waits its turn.
#include <gtest/gtest.h>
#include <pthread.h>

#include <QApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "ui/work/BackgroundWork.h"

namespace {

using ostrel::BackgroundWork;
using ostrel::WorkProgress;

TEST(BackgroundWork, RunsTheJobOnANamedThreadAndHandsTheOutcomeBack) {
  BackgroundWork work(nullptr);
  std::vector<bool> busy;
  work.setBusyHook([&](bool now) { busy.push_back(now); });
  const std::thread::id mainThread = std::this_thread::get_id();
  std::string threadName;
  std::thread::id jobThread;
  int prepared = 0;
  bool finishedOnMain = false;
  BackgroundWork::Job job;
  job.threadName = "ostrel-test-job";
  job.prepare = [&] { return ++prepared == 3; };  // three slices on the main thread
  job.run = [&](WorkProgress& progress) {
    std::array<char, 16> name{};
    pthread_getname_np(pthread_self(), name.data(), name.size());
    threadName = name.data();
    jobThread = std::this_thread::get_id();
    EXPECT_TRUE(progress.report(5, 10));
  };
  job.finished = [&](bool cancelled) {
    EXPECT_FALSE(cancelled);
    finishedOnMain = std::this_thread::get_id() == mainThread;
  };
  ASSERT_TRUE(work.runAndWait(std::move(job)));
  EXPECT_EQ(prepared, 3);
  EXPECT_EQ(threadName, "ostrel-test-job");
  EXPECT_NE(jobThread, mainThread);
  EXPECT_TRUE(finishedOnMain);
  EXPECT_EQ(busy, (std::vector<bool>{true, false}));
  EXPECT_FALSE(work.busy());
}

TEST(BackgroundWork, CancelReachesTheJobAndASecondJobWaitsItsTurn) {
  BackgroundWork work(nullptr);
  std::atomic<bool> sawCancel{false};
  bool finished = false;
  bool wasCancelled = false;
  BackgroundWork::Job job;
  job.threadName = "ostrel-cancel";
  job.run = [&](WorkProgress& progress) {
    while (progress.report(1, 2)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sawCancel = true;
  };
  job.finished = [&](bool cancelled) {
    finished = true;
    wasCancelled = cancelled;
  };
  ASSERT_TRUE(work.start(std::move(job)));
  BackgroundWork::Job second;
  second.run = [](WorkProgress&) {};
  EXPECT_FALSE(work.start(std::move(second))) << "one job at a time";
  ASSERT_NE(work.dialog(), nullptr);
  QTimer::singleShot(20, [&] { work.dialog()->findChild<QPushButton*>()->click(); });  // Cancel
  while (!finished) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_TRUE(sawCancel);
  EXPECT_TRUE(wasCancelled);

  // Cancelled while the snapshot is being taken: the job never runs, finished says so.
  bool ran = false;
  BackgroundWork::Job early;
  early.prepare = [&] {
    work.cancel();
    return false;
  };
  early.run = [&](WorkProgress&) { ran = true; };
  early.finished = [&](bool cancelled) { wasCancelled = cancelled; };
  wasCancelled = false;
  ASSERT_TRUE(work.runAndWait(std::move(early)));
  EXPECT_FALSE(ran);
  EXPECT_TRUE(wasCancelled);
}

// The share the job tells reaches the main thread in thousandths and ends at the whole: all
// of the units done is 1000 and the dialog shows 100 %; more than the total stays at the
// whole; without a total the job cannot tell (-1, the dialog's busy indicator).
TEST(BackgroundWork, TheShareDoneEndsAtTheWhole) {
  struct Case {
    std::uint64_t done;
    std::uint64_t total;
    int permille;
  };
  for (const Case& c :
       {Case{0, 10, 0}, Case{5, 10, 500}, Case{9'999, 10'000, 999}, Case{10, 10, 1000},
        Case{12, 10, 1000}, Case{std::uint64_t{1} << 40, std::uint64_t{1} << 40, 1000},
        Case{3, 0, -1}}) {
    WorkProgress progress;
    EXPECT_TRUE(progress.report(c.done, c.total));
    EXPECT_EQ(progress.permille(), c.permille) << c.done << " of " << c.total;
  }

  BackgroundWork work(nullptr);
  std::atomic<bool> seen{false};
  bool finished = false;
  BackgroundWork::Job job;
  job.threadName = "ostrel-whole";
  job.run = [&seen](WorkProgress& progress) {
    progress.report(1, 3);
    progress.report(3, 3);
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!seen && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  job.finished = [&finished](bool) { finished = true; };
  ASSERT_TRUE(work.start(std::move(job)));
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (work.dialog()->value() != 100 && std::chrono::steady_clock::now() < giveUp) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
  }
  EXPECT_EQ(work.permille(), 1000);
  EXPECT_EQ(work.dialog()->value(), 100);
  seen = true;
  while (!finished) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  EXPECT_EQ(work.permille(), -1) << "no job runs";
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
