// Times the query engine on a VCD (by default bench/data/cpu.vcd from
// bench/gen_vcd.py) and prints the ratios against the literal per-index
// evaluation (eval_bool at every index, reading through signal_value_by_id).
// Built with the C++ tests (make cpp-test), run e.g.:
//   ./build/cpp/query_bench bench/data/cpu.vcd
// The pool runs with RAYON_NUM_THREADS=2 unless the variable is set already.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "eval/changes.hpp"
#include "eval/find.hpp"
#include "base/threads/pool.hpp"
#include "eval/stats.hpp"
#include "formats/vcd/vcd.hpp"

using namespace trelm;

namespace {

double now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// CPU time of the whole process (the workers included).
double cpu_now() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

struct Timing {
  double wall = 1e300;
  double cpu = 1e300;
};

// The best wall time of several runs, and the CPU time of that run: on a
// machine shared with other work the CPU time shows the cost of the work
// itself, the wall time what a user waits.
template <class F>
Timing timed(int runs, F&& f) {
  Timing best;
  for (int r = 0; r < runs; ++r) {
    double w0 = now(), c0 = cpu_now();
    f();
    double w = now() - w0, c = cpu_now() - c0;
    if (w < best.wall) best = {w, c};
  }
  return best;
}

template <class F>
double best_of(int runs, F&& f) {
  return timed(runs, f).wall;
}

uint64_t literal_count(const Trace& trace, const Expr& expr) {
  uint64_t n = 0;
  for (Index i = 0; i <= trace.max_index(); ++i) n += eval_bool(trace, expr, i);
  return n;
}

Expr sig(const Trace& trace, const char* name) {
  auto id = trace.signal_id(name);
  if (!id) {
    std::fprintf(stderr, "signal %s not found\n", name);
    std::exit(1);
  }
  return Expr::signal(*id);
}

Expr eq_const(const Expr& e, SignalValue v) { return Expr::binary(ExprKind::Eq, e, Expr::constant(std::move(v))); }

}  // namespace

int main(int argc, char** argv) {
  setenv("RAYON_NUM_THREADS", "2", 0);
  const char* path = argc > 1 ? argv[1] : "bench/data/cpu.vcd";
  double t0 = now();
  auto loaded = VcdTrace::from_file(path);
  if (!loaded.ok()) {
    std::fprintf(stderr, "%s\n", loaded.error().c_str());
    return 1;
  }
  const Trace& trace = **loaded;
  std::printf("loaded %s in %.1f s: %zu signals, max_index %llu\n", path, now() - t0, trace.signal_names().size(),
              static_cast<unsigned long long>(trace.max_index()));
  std::printf("worker pool: %zu threads\n", WorkerPool::instance().thread_count());

  // Two vector signals at a value pair they hold together somewhere: a sparse match.
  Expr a = sig(trace, "top.cpu.bus8"), b = sig(trace, "top.cpu.bus16");
  Index probe = trace.max_index() / 2;
  Expr sparse = Expr::binary(ExprKind::And, eq_const(a, trace.signal_value_by_id(*trace.signal_id("top.cpu.bus8"), probe)),
                             eq_const(b, trace.signal_value_by_id(*trace.signal_id("top.cpu.bus16"), probe)));
  Expr clk = sig(trace, "top.clk");
  Expr clock_high = eq_const(clk, SignalValue::from_int(1));
  Expr rising = Expr::binary(ExprKind::And, clk, Expr::unary(ExprKind::Not, Expr::rel_eval(clk, -1)));

  struct Named {
    const char* name;
    const Expr* expr;
  } exprs[] = {{"sparse bus8==v && bus16==w", &sparse}, {"clk == 1", &clock_high}, {"clk && !clk[-1]", &rising}};

  for (const auto& [name, expr] : exprs) {
    uint64_t literal_n = 0, count_n = 0;
    std::vector<Index> serial, parallel;
    Timing literal = timed(1, [&] { literal_n = literal_count(trace, *expr); });
    Timing counted = timed(3, [&] { count_n = parallel_count(trace, *expr); });
    Timing found = timed(3, [&] { serial = find(trace, *expr); });
    Timing pfound = timed(3, [&] { parallel = parallel_find(trace, *expr); });
    bool same = literal_n == count_n && serial == parallel && serial.size() == count_n;
    std::printf("\n%s: %llu matches%s\n", name, static_cast<unsigned long long>(count_n), same ? "" : "  MISMATCH");
    std::printf("                   wall ms    cpu ms\n");
    std::printf("  literal loop    %9.2f %9.2f\n", literal.wall * 1e3, literal.cpu * 1e3);
    std::printf("  parallel_count  %9.2f %9.2f   %6.1fx faster than literal (cpu work %.1fx less)\n",
                counted.wall * 1e3, counted.cpu * 1e3, literal.wall / counted.wall, literal.cpu / counted.cpu);
    std::printf("  find            %9.2f %9.2f   %6.1fx faster than literal\n", found.wall * 1e3, found.cpu * 1e3,
                literal.wall / found.wall);
    std::printf("  parallel_find   %9.2f %9.2f   %6.2fx faster than find\n", pfound.wall * 1e3, pfound.cpu * 1e3,
                found.wall / pfound.wall);
  }

  // The first call builds the per-trace change index.
  double first_call = best_of(1, [&] { (void)changed_at(trace, 1); });
  std::printf("\nfirst changed_at (builds the change index): %.1f ms\n", first_call * 1e3);

  std::mt19937_64 rng(7);
  std::vector<Index> at(20000);
  for (auto& i : at) i = 1 + rng() % trace.max_index();
  size_t reported = 0;
  double changes = best_of(3, [&] {
    for (Index i : at) reported += changed_at(trace, i).size();
  });
  std::printf("changed_at over %zu signals, random indices: %.2f us per call (%.1f changes per call)\n",
              trace.signal_names().size(), changes / at.size() * 1e6, static_cast<double>(reported) / (3.0 * at.size()));
  Index start = 1 + rng() % (trace.max_index() - at.size());
  for (size_t k = 0; k < at.size(); ++k) at[k] = start + k;
  double stepping = best_of(3, [&] {
    for (Index i : at) reported += changed_at(trace, i).size();
  });
  std::printf("changed_at over %zu signals, consecutive indices: %.2f us per call\n", trace.signal_names().size(),
              stepping / at.size() * 1e6);

  double total_tr = 0, total_st = 0, worst_tr = 0, worst_st = 0;
  size_t records = 0;
  for (const auto& name : trace.signal_names()) {
    double t = now();
    records += transitions(trace, name).size();
    double tr = now() - t;
    t = now();
    volatile uint64_t sink = compute_stats(trace, name).transitions;
    (void)sink;
    double st = now() - t;
    total_tr += tr, total_st += st;
    worst_tr = std::max(worst_tr, tr), worst_st = std::max(worst_st, st);
  }
  size_t n = trace.signal_names().size();
  std::printf("transitions: %.2f ms per signal on average (worst %.1f ms), %zu records in all\n", total_tr / n * 1e3,
              worst_tr * 1e3, records);
  std::printf("compute_stats: %.2f ms per signal on average (worst %.1f ms)\n", total_st / n * 1e3, worst_st * 1e3);
  return 0;
}
