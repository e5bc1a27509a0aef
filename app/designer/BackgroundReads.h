// Reading that goes on while the window is up: each job runs on a thread of its own, in order,
// and what it answers is run on the thread that made the queue, from that thread's event loop.
// The designer reads the saved reports it does not show this way, so its window never waits
// for them.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class QObject;

namespace designer {

class BackgroundReads {
 public:
  // A job runs on the worker (it must not touch what the main thread owns); the function it
  // answers runs on the main thread, where it may.
  using Job = std::function<std::function<void()>()>;

  // `finished` runs on the main thread once the last answer has been delivered.
  explicit BackgroundReads(std::vector<Job> jobs, std::function<void()> finished = {});
  // Stops after the job that is running; answers not yet delivered are dropped.
  ~BackgroundReads();
  BackgroundReads(const BackgroundReads&) = delete;
  BackgroundReads& operator=(const BackgroundReads&) = delete;

  std::size_t total() const { return total_; }
  std::size_t delivered() const { return delivered_; }
  bool finished() const { return delivered_ == total_; }
  // Runs the event loop, without the user's input, until every answer has been delivered,
  // telling `progress` (done, total) after each and at least ten times a second.
  void waitForAll(const std::function<void(std::size_t, std::size_t)>& progress = {});

 private:
  const std::size_t total_;
  std::size_t delivered_ = 0;  // main thread only
  std::function<void()> finished_;
  std::atomic<bool> stop_{false};
  std::unique_ptr<QObject> receiver_;  // lives on the main thread; answers are queued to it
  std::thread worker_;
};

}  // namespace designer
