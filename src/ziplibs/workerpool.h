// A small pool of worker threads for the compression and decompression jobs. Jobs
// start in the order they are submitted; the calling thread waits for the one it
// needs next, so output order never depends on timing. The pool owns no memory
// budget: the callers bound what they submit.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ziplibs {

// One unit of work. run() does the work on a worker thread; it reports a failure
// by setting error (the pool sets it too when run() throws). done turns true after
// run() has returned; the job's results may be read from then on.
class Job {
 public:
  virtual ~Job() = default;
  virtual void run(unsigned worker) = 0;

  std::atomic<bool> done{false};
  std::atomic<std::uint64_t> progressed{0};  // bytes handled so far, for progress reports
  std::string error;
};

class WorkerPool {
 public:
  // threads workers (at least 1).
  explicit WorkerPool(unsigned threads);
  // Stops taking jobs: queued jobs are dropped (marked done with an error), running
  // ones are waited for.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  unsigned threads() const { return static_cast<unsigned>(threads_.size()); }
  void submit(std::shared_ptr<Job> job);
  // Waits until job is done or timeout has passed; true when done. Jobs call
  // notify() to wake the waiter early (for progress).
  bool wait(const Job& job, std::chrono::milliseconds timeout);
  void notify();

  // Asks running jobs to stop early (they poll cancelled()) and drops queued ones.
  void cancel();
  bool cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

  // Workers for this machine: the processors this process may use, 1..8.
  static unsigned defaultThreads();

 private:
  void loop(unsigned index);
  void finish(Job& job);

  std::mutex mutex_;
  std::condition_variable work_, doneCv_;
  std::deque<std::shared_ptr<Job>> queue_;
  std::vector<std::thread> threads_;
  bool stopping_ = false;
  std::atomic<bool> cancelled_{false};
};

}  // namespace ziplibs
