#include "eval/find_stream.hpp"

#include <system_error>

#include "eval/scanner.hpp"

namespace trelm {

namespace {

// Indices per piece: the scan publishes its progress and checks for an
// early stop after each one.
constexpr Wide128 kPiece = Wide128{1} << 16;

}  // namespace

FindStream::FindStream(const Trace& trace, const Expr& expr)
    : trace_(trace), program_(expr, trace.max_index()), end_(static_cast<Wide128>(trace.max_index()) + 1) {
  piece_count_ = static_cast<size_t>((end_ + kPiece - 1) / kPiece);
  scanner_ = std::make_unique<Scanner>(program_, trace_.store());
  scanner_->scan(0, std::min(kPiece, end_), [this](Wide128 a, Wide128 b) { append(a, b); });
  publish(piece_count_ == 1);
  if (piece_count_ == 1) return;
  try {
    thread_ = std::thread([this] { scan_on_thread(); });
  } catch (const std::system_error&) {
    scan_pieces(1);  // no thread to be had: the caller scans the rest
  }
}

FindStream::~FindStream() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    cancelled_ = true;
  }
  if (thread_.joinable()) thread_.join();
}

void FindStream::scan_pieces(size_t first_piece) {
  for (size_t k = first_piece; k < piece_count_; ++k) {
    Wide128 begin = kPiece * k, end = std::min(begin + kPiece, end_);
    scanner_->scan(begin, end, [this](Wide128 a, Wide128 b) { append(a, b); });
    if (!publish(k + 1 == piece_count_)) return;
  }
}

void FindStream::scan_on_thread() noexcept {
  try {
    scan_pieces(1);
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = std::current_exception();
    finished_ = true;
    changed_.notify_all();
  }
}

void FindStream::append(Wide128 first, Wide128 last) {
  for (Wide128 i = first; i < last;) {
    if (room_ == 0) {
      auto block = std::make_unique_for_overwrite<Index[]>(kBlock);
      cursor_ = block.get();
      room_ = kBlock;
      std::lock_guard<std::mutex> lock(mutex_);
      blocks_.push_back(std::move(block));
    }
    size_t n = static_cast<size_t>(std::min<Wide128>(last - i, room_));
    for (size_t k = 0; k < n; ++k) cursor_[k] = static_cast<Index>(i + k);
    cursor_ += n;
    room_ -= n;
    written_ += n;
    i += n;
  }
}

bool FindStream::publish(bool finished) {
  std::lock_guard<std::mutex> lock(mutex_);
  published_ = written_;
  if (finished) finished_ = true;
  changed_.notify_all();
  return !cancelled_;
}

std::span<const Index> FindStream::next() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return published_ > consumed_ || finished_; });
  if (failure_) std::rethrow_exception(failure_);
  if (published_ == consumed_) return {};
  size_t offset = consumed_ % kBlock;
  size_t n = std::min(published_ - consumed_, kBlock - offset);
  const Index* first = blocks_[consumed_ / kBlock].get() + offset;
  consumed_ += n;
  return {first, n};
}

}  // namespace trelm
