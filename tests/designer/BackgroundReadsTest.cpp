// The designer's reading behind the window: jobs off the main thread, their answers on it, in
// order, and nothing delivered once the reads are gone.
#include "designer/BackgroundReads.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using designer::BackgroundReads;

TEST(BackgroundReads, JobsRunOffTheMainThreadAndAnswerOnItInOrder) {
  const std::thread::id main = std::this_thread::get_id();
  std::vector<int> answered;
  std::vector<bool> jobOnMain;
  std::vector<BackgroundReads::Job> jobs;
  for (int i = 0; i < 5; ++i) {
    jobs.push_back([&, i]() -> std::function<void()> {
      jobOnMain.push_back(std::this_thread::get_id() == main);  // the worker alone writes it
      return [&, i] {
        EXPECT_EQ(std::this_thread::get_id(), main);
        answered.push_back(i);
      };
    });
  }
  BackgroundReads reads(std::move(jobs));
  std::vector<std::size_t> told;
  reads.waitForAll([&](std::size_t done, std::size_t total) {
    EXPECT_EQ(total, 5u);
    told.push_back(done);
  });
  EXPECT_TRUE(reads.finished());
  EXPECT_EQ(answered, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(jobOnMain, std::vector<bool>(5, false));
  EXPECT_EQ(told.front(), 0u);
  EXPECT_EQ(told.back(), 5u);
  EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));

  BackgroundReads none({});
  EXPECT_TRUE(none.finished());
  none.waitForAll();  // returns at once
}

TEST(BackgroundReads, AWaitIsToldOfItsProgressWhileOneLongReadRuns) {
  std::vector<BackgroundReads::Job> jobs = {[]() -> std::function<void()> {
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    return {};
  }};
  BackgroundReads reads(std::move(jobs));
  int toldBeforeTheAnswer = 0;
  reads.waitForAll([&](std::size_t done, std::size_t) { toldBeforeTheAnswer += done == 0 ? 1 : 0; });
  EXPECT_GE(toldBeforeTheAnswer, 3);  // a progress window can come up after half a second
}

TEST(BackgroundReads, AnswersNotYetDeliveredAreDroppedWithTheReads) {
  int answered = 0;
  {
    std::vector<BackgroundReads::Job> jobs(3, [&]() -> std::function<void()> {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return [&] { ++answered; };
    });
    BackgroundReads reads(std::move(jobs));
    std::this_thread::sleep_for(std::chrono::milliseconds(40));  // every answer is queued by now
  }
  QCoreApplication::processEvents();
  EXPECT_EQ(answered, 0);
}

}  // namespace
