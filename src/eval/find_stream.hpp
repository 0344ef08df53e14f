// FindStream: the result of find, handed over while it is being computed.
// The scan is the same serial scan as find's, but past a first stretch of
// indices it runs on a thread of its own, so that a caller who converts the
// indices (into Python ints, say) works alongside it instead of after it.
// Small searches finish on the caller's thread and start no thread at all.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "eval/stretch_eval.hpp"

namespace trelm {

class Scanner;

class FindStream {
 public:
  // The trace and the expression must outlive the stream.
  FindStream(const Trace& trace, const Expr& expr);
  // Stops the scan early if it is still running, and waits for it.
  ~FindStream();
  FindStream(const FindStream&) = delete;
  FindStream& operator=(const FindStream&) = delete;

  // The next matching indices, ascending; empty once every one has been
  // returned. Waits while the scan is behind. A failure of the scan
  // (std::bad_alloc) is thrown here.
  std::span<const Index> next();

  // Indices kept per block; a block never moves once allocated.
  static constexpr size_t kBlock = size_t{1} << 16;

 private:
  void scan_pieces(size_t first_piece);
  void scan_on_thread() noexcept;
  void append(Wide128 first, Wide128 last);
  // Makes the indices written so far visible; false once the stream is
  // being destroyed (the scan then stops).
  bool publish(bool finished);

  const Trace& trace_;
  StretchProgram program_;
  Wide128 end_;
  size_t piece_count_;
  std::unique_ptr<Scanner> scanner_;  // one evaluator over all the pieces

  // Written by the scan only; blocks_ grows under mutex_.
  std::vector<std::unique_ptr<Index[]>> blocks_;
  size_t written_ = 0;
  Index* cursor_ = nullptr;  // where the next index goes in the last block
  size_t room_ = 0;          // free places there

  std::mutex mutex_;
  std::condition_variable changed_;
  size_t published_ = 0;
  bool finished_ = false;
  bool cancelled_ = false;
  std::exception_ptr failure_;
  std::thread thread_;

  size_t consumed_ = 0;  // by the caller
};

}  // namespace trelm
