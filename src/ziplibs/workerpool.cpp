#include "ziplibs/workerpool.h"

#include <sched.h>

#include <exception>
#include <new>

namespace ziplibs {

WorkerPool::WorkerPool(unsigned threads) {
  if (threads == 0) threads = 1;
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this, i] { loop(i); });
}

WorkerPool::~WorkerPool() {
  cancel();
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (auto& t : threads_) t.join();
}

void WorkerPool::submit(std::shared_ptr<Job> job) {
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) {
      job->error = "cancelled";
      job->done = true;
      return;
    }
    queue_.push_back(std::move(job));
  }
  work_.notify_one();
}

void WorkerPool::finish(Job& job) {
  {
    std::lock_guard lock(mutex_);
    job.done.store(true);
  }
  doneCv_.notify_all();
}

void WorkerPool::notify() {
  { std::lock_guard lock(mutex_); }
  doneCv_.notify_all();
}

bool WorkerPool::wait(const Job& job, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return doneCv_.wait_for(lock, timeout, [&] { return job.done.load(); });
}

void WorkerPool::cancel() {
  std::deque<std::shared_ptr<Job>> dropped;
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    dropped.swap(queue_);
  }
  for (auto& job : dropped) {
    job->error = "cancelled";
    finish(*job);
  }
}

void WorkerPool::loop(unsigned index) {
  for (;;) {
    std::shared_ptr<Job> job;
    {
      std::unique_lock lock(mutex_);
      work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    try {
      job->run(index);
    } catch (const std::bad_alloc&) { job->error = "out of memory"; } catch (const std::exception& e) {
      job->error = e.what();
    } catch (...) { job->error = "internal error"; }
    finish(*job);
  }
}

unsigned WorkerPool::defaultThreads() {
  cpu_set_t set;
  CPU_ZERO(&set);
  unsigned n = 0;
  if (::sched_getaffinity(0, sizeof set, &set) == 0) n = static_cast<unsigned>(CPU_COUNT(&set));
  if (n == 0) n = std::thread::hardware_concurrency();
  return n < 1 ? 1 : (n > 8 ? 8 : n);
}

}  // namespace ziplibs
