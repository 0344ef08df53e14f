// A small team of threads for the phases of one job: the calling thread and
// up to size() - 1 helpers run part k of each phase, thread k always part k,
// so memory a part allocates for its share stays with one thread from phase
// to phase. The helpers live as long as the team.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace trelm {

class ThreadTeam {
 public:
  // Starts threads - 1 helpers; when some cannot be started, the team is
  // smaller (the caller alone at worst).
  explicit ThreadTeam(size_t threads);
  ~ThreadTeam();
  ThreadTeam(const ThreadTeam&) = delete;
  ThreadTeam& operator=(const ThreadTeam&) = delete;

  size_t size() const noexcept { return helpers_.size() + 1; }

  // Runs part(k) for every k in [0, size()), part 0 on the caller, and
  // returns when all are done. A part that throws does not stop the others;
  // the caller then gets std::bad_alloc.
  template <class F>
  void run(F& part) {
    run_parts([](void* context, size_t k) { (*static_cast<F*>(context))(k); }, &part);
  }

 private:
  using PartFn = void (*)(void* context, size_t k);
  void run_parts(PartFn fn, void* context);
  void helper_loop(size_t k);

  std::vector<std::thread> helpers_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  PartFn fn_ = nullptr;
  void* context_ = nullptr;
  size_t generation_ = 0;
  size_t running_ = 0;
  bool failed_ = false;
  bool stopping_ = false;
};

}  // namespace trelm
