#include "base/threads/pool.hpp"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <vector>

#include "base/threads/pool_size.hpp"

namespace trelm {

namespace {

// Workers run iterative code only, so a modest stack suffices.
constexpr size_t kWorkerStack = 512 * 1024;

class ThreadPool final : public WorkerPool {
 public:
  explicit ThreadPool(size_t wanted) {
    pthread_attr_t attr;
    bool have_attr = pthread_attr_init(&attr) == 0;
    if (have_attr) pthread_attr_setstacksize(&attr, kWorkerStack);
    for (size_t k = 0; k < wanted; ++k) {
      pthread_t thread;
      if (pthread_create(&thread, have_attr ? &attr : nullptr, &ThreadPool::main, this) != 0) break;
      pthread_detach(thread);
      ++threads_;
    }
    if (have_attr) pthread_attr_destroy(&attr);
  }

  size_t thread_count() const noexcept override { return threads_; }

  void run(size_t pieces, PieceFn fn, void* context) override {
    if (pieces == 0) return;
    std::lock_guard<std::mutex> one_job(job_mutex_);
    if (threads_ == 0) {
      bool failed = false;
      for (size_t k = 0; k < pieces; ++k) run_piece(fn, context, k, failed);
      if (failed) throw std::bad_alloc();
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      fn_ = fn;
      context_ = context;
      pieces_ = pieces;
      next_.store(0, std::memory_order_relaxed);
      remaining_ = pieces;
      failed_ = false;
      open_ = true;
      ++generation_;
    }
    wake_.notify_all();
    bool failed;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      done_.wait(lock, [this] { return remaining_ == 0 && active_ == 0; });
      open_ = false;
      failed = failed_;
    }
    if (failed) throw std::bad_alloc();
  }

 private:
  static void run_piece(PieceFn fn, void* context, size_t k, bool& failed) noexcept {
    try {
      fn(context, k);
    } catch (...) {
      failed = true;
    }
  }

  static void* main(void* self) {
    static_cast<ThreadPool*>(self)->work();
    return nullptr;
  }

  void work() noexcept {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return open_ && generation_ != seen; });
      seen = generation_;
      ++active_;
      PieceFn fn = fn_;
      void* context = context_;
      size_t pieces = pieces_;
      lock.unlock();
      size_t finished = 0;
      bool failed = false;
      for (;;) {
        size_t k = next_.fetch_add(1, std::memory_order_relaxed);
        if (k >= pieces) break;
        run_piece(fn, context, k, failed);
        ++finished;
      }
      lock.lock();
      remaining_ -= finished;
      failed_ = failed_ || failed;
      --active_;
      if (remaining_ == 0 && active_ == 0) done_.notify_all();
    }
  }

  size_t threads_ = 0;
  std::mutex job_mutex_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  uint64_t generation_ = 0;
  bool open_ = false;
  PieceFn fn_ = nullptr;
  void* context_ = nullptr;
  size_t pieces_ = 0;
  std::atomic<size_t> next_{0};
  size_t remaining_ = 0;
  size_t active_ = 0;
  bool failed_ = false;
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
