// The records the FST reader hands out: header, geometry, blackouts, the
// index of value-change blocks, signal handles and hierarchy entries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace trelm {

struct FstHeader {
  uint64_t start_time = 0;
  uint64_t end_time = 0;
  uint64_t memory_used_by_writer = 0;
  uint64_t scope_count = 0;
  uint64_t var_count = 0;
  uint64_t max_handle = 0;
  uint64_t vc_section_count = 0;
  int8_t timescale_exponent = 0;
  std::string version;
  std::string date;
  uint8_t file_type = 0;
  int64_t time_zero = 0;
};

enum class FstFloatOrder : uint8_t { Little, Big };

// One signal's geometry in one word: 0 real, 1 variable length, else bits + 1.
class FstSignalInfo {
 public:
  static FstSignalInfo from_file_format(uint32_t value) noexcept {
    if (value == 0) return FstSignalInfo(0);
    if (value == 0xffffffffu) return FstSignalInfo(1);
    return FstSignalInfo(value + 1);
  }
  uint32_t word() const noexcept { return word_; }
  bool is_real() const noexcept { return word_ == 0; }
  bool is_var_length() const noexcept { return word_ == 1; }
  // 8 for a real, 0 for a variable-length signal, else the bit count.
  uint32_t length() const noexcept { return word_ == 0 ? 8 : word_ - 1; }

 private:
  explicit FstSignalInfo(uint32_t word) noexcept : word_(word) {}
  uint32_t word_;
};

enum class FstHierarchyCompression : uint8_t { GZip, Lz4, Lz4Duo };

struct FstDataSection {
  uint64_t section_start;
  uint64_t start_time;
  uint64_t end_time;
  uint64_t memory_required;
  uint8_t kind;  // 0 plain position table, 1 dynamic aliases, 2 dynamic aliases version 2
  // Where the block's first time lies in the time table collected at open;
  // UINT64_MAX when no table was collected.
  uint64_t time_table_offset = UINT64_MAX;
};

struct FstMetaData {
  FstHeader header;
  FstFloatOrder float_byte_order = FstFloatOrder::Little;
  std::vector<FstSignalInfo> signals;  // by handle - 1
  std::vector<std::pair<uint64_t, bool>> blackouts;
  std::optional<std::vector<uint64_t>> time_table;
  FstHierarchyCompression hierarchy_compression = FstHierarchyCompression::GZip;
  uint64_t hierarchy_start = 0;
  std::vector<FstDataSection> data_sections;
};

// A 1-based signal handle.
class FstSignalHandle {
 public:
  // The file value; nothing for 0.
  static std::optional<FstSignalHandle> make(uint32_t value) noexcept {
    if (value == 0) return std::nullopt;
    return FstSignalHandle(value);
  }
  static FstSignalHandle from_index(uint32_t index) noexcept { return FstSignalHandle(index + 1); }
  uint32_t value() const noexcept { return value_; }
  uint32_t index() const noexcept { return value_ - 1; }
  bool operator==(const FstSignalHandle&) const = default;

 private:
  explicit FstSignalHandle(uint32_t value) noexcept : value_(value) {}
  uint32_t value_;
};

struct FstScopeOpen {
  uint8_t scope_type;
  std::string name;
  std::string component;
};
struct FstScopeClose {};
struct FstVariable {
  uint8_t var_type;
  uint8_t direction;
  std::string name;
  uint32_t length;
  FstSignalHandle handle;
  bool is_alias;
};
struct FstPathNameAttribute {
  uint64_t id;
  std::string path;
};
struct FstSourceStemAttribute {
  bool is_instance;
  uint64_t path_id;
  uint64_t line;
};
struct FstCommentAttribute {
  std::string text;
};
struct FstEnumTableAttribute {
  std::string name;
  uint64_t handle;
  std::vector<std::pair<std::string, std::string>> mapping;
};
struct FstEnumTableReference {
  uint64_t handle;
};
struct FstVhdlTypeAttribute {
  std::string type_name;
  uint8_t var_type;
  uint8_t data_type;
};
struct FstAttributeClose {};

using FstHierarchyEntry =
    std::variant<FstScopeOpen, FstScopeClose, FstVariable, FstPathNameAttribute,
                 FstSourceStemAttribute, FstCommentAttribute, FstEnumTableAttribute,
                 FstEnumTableReference, FstVhdlTypeAttribute, FstAttributeClose>;

}  // namespace trelm
