// Drives the clock of `verilated` for 200 half-cycles and writes the trace
// named on the command line.
#include <memory>

#include "Vverilated.h"
#include "verilated.h"
#if TRACE_FST
#include "verilated_fst_c.h"
using TraceFile = VerilatedFstC;
#else
#include "verilated_vcd_c.h"
using TraceFile = VerilatedVcdC;
#endif

int main(int argc, char** argv) {
  Verilated::commandArgs(argc, argv);
  Verilated::traceEverOn(true);
  auto top = std::make_unique<Vverilated>();
  auto trace = std::make_unique<TraceFile>();
  top->trace(trace.get(), 99);
  trace->open(argv[1]);
  for (int t = 0; t < 200; ++t) {
    top->clk = t & 1;
    top->eval();
    trace->dump(static_cast<uint64_t>(t) * 5);
  }
  trace->close();
  top->final();
  return 0;
}
