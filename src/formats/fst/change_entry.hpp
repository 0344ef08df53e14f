// Decoding of single change entries inside an unpacked signal chunk. Inline,
// so that the loops that walk a chunk compile into one tight loop.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "formats/fst/io.hpp"
#include "formats/fst/reader.hpp"
#include "formats/fst/signals.hpp"

namespace trelm {

enum class EntryStatus : uint8_t { Ok, End, Leb128, PackedReal };

inline ReaderError entry_error(EntryStatus status) {
  switch (status) {
    case EntryStatus::Leb128: return ReaderError::make(ReaderErrorKind::Leb128, 32);
    case EntryStatus::PackedReal: return ReaderError::malformed("packed real change entries are not supported");
    default: return ReaderError::io();
  }
}

// The 32-bit LEB128 value at data[pos]; pos moves past it when it is Ok.
inline EntryStatus read_varint32(std::span<const uint8_t> data, size_t& pos, uint32_t& value) {
  size_t size;
  switch (decode_leb128(data, pos, value, size)) {
    case Leb128Status::Ok: pos += size; return EntryStatus::Ok;
    case Leb128Status::End: return EntryStatus::End;
    case Leb128Status::TooLong: break;
  }
  return EntryStatus::Leb128;
}

// Eight value characters per packed byte, first character from bit 7.
struct BitCharTable {
  uint8_t chars[256][8];
  constexpr BitCharTable() : chars() {
    for (int b = 0; b < 256; ++b)
      for (int i = 0; i < 8; ++i) chars[b][i] = static_cast<uint8_t>('0' + ((b >> (7 - i)) & 1));
  }
};
inline constexpr BitCharTable kBitChars;
inline constexpr uint8_t kBinaryDigits[] = {'0', '1'};
inline constexpr uint8_t kFourStateDigits[] = {'x', 'z', 'h', 'u', 'w', 'l', '-', '?'};

// The time step carried by an entry's first value `h`.
inline uint64_t entry_time_step(uint32_t h, FstSignalInfo info) noexcept {
  return info.word() == 2 ? one_bit_signal_time_delta(h) : multi_bit_signal_time_delta(h);
}

// Decodes the value of the entry whose first value `h` ended at data[pos],
// and moves pos past the entry. With `kDigitsForInts` false, a value that
// comes with `has_int` set leaves `bytes` empty (callers that only read the
// integer skip writing out its digits).
template <bool kDigitsForInts = true>
inline EntryStatus decode_entry_value(std::span<const uint8_t> data, size_t& pos, uint32_t h, FstSignalInfo info,
                                      FstFloatOrder order, std::vector<uint8_t>& scratch, FstChangeValue& out) {
  size_t at = pos;
  out.is_real = false;
  out.has_int = false;
  switch (info.word()) {
    case 2:  // one bit: the value is in h
      if (h & 1) {
        out.bytes = std::span<const uint8_t>(&kFourStateDigits[(h >> 1) & 7], 1);
      } else {
        if (kDigitsForInts) out.bytes = std::span<const uint8_t>(&kBinaryDigits[(h >> 1) & 1], 1);
        else out.bytes = {};
        out.has_int = true;
        out.int_value = (h >> 1) & 1;
      }
      break;
    case 0:  // real
      if (!(h & 1)) return EntryStatus::PackedReal;
      if (data.size() - at < 8) return EntryStatus::End;
      out.is_real = true;
      out.real = fst_real_from_bytes(data.subspan(at, 8), order);
      out.bytes = {};
      at += 8;
      break;
    case 1: {  // variable length
      uint32_t size;
      EntryStatus status = read_varint32(data, at, size);
      if (status != EntryStatus::Ok) return status;
      if (data.size() - at < size) return EntryStatus::End;
      out.bytes = data.subspan(at, size);
      at += size;
      break;
    }
    default: {
      size_t bits = info.length();
      if (h & 1) {
        if (data.size() - at < bits) return EntryStatus::End;
        out.bytes = data.subspan(at, bits);
        at += bits;
        break;
      }
      size_t byte_count = (bits + 7) / 8;
      if (data.size() - at < byte_count) return EntryStatus::End;
      const uint8_t* packed = data.data() + at;
      if (bits <= 64) {
        uint64_t v = 0;
        for (size_t i = 0; i < byte_count; ++i) v = (v << 8) | packed[i];
        out.int_value = v >> (byte_count * 8 - bits);
        out.has_int = true;
      }
      if (kDigitsForInts || bits > 64) {
        if (scratch.size() < byte_count * 8) scratch.resize(byte_count * 8);
        for (size_t i = 0; i < byte_count; ++i) std::memcpy(scratch.data() + 8 * i, kBitChars.chars[packed[i]], 8);
        out.bytes = std::span<const uint8_t>(scratch.data(), bits);
      } else {
        out.bytes = {};
      }
      at += byte_count;
      break;
    }
  }
  pos = at;
  return EntryStatus::Ok;
}

// Decodes the entry at data[pos] and moves pos past it.
inline EntryStatus decode_entry(std::span<const uint8_t> data, size_t& pos, FstSignalInfo info, FstFloatOrder order,
                                std::vector<uint8_t>& scratch, FstChangeValue& out) {
  uint32_t h;
  size_t at = pos;
  EntryStatus status = read_varint32(data, at, h);
  if (status != EntryStatus::Ok) return status;
  status = decode_entry_value(data, at, h, info, order, scratch, out);
  if (status == EntryStatus::Ok) pos = at;
  return status;
}

inline EntryStatus peek_time_step(std::span<const uint8_t> data, size_t pos, FstSignalInfo info, uint64_t& step) {
  uint32_t h;
  EntryStatus status = read_varint32(data, pos, h);
  if (status == EntryStatus::Ok) step = entry_time_step(h, info);
  return status;
}

}  // namespace trelm
