// Loading VCD text: the declarations up to the first time line are read line
// by line; after that the text goes in windows of complete lines to the
// value-change reader, which decodes pieces of each window on the workers.
#include "formats/vcd/vcd.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <exception>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/file.hpp"
#include "formats/vcd/gzip_stream.hpp"
#include "formats/vcd/line_scan.hpp"
#include "formats/vcd/parser.hpp"
#include "formats/vcd/pieces.hpp"

namespace trelm {

namespace {

// Reads complete lines (the last may lack its line feed at the end of input).
void read_window(VcdParser& parser, std::string_view text, VcdPieceReader& pieces) {
  size_t begin = 0;
  if (!parser.started()) {
    const bool ascii = is_ascii(text.data(), text.size());
    while (begin < text.size() && !parser.started()) {
      size_t end = find_line_feed(text.data(), begin, text.size());
      parser.feed_line(text.substr(begin, end - begin), ascii);
      begin = end + 1;
    }
    if (begin >= text.size()) return;
  }
  pieces.read(parser, text.substr(begin));
}

struct FillResult {
  size_t count = 0;
  bool end = false;  // the end of the file was reached
  bool failed = false;
  std::string error;
};

// Room for text read from a stream. Every byte is written before it is
// read, so the room is never cleared: for windows of many megabytes that
// would cost as much as a good part of decoding them.
class TextBuffer {
 public:
  explicit TextBuffer(size_t size) : data_(new char[size]), size_(size) {}
  char* data() noexcept { return data_.get(); }
  size_t size() const noexcept { return size_; }
  // A larger room holding the first `keep` bytes of this one.
  void grow(size_t size, size_t keep) {
    std::unique_ptr<char[]> larger(new char[size]);
    std::memcpy(larger.get(), data_.get(), keep);
    data_ = std::move(larger);
    size_ = size;
  }
  void swap(TextBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_;
};

// Reads into buffer[from, size()) until it is full or the stream ends.
template <class Source>
FillResult fill(Source& stream, TextBuffer& buffer, size_t from) {
  FillResult result;
  while (from + result.count < buffer.size()) {
    auto got = stream.read(reinterpret_cast<uint8_t*>(buffer.data() + from + result.count),
                           buffer.size() - from - result.count);
    if (!got) {
      result.failed = true;
      result.error = got.error();
      return result;
    }
    if (*got == 0) {
      result.end = true;
      return result;
    }
    result.count += *got;
  }
  return result;
}

// Joins a thread when the scope ends, also when it ends by an exception.
struct ThreadJoiner {
  std::thread& thread;
  ~ThreadJoiner() {
    if (thread.joinable()) thread.join();
  }
};

// A plain file as a stream that counts what it has read.
class PlainSource {
 public:
  explicit PlainSource(FileStream file) noexcept : file_(std::move(file)) {}
  Result<size_t> read(uint8_t* buffer, size_t capacity) {
    auto got = file_.read(buffer, capacity);
    if (got) consumed_ += *got;
    return got;
  }
  uint64_t consumed() const noexcept { return consumed_; }
  uint64_t size_hint() const noexcept { return file_.size_hint(); }

