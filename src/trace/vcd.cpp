// Loading VCD text: the declarations up to the first time line are read line
// by line; after that the text goes in windows of complete lines to the
// value-change reader, which decodes pieces of each window on the workers.
#include "trace/vcd.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/file.hpp"
#include "trace/vcd_lines.hpp"
#include "trace/vcd_parser.hpp"
#include "trace/vcd_pieces.hpp"

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

}  // namespace

std::unique_ptr<VcdTrace> VcdTrace::parse(std::string_view text, const VcdPieceOptions& options) {
  VcdParser parser;
  VcdPieceReader pieces(options);
  const size_t window = std::max<size_t>(options.window_bytes, 1);
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.size();
    if (text.size() - begin > window) {
      const void* lf = std::memchr(text.data() + begin + window, '\n', text.size() - begin - window);
      if (lf) end = static_cast<size_t>(static_cast<const char*>(lf) - text.data()) + 1;
    }
    read_window(parser, text.substr(begin, end - begin), pieces);
    begin = end;
  }
  return parser.finish();
}

Result<std::unique_ptr<VcdTrace>> VcdTrace::from_file(const std::string& path, const VcdPieceOptions& options) {
  auto opened = FileStream::open(path);
  if (!opened) return fail("Failed to open " + path + ": " + opened.error());
  FileStream stream = std::move(opened).value();

  VcdParser parser;
  VcdPieceReader pieces(options);
  const size_t window = std::max<size_t>(options.window_bytes, 1);
  std::vector<char> buffer(window);
  size_t held = 0;
  for (bool end_of_input = false; !end_of_input;) {
    while (held < buffer.size()) {
      auto got = stream.read(reinterpret_cast<uint8_t*>(buffer.data() + held), buffer.size() - held);
      // A read error ends the load; retrying could loop forever (a directory
      // gives EISDIR on every call) and treating it as the end would hand
      // back a silently shortened trace.
      if (!got) return fail("Failed to open " + path + ": " + got.error());
      if (*got == 0) {
        end_of_input = true;
        break;
      }
      held += *got;
    }
    size_t complete = held;
    if (!end_of_input) {
      const char* last_lf = static_cast<const char*>(memrchr(buffer.data(), '\n', held));
      if (!last_lf) {
        // One line longer than the buffer: read on with room for more.
        buffer.resize(buffer.size() * 2);
        continue;
      }
      complete = static_cast<size_t>(last_lf - buffer.data()) + 1;
    }
    read_window(parser, std::string_view(buffer.data(), complete), pieces);
    std::memmove(buffer.data(), buffer.data() + complete, held - complete);
    held -= complete;
    if (buffer.size() > window && held < window / 2) {
      // Back to the normal size after an outsized line.
      std::vector<char>(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(held)).swap(buffer);
      buffer.resize(window);
    }
  }
  return parser.finish();
}

SignalValue VcdTrace::signal_value(std::string_view name, Index index) const {
  auto it = vars_.find(name);
  return it == vars_.end() ? SignalValue::unknown() : store_.get(it->second.id, index);
}

uint64_t VcdTrace::signal_width(std::string_view name) const noexcept {
  auto it = vars_.find(name);
  return it == vars_.end() ? 0 : it->second.width;
}

std::optional<SignalId> VcdTrace::signal_id(std::string_view name) const noexcept {
  auto it = vars_.find(name);
  if (it == vars_.end()) return std::nullopt;
  return it->second.id;
}

std::vector<SignalValue> VcdTrace::signal_values_range(std::string_view name, Index start, Index end) const {
  auto it = vars_.find(name);
  if (it != vars_.end()) return store_.get_range(it->second.id, start, end);
  std::vector<SignalValue> out;
  if (start >= end) return out;
  // A count no vector can hold is an allocation failure, not a length error.
  if (end - start > out.max_size()) throw std::bad_alloc();
  out.resize(end - start);
  return out;
}

}  // namespace trelm
