#pragma once
// Decoding one record line into the record table's columns 2 to 17.
//
// A record line is 20 hexadecimal digits (either case), most significant
// first. Digits 1-7 are a 28-bit word W holding the time stamp:
//   month = W >> 24, year tag = (W >> 22) & 3, day = (W >> 17) & 0x1F,
//   hour = (W >> 12) & 0x1F, minute = (W >> 6) & 0x3F, second = W & 0x3F;
// digit 8 is the temperature tenths; digits 9-20 are six bytes: x, y, z and
// whole degrees (signed), hundredths of the second and humidity (unsigned).
// The line carries no year: a change of year tag between two consecutive
// records means the next calendar year.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ui/controls.h"


namespace vkt::records {

constexpr std::size_t kRecordLineLength = 20;

// The fields of one record line, narrowed as the record table stores them.
struct RecordFields {
  int month = 0;     // 0-15
  int year_tag = 0;  // 0-3
  int day = 0;       // 0-31
  int hour = 0;      // 0-31
  int minute = 0;    // 0-63
  int second = 0;    // 0-63
  int tenths = 0;    // 0-15
  int x = 0;         // -128..127
  int y = 0;
  int z = 0;
  int deg = 0;       // -128..127
  int msec = 0;      // hundredths, 0-255
  int humi = 0;      // 0-255
  friend bool operator==(const RecordFields&, const RecordFields&) = default;
};

// True when `line` is exactly 20 hexadecimal digits.
bool is_record_line(std::string_view line);
// Unpacks a record line; nothing unless is_record_line(line).
std::optional<RecordFields> parse_record_line(std::string_view line);
// Sets the time fields (month to second) from the packed 28-bit time word of
// digits 1 to 7.
void unpack_time_word(uint32_t word, RecordFields& out);
// The same into `out`; false (and `out` unspecified) unless is_record_line(line).
bool parse_record_line(std::string_view line, RecordFields& out);

// The year rule of consecutive records. `year` is the year of the record
// before, `last_tag` its year tag; the record with tag `tag` is in the same
// year when the tags are equal and in the next one when they differ (one
// year per change, whatever the two tags are). The first record of a run
// (`first`) keeps `year` and starts `last_tag`. A `year` that is not a
// decimal number cannot be advanced and becomes empty. Returns whether the
// year changed.
bool advance_year(std::string& year, int32_t& last_tag, int tag, bool first);

// Decodes the raw line in column 1 of `row` (1 for the first record) of the
// record table `grid` into columns 2 to 17: the fields, then DATE
// (`param_year`, month, day), TIME and DEG. At row 1 `last_year_tag` starts
// from the row's tag; afterwards every change of tag advances `param_year`
// by one. A
// param_year that is not a decimal number cannot be advanced and becomes
// empty, so that the rows from there on are dated without a year ("/01/02").
// Rows outside 1 .. row count - 1 are left alone; a row whose column 1 is not
// a record line gets empty columns 2 to 17.
void RecordDecoder(ui::TextGrid& grid, std::string& param_year, int32_t& last_year_tag, int32_t row);
// RecordDecoder for rows first_row to last_row in increasing order, with one
// report of the changed rows to the window system.
void decode_record_rows(ui::TextGrid& grid, std::string& param_year, int32_t& last_year_tag, int32_t first_row,
                        int32_t last_row);

}  // namespace vkt::records
