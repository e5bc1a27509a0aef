#include "designer/BackgroundReads.h"

#ifdef __linux__
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

namespace designer {

BackgroundReads::BackgroundReads(std::vector<Job> jobs, std::function<void()> finished)
    : total_(jobs.size()), finished_(std::move(finished)), receiver_(std::make_unique<QObject>()) {
  if (jobs.empty()) return;
  worker_ = std::thread([this, jobs = std::move(jobs)] {
#ifdef __linux__
    // Behind the window, not beside it: where the cores are few the window's thread goes first.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 10);
#endif
    for (const Job& job : jobs) {
      if (stop_) return;
      std::function<void()> answer = job();
      // Queued to the receiver: when it is gone, Qt drops what was still waiting for it.
      QMetaObject::invokeMethod(
          receiver_.get(),
          [this, answer = std::move(answer)] {
            if (answer) answer();
            if (++delivered_ == total_ && finished_) finished_();
          },
          Qt::QueuedConnection);
    }
  });
}

BackgroundReads::~BackgroundReads() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
  receiver_.reset();
}

void BackgroundReads::waitForAll(const std::function<void(std::size_t, std::size_t)>& progress) {
  // The tick wakes the wait while one long read runs, so that progress is told all the same.
  QTimer tick;
  tick.start(100);
  if (progress) progress(delivered_, total_);
  while (!finished()) {
    // What the user does waits too: nothing may change while the caller waits for the reads.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
    if (progress) progress(delivered_, total_);
  }
}

}  // namespace designer
