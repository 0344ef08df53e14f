// The process-wide worker pool. It is created on first use with
// configured_pool_size() threads, never destroyed (no destructor joins threads
// at exit), and replaced by a fresh one in a child process after fork. Tasks
// run on the workers; the caller blocks until every piece is done. A piece
// that throws is recorded and the caller then throws std::bad_alloc, so no
// exception ever leaves a worker thread.
#pragma once

#include <cstddef>

namespace trelm {

class WorkerPool {
 public:
  using PieceFn = void (*)(void* context, size_t piece);

  // The pool of this process, started on first use.
  static WorkerPool& instance();

  // The number of threads that actually started (0 when none could be).
  virtual size_t thread_count() const noexcept = 0;

  // Runs fn(context, k) once for every k in [0, pieces), on the workers (on
  // the caller when no worker is running). One call at a time; concurrent
  // callers wait their turn.
  virtual void run(size_t pieces, PieceFn fn, void* context) = 0;

  template <class F>
  void run(size_t pieces, F& f) {
    run(pieces, [](void* c, size_t k) { (*static_cast<F*>(c))(k); }, &f);
  }

 protected:
  ~WorkerPool() = default;
};

}  // namespace trelm