 private:
  FileStream file_;
  uint64_t consumed_ = 0;
};

// How reading a stream ended: the stream's error text, or stopped by the
// progress sink.
struct StreamEnd {
  bool failed = false;
  bool stopped = false;
  std::string error;
};

// Reads the whole stream into the parser, window by window. Progress, when
// asked for, is the stream's consumed bytes against its size, after each
// window.
template <class Source>
StreamEnd read_stream(Source& stream, VcdParser& parser, VcdPieceReader& pieces, size_t window,
                      const LoadOptions* load) {
  const uint64_t total = stream.size_hint();
  // Two buffers: while the lines of one are read, the next window of the
  // file is read into the other on a thread of its own.
  TextBuffer current(window), next(window);
  FillResult got = fill(stream, current, 0);
  size_t held = got.count;
  for (;;) {
    // A read error ends the load; retrying could loop forever (a directory
    // gives EISDIR on every call) and treating it as the end would hand
    // back a silently shortened trace.
    if (got.failed) return StreamEnd{true, false, got.error};
    const bool end_of_input = got.end;
    size_t complete = held;
    if (!end_of_input) {
      const char* last_lf = static_cast<const char*>(memrchr(current.data(), '\n', held));
      if (!last_lf) {
        // One line longer than the buffer: read on with room for more.
        current.grow(current.size() * 2, held);
        got = fill(stream, current, held);
        held += got.count;
        continue;
      }
      complete = static_cast<size_t>(last_lf - current.data()) + 1;
    }
    const size_t rest = held - complete;
    const size_t room = std::max(window, rest + window / 2);
    if (next.size() < room || next.size() > 2 * room) TextBuffer(room).swap(next);
    std::memcpy(next.data(), current.data() + complete, rest);

    FillResult ahead;
    std::exception_ptr reader_failure;
    {
      std::thread reader;
      ThreadJoiner joiner{reader};
      if (!end_of_input) {
        try {
          reader = std::thread([&] {
            try {
              ahead = fill(stream, next, rest);
            } catch (...) {
              reader_failure = std::current_exception();
            }
          });
        } catch (const std::system_error&) {
          ahead = fill(stream, next, rest);  // no thread to spare: read in turn
        }
      }
      read_window(parser, std::string_view(current.data(), complete), pieces);
    }
    if (reader_failure) std::rethrow_exception(reader_failure);
    if (load && !load->report(std::min(stream.consumed(), total), total)) return StreamEnd{true, true, kLoadStopped};
    if (end_of_input) break;
    current.swap(next);
    got = std::move(ahead);
    held = rest + got.count;
  }
  return {};
}

// Reads text held in memory into the parser, window by window.
bool read_text(std::string_view text, VcdParser& parser, VcdPieceReader& pieces, size_t window,
               const LoadOptions* load) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.size();
    if (text.size() - begin > window) {
      const void* lf = std::memchr(text.data() + begin + window, '\n', text.size() - begin - window);
      if (lf) end = static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
    }
    read_window(parser, text.substr(begin, end - begin), pieces);
    begin = end;
    if (load && !load->report(begin, text.size())) return false;
  }
  return true;
}

LoadedDump finish_load(VcdParser& parser, VcdPieceReader& pieces) {
  LoadedDump dump;
  dump.info = parser.describe();
  dump.trace = pieces.finish(parser);
  return dump;
}

// Loads a whole stream; a read error is told after `failed_to`. The names'
// room follows the stream's size hint (for gzip the compressed size: every
// real header compresses far less than the budget allows for).
template <class Source>
Result<LoadedDump> load_stream(Source& stream, const std::string& failed_to, const LoadOptions& load,
                               VcdPieceReader& pieces, size_t window) {
  VcdParser parser(stream.size_hint(), &load);
  StreamEnd end = read_stream(stream, parser, pieces, window, &load);
  if (end.stopped) return fail(std::move(end.error));
  if (end.failed) return fail(failed_to + end.error);
  return finish_load(parser, pieces);
}

}  // namespace

std::unique_ptr<VcdTrace> VcdTrace::parse(std::string_view text, const VcdPieceOptions& options) {
  VcdParser parser(text.size());
  VcdPieceReader pieces(options);
  read_text(text, parser, pieces, std::max<size_t>(options.window_bytes, 1), nullptr);
  return pieces.finish(parser);
}

Result<std::unique_ptr<VcdTrace>> VcdTrace::from_file(const std::string& path, const VcdPieceOptions& options) {
  auto opened = FileStream::open(path);
  if (!opened) return fail("Failed to open " + path + ": " + opened.error());
  PlainSource stream(std::move(opened).value());
  VcdParser parser(stream.size_hint());
  VcdPieceReader pieces(options);
  StreamEnd end = read_stream(stream, parser, pieces, std::max<size_t>(options.window_bytes, 1), nullptr);
  if (end.failed) return fail("Failed to open " + path + ": " + end.error);
  return pieces.finish(parser);
}

Result<LoadedDump> VcdTrace::load_text(std::string_view text, const LoadOptions& load, const VcdPieceOptions& options) {
  VcdParser parser(text.size(), &load);
  VcdPieceReader pieces(options);
  if (!read_text(text, parser, pieces, std::max<size_t>(options.window_bytes, 1), &load))
    return fail(std::string(kLoadStopped));
  return finish_load(parser, pieces);
}

Result<LoadedDump> VcdTrace::load_file(const std::string& path, const LoadOptions& load, bool gzip,
                                       const VcdPieceOptions& options) {
  const size_t window = std::max<size_t>(options.window_bytes, 1);
  VcdPieceReader pieces(options);
  if (gzip) {
    auto opened = GzipFileStream::open(path);
    if (!opened) return fail("Failed to open " + path + ": " + opened.error());
    return load_stream(opened.value(), "Failed to read " + path + ": ", load, pieces, window);
  }
  auto opened = FileStream::open(path);
  if (!opened) return fail("Failed to open " + path + ": " + opened.error());
  PlainSource stream(std::move(opened).value());
  return load_stream(stream, "Failed to open " + path + ": ", load, pieces, window);
}

uint64_t VcdTrace::signal_width(std::string_view name) const noexcept {
  auto it = record().widths.find(name);
  return it == record().widths.end() ? 0 : it->second;
}

}  // namespace trelm
