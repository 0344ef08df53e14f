// The worker pool of the process: the one set of threads every parallel step
// runs on (the searches, the change queries and their index, the FST and VCD
// loaders).
//
// What it promises:
// - Fixed size: configured_pool_size() threads in all, the caller of a job
//   being one of them, so that size - 1 workers are started (none for 1).
// - Created on first use and never destroyed (no thread is joined at exit);
//   a child process after fork starts a fresh pool on its first use.
// - It never touches Python objects, and neither may the jobs it runs: the
//   workers run without the interpreter.
// - A job runs wholly on the calling thread when it is too small to share out
//   (the caller's estimate of its work is below kMinSharedWork), when there
//   are no workers, and when it is started from inside a job of the pool, so
//   that nested calls cannot deadlock.
// - One job at a time: concurrent callers wait their turn.
// - Every piece runs, even after another one failed. The caller then
//   rethrows the exception of the lowest-numbered piece that failed, as it was
//   thrown (its type and message kept), except that a std::bad_alloc of any
//   piece comes first: running out of memory is what the caller must hear of,
//   whatever else failed because of it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace trelm {

// Work, in nanoseconds on one thread as far as the caller can tell, below
// which a job runs on the caller: waking the workers and waiting for the last
// of them costs some tens of microseconds.
inline constexpr uint64_t kMinSharedWork = 50'000;
// The work of a job the caller cannot estimate, or wants shared regardless.
inline constexpr uint64_t kUnknownWork = UINT64_MAX;

class WorkerPool {
 public:
  using PieceFn = void (*)(void* context, size_t piece);

  // The pool of this process, started on first use.
  static WorkerPool& instance();

  // The threads a job can run on: the workers that started and the caller.
  virtual size_t thread_count() const noexcept = 0;

  // Whether run() would share out a job of this much work from this thread;
  // a caller with a cheaper serial form of the job takes it when not.
  virtual bool shares(uint64_t work) const noexcept = 0;

  // Runs piece(k) once for every k in [0, pieces); each thread takes the next
  // piece not taken when it finishes one, the caller too.
  template <class F>
  void run(size_t pieces, F& piece, uint64_t work = kUnknownWork) {
    run_pieces(pieces, &call<F>, &piece, work);
  }

  // Runs part(k) once for every k in [0, parts) on a fixed thread: part k on
  // thread k % thread_count(), where thread 0 is the caller and thread t the
  // same worker in every job. Memory a part takes then comes from the same
  // thread's allocator arena job after job (on the caller alone when the job
  // is not shared out).
  template <class F>
  void run_parts(size_t parts, F& part) {
    run_fixed(parts, &call<F>, &part);
  }

 protected:
  ~WorkerPool() = default;

  virtual void run_pieces(size_t pieces, PieceFn fn, void* context, uint64_t work) = 0;
  virtual void run_fixed(size_t parts, PieceFn fn, void* context) = 0;

 private:
  template <class F>
  static void call(void* context, size_t k) {
    (*static_cast<F*>(context))(k);
  }
};

}  // namespace trelm
