#include "base/threads/pool.hpp"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <utility>

#include "base/threads/pool_size.hpp"

namespace trelm {

namespace {

// Workers run iterative code only, so a modest stack suffices.
constexpr size_t kWorkerStack = 512 * 1024;

// True on the workers for good and on a caller while it shares out a job: a
// job started there runs inline, since the pool is busy with the job that
// thread is part of.
thread_local bool t_in_job = false;

struct InJob {
  InJob() noexcept : saved(t_in_job) { t_in_job = true; }
  ~InJob() { t_in_job = saved; }
  bool saved;
};

// The exception a job hands back to its caller (see the header for which).
class JobFailure {
 public:
  // Called inside a catch block.
  void record(size_t piece, bool out_of_memory) noexcept {
    std::exception_ptr error = std::current_exception();
    std::lock_guard<std::mutex> lock(mutex_);
    if (error_ && (out_of_memory_ != out_of_memory ? out_of_memory_ : piece_ < piece)) return;
    error_ = std::move(error);
    piece_ = piece;
    out_of_memory_ = out_of_memory;
  }
  void rethrow() {
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  }

 private:
  std::mutex mutex_;
  std::exception_ptr error_;
  size_t piece_ = 0;
  bool out_of_memory_ = false;
};

using PieceFn = WorkerPool::PieceFn;

void run_one(PieceFn fn, void* context, size_t piece, JobFailure& failure) noexcept {
  try {
    fn(context, piece);
  } catch (const std::bad_alloc&) {
    failure.record(piece, true);
  } catch (...) {
    failure.record(piece, false);
  }
}

void run_inline(size_t count, PieceFn fn, void* context) {
  JobFailure failure;
  for (size_t k = 0; k < count; ++k) run_one(fn, context, k, failure);
  failure.rethrow();
}

class ThreadPool final : public WorkerPool {
 public:
  // Starts size - 1 workers, fewer when the system refuses more threads.
  explicit ThreadPool(size_t size) {
    pthread_attr_t attr;
    bool have_attr = pthread_attr_init(&attr) == 0;
    if (have_attr) pthread_attr_setstacksize(&attr, kWorkerStack);
    for (size_t w = 1; w < size; ++w) {
      auto* start = new (std::nothrow) WorkerStart{this, w};
      pthread_t thread;
      if (!start || pthread_create(&thread, have_attr ? &attr : nullptr, &ThreadPool::main, start) != 0) {
        delete start;
        break;
      }
      pthread_detach(thread);
      ++workers_;
    }
    if (have_attr) pthread_attr_destroy(&attr);
  }

  size_t thread_count() const noexcept override { return workers_ + 1; }

  bool shares(uint64_t work) const noexcept override {
    return workers_ > 0 && work >= kMinSharedWork && !t_in_job;
  }

 protected:
  void run_pieces(size_t pieces, PieceFn fn, void* context, uint64_t work) override {
    if (pieces <= 1 || !shares(work)) return run_inline(pieces, fn, context);
    share(pieces, fn, context, false);
  }

  void run_fixed(size_t parts, PieceFn fn, void* context) override {
    if (parts <= 1 || workers_ == 0 || t_in_job) return run_inline(parts, fn, context);
    share(parts, fn, context, true);
  }

 private:
  struct WorkerStart {
    ThreadPool* pool;
    size_t number;  // 1 .. workers_; the caller is thread 0
  };

  static void* main(void* start) {
    WorkerStart where = *static_cast<WorkerStart*>(start);
    delete static_cast<WorkerStart*>(start);
    t_in_job = true;
    where.pool->work(where.number);
    return nullptr;
  }

  // This thread's share of the job: its fixed parts, or pieces until none is
  // left.
  void take_share(size_t thread, PieceFn fn, void* context, size_t count, bool fixed, JobFailure& failure) {
    if (fixed) {
      for (size_t k = thread; k < count; k += workers_ + 1) run_one(fn, context, k, failure);
    } else {
      for (size_t k; (k = next_.fetch_add(1, std::memory_order_relaxed)) < count;) run_one(fn, context, k, failure);
    }
  }

  void share(size_t count, PieceFn fn, void* context, bool fixed) {
    std::lock_guard<std::mutex> one_job(job_mutex_);
    InJob in_job;
    JobFailure failure;
    const size_t helpers = std::min(workers_, count - 1);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fn_ = fn;
      context_ = context;
      count_ = count;
      fixed_ = fixed;
      failure_ = &failure;
      next_.store(0, std::memory_order_relaxed);
      owed_ = fixed ? helpers : 0;
      open_ = true;
      ++generation_;
    }
    // Pieces go to whichever workers wake; fixed parts to particular ones.
    if (fixed) {
      wake_.notify_all();
    } else {
      for (size_t k = 0; k < helpers; ++k) wake_.notify_one();
    }
    take_share(0, fn, context, count, fixed, failure);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      // Workers that wake after the job closed leave it alone: every piece
      // has been taken by then.
      done_.wait(lock, [this] { return owed_ == 0 && active_ == 0; });
      open_ = false;
    }
    failure.rethrow();
  }

  void work(size_t number) noexcept {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return open_ && generation_ != seen; });
      seen = generation_;
      if (fixed_ && number >= count_) continue;  // no part of this job is ours
      ++active_;
      if (fixed_) --owed_;
      PieceFn fn = fn_;
      void* context = context_;
      const size_t count = count_;
      const bool fixed = fixed_;
      JobFailure& failure = *failure_;
      lock.unlock();
      take_share(number, fn, context, count, fixed, failure);
      lock.lock();
      if (--active_ == 0 && owed_ == 0) done_.notify_one();
    }
  }

  size_t workers_ = 0;
  std::mutex job_mutex_;  // held by the caller whose job runs
  std::mutex mutex_;      // guards the job's description and the counts below
  std::condition_variable wake_;
  std::condition_variable done_;
  uint64_t generation_ = 0;
  bool open_ = false;
  PieceFn fn_ = nullptr;
  void* context_ = nullptr;
  size_t count_ = 0;
  bool fixed_ = false;
  JobFailure* failure_ = nullptr;
  std::atomic<size_t> next_{0};
  size_t owed_ = 0;    // workers whose fixed parts have not started
  size_t active_ = 0;  // workers inside the job
};

// The pool is created under this lock and never freed: threads are not
// joined at exit, and a child after fork simply forgets the parent's pool
// (whose threads do not exist in the child). std::mutex is constant
// initialised, so the lock is usable before any static constructor runs.
std::mutex g_create_mutex;
std::atomic<ThreadPool*> g_pool{nullptr};
bool g_fork_handlers_installed = false;  // guarded by g_create_mutex

void prepare_fork() { g_create_mutex.lock(); }
void parent_after_fork() { g_create_mutex.unlock(); }
void child_after_fork() {
  g_pool.store(nullptr, std::memory_order_relaxed);
  // The forking thread holds the lock; the child starts from a fresh one.
  new (&g_create_mutex) std::mutex;
}

}  // namespace

WorkerPool& WorkerPool::instance() {
  ThreadPool* pool = g_pool.load(std::memory_order_acquire);
  if (pool) return *pool;
  std::lock_guard<std::mutex> lock(g_create_mutex);
  pool = g_pool.load(std::memory_order_acquire);
  if (!pool) {
    if (!g_fork_handlers_installed) {
      pthread_atfork(&prepare_fork, &parent_after_fork, &child_after_fork);
      g_fork_handlers_installed = true;
    }
    pool = new ThreadPool(configured_pool_size());
    g_pool.store(pool, std::memory_order_release);
  }
  return *pool;
}

}  // namespace trelm
