// The record copy reads the table as the accessors do: the raw line from
// column "data", the fields from the decoder's unpacking of that line when
// the row was decoded (its columns 2 to 17 filled), the year from "DATE".
#include "records/record_copy.h"

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "base/text.h"
#include "records/record_decoder.h"
#include "records/record_table.h"

namespace vkt::records {

// The layout the public header promises to hosts in other languages.
static_assert(sizeof(vkt_record) == 48);
static_assert(offsetof(vkt_record, data_length) == 8 && offsetof(vkt_record, decoded) == 12);
static_assert(offsetof(vkt_record, x) == 20 && offsetof(vkt_record, humi) == 25);
static_assert(offsetof(vkt_record, data) == 26);

namespace {

// The year in front of the first "/" of a DATE text; 0 when there is none.
int32_t year_of_date(std::string_view date) {
  const std::string_view year = date.substr(0, date.find('/'));
  int32_t value = 0;
  const auto [end, error] = std::from_chars(year.data(), year.data() + year.size(), value);
  return (!year.empty() && error == std::errc() && end == year.data() + year.size()) ? value : 0;
}

void copy_fields(const RecordFields& fields, int32_t year, vkt_record& out) {
  out.decoded = 1;
  out.year = year;
  out.month = static_cast<uint8_t>(fields.month);
  out.year_tag = static_cast<uint8_t>(fields.year_tag);
  out.day = static_cast<uint8_t>(fields.day);
  out.hour = static_cast<uint8_t>(fields.hour);
  out.min = static_cast<uint8_t>(fields.minute);
  out.sec = static_cast<uint8_t>(fields.second);
  out.n = static_cast<uint8_t>(fields.tenths);
  out.x = static_cast<int8_t>(fields.x);
  out.y = static_cast<int8_t>(fields.y);
  out.z = static_cast<int8_t>(fields.z);
  out.deg = static_cast<int8_t>(fields.deg);
  out.msec = static_cast<uint8_t>(fields.msec);
  out.humi = static_cast<uint8_t>(fields.humi);
}

void copy_row(const ui::TextGrid& grid, int32_t row, vkt_record& out) {
  out = vkt_record{};
  out.row = row;
  const RecordTable* table = RecordTable::of(grid);
  const bool plain = table && table->plain(row);
  std::string written_data;
  const std::string_view data = plain ? table->raw_line(row) : std::string_view(written_data = grid.cell(kData, row));
  out.data_length = static_cast<int32_t>(std::min<std::size_t>(data.size(), INT32_MAX));
  const std::size_t kept = std::min<std::size_t>(data.size(), VKTCOM_RECORD_DATA_SIZE - 1);
  if (kept > 0) std::memcpy(out.data, data.data(), kept);

  RecordFields fields;
  if (plain) {
    // A decoded row's fields as the table holds them, its year from DATE.
    if (!table->decoded_fields(row, fields)) return;
    char date[64];
    const std::size_t length = table->copy_cell(kDate, row, date, sizeof date);
    copy_fields(fields, year_of_date(std::string_view(date, length)), out);
    return;
  }
  // Columns 2 to 17 are filled only by a decoding pass that accepted the line.
  if (grid.cell(kMonth, row).empty()) return;
  if (!parse_record_line(data, fields)) return;
  copy_fields(fields, year_of_date(grid.cell(kDate, row)), out);
}

}  // namespace

int32_t copy_records(const ui::TextGrid* table, int32_t first_row, int32_t count, vkt_record* out) {
  if (!table || count < 1 || first_row < 1) return 0;
  const ui::TextGrid& grid = *table;
  const int64_t last = std::min<int64_t>(int64_t{first_row} + count, grid.row_count());
  int32_t copied = 0;
  for (int64_t row = first_row; row < last; ++row) copy_row(grid, static_cast<int32_t>(row), out[copied++]);
  return copied;
}

int32_t decode_text_records(std::string_view text, std::string year, vkt_record* out, int32_t max) {
  int32_t found = 0;
  int32_t last_tag = 0;
  int32_t line_number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_number;
    RecordFields fields;
    if (!parse_record_line(line, fields)) continue;
    advance_year(year, last_tag, fields.year_tag, found == 0);
    if (out && found < max) {
      vkt_record& r = out[found];
      r = vkt_record{};
      r.row = line_number;
      r.data_length = static_cast<int32_t>(line.size());
      std::memcpy(r.data, line.data(), line.size());
      copy_fields(fields, year_of_date(year), r);
    }
    if (found < INT32_MAX) ++found;
  }
  return found;
}

}  // namespace vkt::records
