#pragma once
// The logger's records: the packed 20-digit record line, a generator of
// plausible recordings, and a reader for record files.
//
// Record line (20 upper-case hexadecimal digits, most significant first):
//   digits 1-7   a 28-bit word W: month = W>>24, year tag = (W>>22)&3,
//                day = (W>>17)&0x1F, hour = (W>>12)&0x1F,
//                minute = (W>>6)&0x3F, second = W&0x3F
//   digit 8      temperature tenths, 0-15
//   digits 9-20  six bytes: x, y, z (signed), temperature in whole degrees
//                (signed), hundredths of the second, humidity
// The line carries no year, only a 2-bit tag; a change of tag between two
// consecutive records means the next calendar year.
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vktsim {

// One record as the logger holds it, dated with the full calendar year.
struct SimRecord {
  int year = 2024;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int hundredths = 0;  // 0-255 on the line, 0-99 in a real recording
  int x = 0;           // acceleration counts, -128..127
  int y = 0;
  int z = 0;
  int deg = 20;        // temperature, whole degrees, -128..127
  int tenths = 0;      // temperature tenths digit, 0-15
  int humi = 50;       // humidity, 0-255
  friend bool operator==(const SimRecord&, const SimRecord&) = default;
};

// The fields of one record line exactly as packed.
struct RecordFields {
  int month = 0;
  int year_tag = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int tenths = 0;
  int x = 0;
  int y = 0;
  int z = 0;
  int deg = 0;
  int hundredths = 0;
  int humi = 0;
  friend bool operator==(const RecordFields&, const RecordFields&) = default;
};

// Packs the fields into a record line. Each value is cut to its field's
// width (signed values in two's complement), so out-of-range values wrap
// rather than spill into a neighbouring field.
std::string encode_record(const RecordFields& fields);
// Packs a record with the given year tag (0-3).
std::string encode_record(const SimRecord& record, unsigned year_tag);

// Unpacks a record line of exactly 20 hexadecimal digits (either case);
// nothing for any other text.
std::optional<RecordFields> decode_record(std::string_view line);

// The year tag of `year` in a recording whose first record is dated
// `first_year` and carries `base_tag`: (year - first_year + base_tag) mod 4.
unsigned year_tag_for(int year, int first_year, unsigned base_tag);

// Encodes a whole recording; the first record carries `base_tag`.
std::vector<std::string> encode_records(const std::vector<SimRecord>& records, unsigned base_tag);

// A date and time of day on the logger's clock (local time, no zone).
struct DateTime {
  int year = 2024;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Reads "yyyy/mm/dd hh:nn:ss": digits at their places, any one byte as each
// separator. Nothing when the text has another shape or the date or time is
// impossible.
std::optional<DateTime> parse_date_time(std::string_view text);
// Writes "yyyy/mm/dd hh:nn:ss" (milliseconds are not shown).
std::string format_date_time(const DateTime& t);
// Moves a date and time by a signed number of milliseconds.
DateTime add_milliseconds(const DateTime& t, long long ms);

struct GeneratorOptions {
  std::size_t count = 100;
  std::uint32_t seed = 1;
  DateTime start{2024, 3, 15, 13, 45, 30, 0};
  std::uint32_t interval_ms = 1000;
  // Moves the start so that the middle record (index count / 2) is the
  // first one of the next year, at 00:00:00.00 on 1 January.
  bool cross_new_year = false;
};

// A recording from a seed: time stamps `interval_ms` apart, a logger lying
// still (x and y near 0, z near 64) with noise and now and then a bump,
// temperature 20.0-25.9 drifting in tenths, humidity drifting in 30-70.
// The same options always give the same records.
std::vector<SimRecord> generate_records(const GeneratorOptions& options);

// Records read from a file. `lines` is filled only for the hexadecimal form
// and then holds the lines to send verbatim (upper-cased).
struct RecordSet {
  std::vector<SimRecord> records;
  std::vector<std::string> lines;
};

// Reads records, one per line, in one of two forms (not mixed):
//   20 hexadecimal digits, sent as they are; the first record is dated
//     `first_year` and every change of year tag advances the year by one;
//   "yyyy/mm/dd hh:nn:ss.cc,x,y,z,deg,tenths,humi" (".cc" optional), for
//     example "2024/03/15 13:45:30.25,1,-2,64,23,5,45".
// Blank lines and lines starting with "#" are skipped. Throws
// std::runtime_error naming the line on a malformed or out-of-range line.
RecordSet parse_records(std::istream& in, int first_year);
RecordSet read_record_file(const std::string& path, int first_year);

}  // namespace vktsim
