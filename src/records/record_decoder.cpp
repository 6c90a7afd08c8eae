#include "records/record_decoder.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "base/text.h"
#include "records/record_table.h"

namespace vkt::records {
namespace {

// The value of one hexadecimal digit, or -1.
constexpr int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A byte read as two's complement: 128-255 become value - 256.
int signed_byte(int value) { return value >= 128 ? value - 256 : value; }

}  // namespace

bool is_record_line(std::string_view line) {
  if (line.size() != kRecordLineLength) return false;
  for (char c : line)
    if (hex_value(c) < 0) return false;
  return true;
}

namespace {

// Digit values by byte; 0xFF for a byte that is not a hexadecimal digit.
struct DigitTable {
  uint8_t value[256];
  constexpr DigitTable() : value() {
    for (int c = 0; c < 256; ++c) value[c] = static_cast<uint8_t>(hex_value(static_cast<char>(c)) & 0xFF);
  }
};
constexpr DigitTable kDigits;

}  // namespace

bool parse_record_line(std::string_view line, RecordFields& f) {
  if (line.size() != kRecordLineLength) return false;
  uint8_t d[kRecordLineLength];
  uint8_t bad = 0;
  for (std::size_t i = 0; i < kRecordLineLength; ++i) {
    d[i] = kDigits.value[static_cast<unsigned char>(line[i])];
    bad |= d[i] & 0xF0;
  }
  if (bad) return false;
  uint32_t word = 0;  // digits 1-7: the packed time stamp
  for (std::size_t i = 0; i < 7; ++i) word = word * 16 + d[i];
  unpack_time_word(word, f);
  f.tenths = d[7];
  f.x = signed_byte(d[8] * 16 + d[9]);
  f.y = signed_byte(d[10] * 16 + d[11]);
  f.z = signed_byte(d[12] * 16 + d[13]);
  f.deg = signed_byte(d[14] * 16 + d[15]);
  f.msec = d[16] * 16 + d[17];
  f.humi = d[18] * 16 + d[19];
  return true;
}

std::optional<RecordFields> parse_record_line(std::string_view line) {
  RecordFields f;
  if (!parse_record_line(line, f)) return std::nullopt;
  return f;
}

namespace {

void decode_row(RecordTable& table, std::string& param_year, int32_t& last_year_tag, int32_t row) {
  RecordFields f;
  if (!table.unpack_line(row, f)) {
    table.clear_decoded(row);
    return;
  }
  advance_year(param_year, last_year_tag, f.year_tag, row == 1);
  // The table makes the texts of columns 2 to 17 from the fields when they
  // are read: DATE is the year, month and day; TIME hour, minute, second and
  // hundredths; DEG the whole degrees and the tenths.
  table.mark_decoded(row, param_year);
}

}  // namespace

void RecordDecoder(ui::TextGrid& grid, std::string& param_year, int32_t& last_year_tag, int32_t row) {
  decode_record_rows(grid, param_year, last_year_tag, row, row);
}

void decode_record_rows(ui::TextGrid& grid, std::string& param_year, int32_t& last_year_tag, int32_t first_row,
                        int32_t last_row) {
  RecordTable* table = RecordTable::of(grid);
  if (!table) return;
  first_row = std::max(first_row, 1);
  last_row = std::min(last_row, grid.row_count() - 1);
  // Rows whose line is unpacked already (a download's) take the quick way,
  // with the same year rule; any other row the way of RecordDecoder.
  bool year_known = false;
  uint32_t year = 0;
  auto year_of = [&](int32_t row, int tag) {
    if (advance_year(param_year, last_year_tag, tag, row == 1)) year_known = false;
    if (!year_known) {
      year = table->year_index(param_year);
      year_known = true;
    }
    return year;
  };
  for (int32_t row = first_row; row <= last_row;) {
    row = table->decode_unpacked(row, last_row, year_of);
    if (row > last_row) break;
    decode_row(*table, param_year, last_year_tag, row++);
    year_known = false;
  }
  grid.rows_changed(first_row, last_row);
}

bool advance_year(std::string& year, int32_t& last_tag, int tag, bool first) {
  if (first) last_tag = tag;
  if (tag == last_tag) return false;
  // One tag change is one year, whatever the two tags are (3 -> 0 too).
  last_tag = tag;
  int value = 0;
  const char* begin = year.data();
  const char* end = begin + year.size();
  const auto [stop, error] = std::from_chars(begin, end, value);
  const bool number = !year.empty() && error == std::errc() && stop == end && value < std::numeric_limits<int>::max();
  year = number ? std::to_string(value + 1) : std::string();
  return true;
}

void unpack_time_word(uint32_t word, RecordFields& f) {
  f.month = static_cast<int>(word >> 24);
  f.year_tag = static_cast<int>((word >> 22) & 3);
  f.day = static_cast<int>((word >> 17) & 0x1F);
  f.hour = static_cast<int>((word >> 12) & 0x1F);
  f.minute = static_cast<int>((word >> 6) & 0x3F);
  f.second = static_cast<int>(word & 0x3F);
}

}  // namespace vkt::records
