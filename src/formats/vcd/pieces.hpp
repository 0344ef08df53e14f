// Reading the value changes of VCD text on several threads.
//
// A stretch of complete lines is cut at line feeds into pieces. Each piece is
// decoded by one of the worker pool's threads into a log of its time stamps
// and changes, grouped by signal; the logs are then written to the store with
// the signals split between the threads, each writing its own columns in
// ascending index order. Decoding reads the code map only, so it is exact as
// long as no declaration comes between: a piece that meets a $scope, $upscope
// or $var line stops there, and the text from that line on goes through the
// line-at-a-time reader after the logs before it are written. Every change is
// written as the line-at-a-time reader would write it, so the store comes out
// the same.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "formats/vcd/parser.hpp"
#include "formats/vcd/piece_options.hpp"

namespace trelm {


struct PieceLog;

// Keeps the logs of the pieces from one window to the next, so that their
// memory is taken once instead of again for every window.
class VcdPieceReader {
 public:
  explicit VcdPieceReader(const VcdPieceOptions& options);
  ~VcdPieceReader();
  VcdPieceReader(const VcdPieceReader&) = delete;
  VcdPieceReader& operator=(const VcdPieceReader&) = delete;

  // Reads `text`, complete lines (the last one may lack its line feed only
  // at the end of the input), with the parser's state.
  void read(VcdParser& parser, std::string_view text);
  // The parser's finished trace; the threads that wrote the columns release
  // their slack.
  std::unique_ptr<VcdTrace> finish(VcdParser& parser);

 private:
  VcdPieceOptions options_;
  std::vector<PieceLog> pieces_;
  // Which thread writes which signals (part k of the pool's fixed parts):
  // kept from window to window so that a column grows in one thread's memory
  // arena.
  std::vector<SignalId> bounds_;
  SignalId bounds_id_count_ = 0;
};

}  // namespace trelm
