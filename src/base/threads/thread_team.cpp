#include "base/threads/thread_team.hpp"

#include <new>
#include <system_error>

namespace trelm {

ThreadTeam::ThreadTeam(size_t threads) {
  if (threads > 1) helpers_.reserve(threads - 1);
  for (size_t k = 1; k < threads; ++k) {
    try {
      helpers_.emplace_back([this, k] { helper_loop(k); });
    } catch (const std::system_error&) {
      break;  // run with the helpers that did start
    }
  }
}

ThreadTeam::~ThreadTeam() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  start_.notify_all();
  for (auto& helper : helpers_) helper.join();
}

void ThreadTeam::helper_loop(size_t k) {
  size_t seen = 0;
  for (;;) {
    PartFn fn;
    void* context;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      start_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
      fn = fn_;
      context = context_;
    }
    bool failed = false;
    try {
      fn(context, k);
    } catch (...) {
      failed = true;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    failed_ |= failed;
    if (--running_ == 0) done_.notify_one();
  }
}

void ThreadTeam::run_parts(PartFn fn, void* context) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    fn_ = fn;
    context_ = context;
    running_ = helpers_.size();
    failed_ = false;
    ++generation_;
  }
  start_.notify_all();
  bool failed = false;
  try {
    fn(context, 0);
  } catch (...) {
    failed = true;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return running_ == 0; });
  if (failed || failed_) throw std::bad_alloc();
}

}  // namespace trelm
