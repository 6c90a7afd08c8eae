#include "records/record_table.h"

#include <string>

namespace vkt::records {

void lay_out_record_table(windows::TextGrid& grid) {
  grid.default_row_height = 16;
  grid.set_row_count(kInitialRows);
  for (int c = 0; c < kColumns; ++c) {
    grid.set_cell(c, 0, std::string(kHeaders[c]));
    grid.set_column_width(c, kWidths[c]);
  }
}

}  // namespace vkt::records
