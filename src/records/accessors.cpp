// The record accessors: each reads the record table at the moment of the
// call. Row r is record r; row 0 reads the header texts, and every other row
// (a negative one too) reads empty cells.
#include "records/accessors.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>

#include "records/record_table.h"
#include "vktcom.h"

namespace vkt::records {
namespace {

// Characters `first` (counted from 1) to `first + count - 1` of `text`, cut
// short where the text ends.
std::string_view chars(std::string_view text, std::size_t first, std::size_t count) {
  if (text.size() < first) return {};
  return text.substr(first - 1, count);
}

std::string_view year_of(std::string_view date) { return chars(date, 1, 4); }
std::string_view month_of(std::string_view date) { return chars(date, 6, 2); }
std::string_view day_of(std::string_view date) { return chars(date, 9, 2); }

// The caller's buffer size for each field, the NUL included.
std::size_t buffer_size(TextField field) {
  switch (field) {
    case TextField::Date: return VKTCOM_DATE_BUFFER_SIZE;
    case TextField::Year: return VKTCOM_YEAR_BUFFER_SIZE;
    case TextField::Month: return VKTCOM_MONTH_BUFFER_SIZE;
    case TextField::Day: return VKTCOM_DAY_BUFFER_SIZE;
    case TextField::Time: return VKTCOM_TIME_BUFFER_SIZE;
    case TextField::Deg: return VKTCOM_DEG_BUFFER_SIZE;
    case TextField::X:
    case TextField::Y:
    case TextField::Z: return VKTCOM_AXIS_BUFFER_SIZE;
    case TextField::Humi: return VKTCOM_HUMI_BUFFER_SIZE;
    case TextField::All: return VKTCOM_ALL_BUFFER_SIZE;
  }
  return 1;
}

// Reads cells into small buffers: the texts of a record row are made on
// reading, without allocating.
class CellReader {
 public:
  CellReader(const ui::TextGrid& grid, int row)
      : table_(RecordTable::of(grid)), row_(row), in_table_(row >= 0 && row < grid.row_count()) {}

  // The cell's text, up to 63 characters (more than any accessor hands over).
  std::string_view operator()(int column) {
    Slot& slot = slots_[column];
    if (!(read_ & (1u << column))) {
      read_ |= 1u << column;
      slot.length = (table_ && in_table_) ? table_->copy_cell(column, row_, slot.text, sizeof slot.text) : 0;
    }
    return {slot.text, slot.length};
  }

 private:
  struct Slot {
    std::size_t length;
    char text[63];
  };
  const RecordTable* table_;
  int row_;
  bool in_table_;
  uint32_t read_ = 0;  // the columns read so far, by bit
  Slot slots_[kColumns];
};

// The line of vkt_get_all: year month/day-time deg humi x y z.
std::size_t all_fields(CellReader& cells, char* out) {
  const std::string_view date = cells(kDate);
  char* p = out;
  const auto put = [&p](std::string_view text, char separator) {
    if (!text.empty()) std::memcpy(p, text.data(), text.size());
    p += text.size();
    if (separator) *p++ = separator;
  };
  put(year_of(date), ' ');
  put(month_of(date), '/');
  put(day_of(date), '-');
  put(cells(kTime), ' ');
  put(cells(kDegText), ' ');
  put(cells(kHumi), ' ');
  put(cells(kX), ' ');
  put(cells(kY), ' ');
  put(cells(kZ), 0);
  return static_cast<std::size_t>(p - out);
}

// A cell read as a decimal integer; false when it is not one.
bool cell_number(std::string_view text, int32_t& value) {
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  return !text.empty() && error == std::errc() && end == last;
}

}  // namespace

int32_t vkt_datacount(RecordParts* parts) {
  if (!parts) return 0;
  const int32_t count = parts->grid.row_count() - 1;
  parts->reply.clear();
  parts->reply.set_text(std::to_string(count));
  return count;
}

void vkt_getdata(const ui::TextGrid* table_grid, int32_t row, uint8_t* data) {
  if (!table_grid) return;
  const ui::TextGrid& grid = *table_grid;
  data[0] = static_cast<uint8_t>(row & 0xFF);
  const RecordTable* table = RecordTable::of(grid);
  if (!table || row < 0 || row >= grid.row_count()) return;  // empty cells: no number
  RecordFields f;
  if (table->plain(row)) {
    // A decoded row converts to its fields; any other row's month cell is
    // empty, and the first conversion fails.
    if (!table->decoded_fields(row, f)) return;
    const int values[] = {f.month, f.year_tag, f.day, f.hour, f.minute, f.second, f.tenths,
                          f.x,     f.y,        f.z,   f.deg,  f.msec,   f.humi};
    for (std::size_t i = 0; i < std::size(values); ++i) data[i + 1] = static_cast<uint8_t>(values[i] & 0xFF);
    return;
  }
  // Columns 2 to 14 in order, each stored as soon as it is converted; the
  // first cell that is not a number ends the block (a row without a decoded
  // record leaves bytes 1-13 as they were).
  CellReader cells(grid, row);
  for (int column = kMonth; column <= kHumi; ++column) {
    int32_t value = 0;
    if (!cell_number(cells(column), value)) return;
    data[column - kMonth + 1] = static_cast<uint8_t>(value & 0xFF);
  }
}

void vkt_get_text(const ui::TextGrid* table_grid, TextField field, int32_t row, char* text) {
  if (!table_grid) return;
  const ui::TextGrid& grid = *table_grid;
  if (field == TextField::All && row > 0 && row < grid.row_count()) {
    // A decoded record row gives its line straight from its fields.
    const RecordTable* table = RecordTable::of(grid);
    char line[64];
    const std::size_t n = table ? table->copy_all_fields(row, line) : RecordTable::kNoLine;
    if (n != RecordTable::kNoLine) {
      const std::size_t kept = std::min(n, buffer_size(field) - 1);
      std::memcpy(text, line, kept);
      text[kept] = '\0';
      return;
    }
  }
  CellReader cells(grid, row);
  char all[16 + (kColumns - 9) * 64];  // nine pieces of at most 63 characters and their separators
  std::string_view value;
  switch (field) {
    case TextField::Date: value = cells(kDate); break;
    case TextField::Year: value = year_of(cells(kDate)); break;
    case TextField::Month: value = month_of(cells(kDate)); break;
    case TextField::Day: value = day_of(cells(kDate)); break;
    case TextField::Time: value = cells(kTime); break;
    case TextField::Deg: value = cells(kDegText); break;
    case TextField::X: value = cells(kX); break;
    case TextField::Y: value = cells(kY); break;
    case TextField::Z: value = cells(kZ); break;
    case TextField::Humi: value = cells(kHumi); break;
    case TextField::All: value = std::string_view(all, all_fields(cells, all)); break;
  }
  // Never more than the caller's buffer: a longer text (a corrupt year in
  // the date, say) is cut.
  const std::size_t n = std::min(value.size(), buffer_size(field) - 1);
  if (n > 0) std::memcpy(text, value.data(), n);
  text[n] = '\0';
}

}  // namespace vkt::records
