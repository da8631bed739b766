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

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
