#include "records/record_decoder.h"

#include <charconv>
#include <limits>

#include "base/text.h"
#include "records/record_table.h"

namespace vkt::records {
namespace {

// The value of one hexadecimal digit, or -1.
int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The byte formed by the digits at zero-based positions i and i + 1.
int byte_at(std::string_view line, std::size_t i) { return hex_value(line[i]) * 16 + hex_value(line[i + 1]); }

// A byte read as two's complement: 128-255 become value - 256.
int signed_byte(int value) { return value >= 128 ? value - 256 : value; }

// The year after `year`, or nothing when `year` is not a decimal number.
std::optional<std::string> next_year(const std::string& year) {
  int value = 0;
  const char* first = year.data();
  const char* last = first + year.size();
  const auto [end, error] = std::from_chars(first, last, value);
  if (year.empty() || error != std::errc() || end != last || value == std::numeric_limits<int>::max())
    return std::nullopt;
  return std::to_string(value + 1);
}

}  // namespace

bool is_record_line(std::string_view line) {
  if (line.size() != kRecordLineLength) return false;
  for (char c : line)
    if (hex_value(c) < 0) return false;
  return true;
}

std::optional<RecordFields> parse_record_line(std::string_view line) {
  if (!is_record_line(line)) return std::nullopt;
  uint32_t word = 0;  // digits 1-7: the packed time stamp
  for (std::size_t i = 0; i < 7; ++i) word = word * 16 + static_cast<uint32_t>(hex_value(line[i]));
  RecordFields f;
  f.month = static_cast<int>(word >> 24);
  f.year_tag = static_cast<int>((word >> 22) & 3);
  f.day = static_cast<int>((word >> 17) & 0x1F);
  f.hour = static_cast<int>((word >> 12) & 0x1F);
  f.minute = static_cast<int>((word >> 6) & 0x3F);
  f.second = static_cast<int>(word & 0x3F);
  f.tenths = hex_value(line[7]);
  f.x = signed_byte(byte_at(line, 8));
  f.y = signed_byte(byte_at(line, 10));
  f.z = signed_byte(byte_at(line, 12));
  f.deg = signed_byte(byte_at(line, 14));
  f.msec = byte_at(line, 16);
  f.humi = byte_at(line, 18);
  return f;
}

void RecordDecoder(protocol::Session& library, int32_t row) {
  protocol::MonitorParts* form = library.monitor();
  if (!form) return;
  windows::TextGrid& grid = form->StringGrid1;
  if (row < 1 || row >= grid.row_count()) return;

  const std::optional<RecordFields> parsed = parse_record_line(grid.cell(kData, row));
  if (!parsed) {
    for (int c = kMonth; c < kColumns; ++c) grid.set_cell(c, row, {});
    return;
  }
  const RecordFields& f = *parsed;

  grid.set_cell(kMonth, row, std::to_string(f.month));
  grid.set_cell(kYear, row, std::to_string(f.year_tag));
  if (row == 1) library.LastYearTag = f.year_tag;
  if (f.year_tag != library.LastYearTag) {
    // One tag change is one year, whatever the two tags are (3 -> 0 too).
    library.param_year = next_year(library.param_year).value_or(std::string());
    library.LastYearTag = f.year_tag;
  }
  grid.set_cell(kDay, row, std::to_string(f.day));
  grid.set_cell(kHour, row, std::to_string(f.hour));
  grid.set_cell(kMin, row, std::to_string(f.minute));
  grid.set_cell(kSec, row, std::to_string(f.second));
  grid.set_cell(kTenths, row, std::to_string(f.tenths));
  grid.set_cell(kX, row, std::to_string(f.x));
  grid.set_cell(kY, row, std::to_string(f.y));
  grid.set_cell(kZ, row, std::to_string(f.z));
  grid.set_cell(kDeg, row, std::to_string(f.deg));
  grid.set_cell(kMsec, row, std::to_string(f.msec));
  grid.set_cell(kHumi, row, std::to_string(f.humi));

  grid.set_cell(kDate, row, library.param_year + "/" + two_digits(f.month) + "/" + two_digits(f.day));
  grid.set_cell(kTime, row,
                two_digits(f.hour) + ":" + two_digits(f.minute) + ":" + two_digits(f.second) + "." +
                    two_digits(f.msec));
  grid.set_cell(kDegText, row, grid.cell(kDeg, row) + "." + grid.cell(kTenths, row));
}

}  // namespace vkt::records
