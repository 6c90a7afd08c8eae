#pragma once
// The record table: the only store of downloaded records. 18 columns of text
// cells; row 0 holds the headers, record r lives in row r, and the record
// count is the row count - 1.
//
// Storage: a record row keeps no text of its own. It points into the text of
// the reply it came from (shared with the memo that shows the reply), and,
// once decoded, holds its fields in a few bytes with an index into a small
// pool of year texts that consecutive rows share. The texts of columns 0 and
// 2 to 17 are made when a cell is read. A cell written with other text than
// the row's own (a row number that is not the row's, say) keeps that text
// beside the row and reads back exactly as written.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <unordered_map>
#include <vector>

#include "records/record_decoder.h"
#include "ui/controls.h"

namespace vkt::records {

constexpr int kColumns = 18;
constexpr int kInitialRows = 5;

enum Column : int {
  kCount = 0, kData, kMonth, kYear, kDay, kHour, kMin, kSec, kTenths,
  kX, kY, kZ, kDeg, kMsec, kHumi, kDate, kTime, kDegText
};

constexpr std::array<std::string_view, kColumns> kHeaders = {
    "count", "data", "month", "year", "day", "hour", "min", "sec", "n",
    "x",     "y",    "z",     "deg",  "msec", "humi", "DATE", "TIME", "DEG"};

constexpr std::array<int, kColumns> kWidths = {40, 160, 30, 30, 30, 30, 30, 30, 30,
                                               30, 30,  30, 30, 30, 30, 80, 90, 50};

class RecordTable final : public ui::GridCells {
 public:
  RecordTable() = default;
  ~RecordTable() override;
  RecordTable(const RecordTable&) = delete;
  RecordTable& operator=(const RecordTable&) = delete;

  // The record table of a monitor window's grid; nullptr for a grid with
  // another store.
  static RecordTable* of(ui::TextGrid& grid) {
    return typeid(grid.cells()) == typeid(RecordTable) ? static_cast<RecordTable*>(&grid.cells()) : nullptr;
  }
  static const RecordTable* of(const ui::TextGrid& grid) {
    return typeid(grid.cells()) == typeid(RecordTable) ? static_cast<const RecordTable*>(&grid.cells()) : nullptr;
  }

  // The cell interface of the grid: any text may be written to any cell.
  std::string cell(int column, int row) const override;
  void set_cell(int column, int row, std::string text) override;
  void clear_row(int row) override;
  void drop_rows_from(int row) override;

  // Empties every record row at once (the headers stay) and lets go of
  // their storage and of the reply text.
  void clear_records();

  // The reply text that the lines of set_line lie in; kept until the
  // records are cleared. `expected_rows` sizes the row storage.
  void attach_text(std::shared_ptr<const std::string> text, std::size_t expected_rows);
  // Row `row` (1 or more) holds its row number and the raw line
  // text[offset, offset + length) of `text`, the attached text (attached
  // again when the records were cleared meanwhile; another text than the
  // attached one is copied). A record line is unpacked at once (its columns
  // 2 to 17 still read empty); the result tells whether it is one.
  bool set_line(int row, const std::shared_ptr<const std::string>& text, std::size_t offset, std::size_t length);
  // The raw line of a row (column 1 as read); valid until the row changes.
  std::string_view raw_line(int row) const;

  // Unpacks the row's raw line into `out` and keeps the fields with the
  // row; false when the raw line is not a record line.
  bool unpack_line(int row, RecordFields& out);
  // Marks a row whose line was unpacked decoded: columns 2 to 17 read from
  // its fields, DATE with `year`. Cells of those columns written before are
  // forgotten.
  void mark_decoded(int row, const std::string& year);
  // Columns 2 to 17 of the row read empty.
  void clear_decoded(int row);
  // The quick way through mark_decoded for the rows from `first` on whose
  // line was unpacked and that hold no written cell (a download's rows):
  // each row, in order, is marked decoded with the year of the pool that
  // year_of(row, year tag) names (see year_index). Stops after `last` or at
  // the first other row; returns the row it stopped at.
  template <class YearOf>
  int decode_unpacked(int first, int last, YearOf&& year_of);
  // The pool's index of `year`: the last year's when it is the same text,
  // else a new one.
  uint32_t year_index(const std::string& year);

  // For the accessors: whether every cell of the row reads what the row
  // itself holds (no cell written with other text), and the decoded fields
  // of such a row.
  bool plain(int row) const;
  bool decoded_fields(int row, RecordFields& out) const;
  // Writes at most `room` characters of the cell's text to `out` and returns
  // how many it wrote; no allocation for a plain row.
  std::size_t copy_cell(int column, int row, char* out, std::size_t room) const;
  // The line of vkt_get_all for a plain decoded row whose year has four
  // characters, into `out` (at least 48 bytes): year, blank, month, "/",
  // day, "-", TIME, blank, DEG, blank, humi, blank, x, blank, y, blank, z.
  // For any other row nothing is written and the result is kNoLine.
  static constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);
  std::size_t copy_all_fields(int row, char* out) const;

  // Bytes held for the record rows, their texts and the year pool.
  std::size_t held_bytes() const;

 private:
  enum Flags : uint8_t { kHasCount = 1, kHasLine = 2, kDecoded = 4, kWritten = 8, kUnpacked = 16 };
  // One record row: 24 bytes.
  struct Row {
    uint32_t offset = 0;  // raw line in text_
    uint32_t length = 0;
    uint32_t year = 0;    // index into years_
    uint32_t stamp = 0;   // the 28-bit time word, then 4 bits of tenths
    int8_t x = 0, y = 0, z = 0, deg = 0;
    uint8_t msec = 0, humi = 0;
    uint8_t flags = 0;
  };
  static_assert(sizeof(Row) == 24);

  static uint64_t key(int column, int row) { return static_cast<uint64_t>(row) * kColumns + column; }
  Row* row_for_write(int row);
  const Row* find_row(int row) const;
  const std::string* written(int column, int row) const;
  void forget_written(int row, int first_column, int last_column);
  // The text of a decoded column, except DATE, into `out` (16 bytes).
  std::size_t format_field(int column, const Row& r, char* out) const;
  std::size_t copy_own(int column, int row, const Row& r, char* out, std::size_t room) const;
  static void pack(Row& r, const RecordFields& f);
  static void unpack(const Row& r, RecordFields& f);

  std::array<std::string, kColumns> headers_;
  std::vector<Row> rows_;  // [row]; row 0 unused
  std::shared_ptr<const std::string> text_;
  std::vector<std::string> years_;
  std::unordered_map<uint64_t, std::string> written_;  // cells written with texts of their own
};

template <class YearOf>
int RecordTable::decode_unpacked(int first, int last, YearOf&& year_of) {
  int row = std::max(first, 1);
  for (; row <= last && static_cast<std::size_t>(row) < rows_.size(); ++row) {
    Row& r = rows_[static_cast<std::size_t>(row)];
    if ((r.flags & (kUnpacked | kWritten)) != kUnpacked) return row;
    // The year tag: bits 22 and 23 of the time word, which pack() puts above
    // the 4 bits of tenths.
    const uint32_t year = year_of(row, static_cast<int>((r.stamp >> 26) & 3));
    if (year >= years_.size()) return row;
    r.year = year;
    r.flags |= kDecoded;
  }
  return row;
}

// Lays out a fresh table: headers in row 0, column widths, five rows.
void lay_out_record_table(ui::TextGrid& grid);

}  // namespace vkt::records
