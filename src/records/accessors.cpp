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

// The line of vkt_get_all: year month/day-time deg humi x y z.
std::string all_fields(const windows::TextGrid& grid, int row) {
  const std::string& date = grid.cell(kDate, row);
  std::string line;
  line.reserve(VKTCOM_ALL_BUFFER_SIZE);
  line.append(year_of(date)).append(" ");
  line.append(month_of(date)).append("/");
  line.append(day_of(date)).append("-");
  line.append(grid.cell(kTime, row)).append(" ");
  line.append(grid.cell(kDegText, row)).append(" ");
  line.append(grid.cell(kHumi, row)).append(" ");
  line.append(grid.cell(kX, row)).append(" ");
  line.append(grid.cell(kY, row)).append(" ");
  line.append(grid.cell(kZ, row));
  return line;
}

// A cell read as a decimal integer; false when it is not one.
bool cell_number(const windows::TextGrid& grid, int column, int row, int32_t& value) {
  const std::string& text = grid.cell(column, row);
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  return !text.empty() && error == std::errc() && end == last;
}

}  // namespace

int32_t vkt_datacount(protocol::Session& library) {
  protocol::MonitorParts* form = library.monitor();
  if (!form) return 0;
  const int32_t count = form->StringGrid1.row_count() - 1;
  form->Memo1.clear();
  form->Memo1.set_text(std::to_string(count));
  return count;
}

void vkt_getdata(protocol::Session& library, int32_t row, uint8_t* data) {
  protocol::MonitorParts* form = library.monitor();
  if (!form) return;
  const windows::TextGrid& grid = form->StringGrid1;
  data[0] = static_cast<uint8_t>(row & 0xFF);
  // Columns 2 to 14 in order, each stored as soon as it is converted; the
  // first cell that is not a number ends the block (a row without a decoded
  // record leaves bytes 1-13 as they were).
  for (int column = kMonth; column <= kHumi; ++column) {
    int32_t value = 0;
    if (!cell_number(grid, column, row, value)) return;
    data[column - kMonth + 1] = static_cast<uint8_t>(value & 0xFF);
  }
}

void vkt_get_text(protocol::Session& library, TextField field, int32_t row, char* text) {
  protocol::MonitorParts* form = library.monitor();
  if (!form) return;
  const windows::TextGrid& grid = form->StringGrid1;
  std::string all;
  std::string_view value;
  switch (field) {
    case TextField::Date: value = grid.cell(kDate, row); break;
    case TextField::Year: value = year_of(grid.cell(kDate, row)); break;
    case TextField::Month: value = month_of(grid.cell(kDate, row)); break;
    case TextField::Day: value = day_of(grid.cell(kDate, row)); break;
    case TextField::Time: value = grid.cell(kTime, row); break;
    case TextField::Deg: value = grid.cell(kDegText, row); break;
    case TextField::X: value = grid.cell(kX, row); break;
    case TextField::Y: value = grid.cell(kY, row); break;
    case TextField::Z: value = grid.cell(kZ, row); break;
    case TextField::Humi: value = grid.cell(kHumi, row); break;
    case TextField::All:
      all = all_fields(grid, row);
      value = all;
      break;
  }
  // Never more than the caller's buffer: a longer text (a corrupt year in
  // the date, say) is cut.
  const std::size_t n = std::min(value.size(), buffer_size(field) - 1);
  if (n > 0) std::memcpy(text, value.data(), n);
  text[n] = '\0';
}

}  // namespace vkt::records
