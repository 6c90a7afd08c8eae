#pragma once
// Writing downloaded records as CSV or as JSON lines, and putting a file in
// place only once it is complete.
#include <string>
#include <string_view>
#include <vector>

namespace vktcli {

// One record as the library's accessors hand it over (texts, unscaled).
struct RecordFields {
  std::string date;         // vkt_get_date, "2024/03/15"
  std::string time;         // vkt_get_time, "13:45:30.25"
  std::string x, y, z;      // vkt_get_x/y/z, acceleration counts
  std::string temperature;  // vkt_get_deg, "23.5"
  std::string humidity;     // vkt_get_humi
};

// Csv: the header row
//   "timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw"
// then one row per record; the timestamp is the record's date and time in
// ISO 8601 ("2024-03-15T13:45:30.25", the logger's local time, no offset),
// empty when its fields do not form a real date and time (month 13, second
// 60, hundredths 100, a date without a year ...). The other columns are the
// library's texts, unscaled: acceleration counts, temperature in whole and
// tenths, humidity as the logger's raw byte.
// JsonLines: one object per record with the columns of Csv as its keys, in
// the same order; the timestamp is null where Csv leaves it empty, date and
// time are strings, the other fields numbers (a text that is not a number
// stays a string).
// LegacyCsv: the first layout, "date,time,x,y,z,temperature,humidity".
// LegacyJsonLines: the first JSON layout, the keys of LegacyCsv.
enum class OutputFormat { Csv, LegacyCsv, JsonLines, LegacyJsonLines };

std::string format_records(const std::vector<RecordFields>& records, OutputFormat format);
std::string csv_row(const RecordFields& record);         // LegacyCsv
std::string csv_row_timed(const RecordFields& record);   // Csv
std::string json_line(const RecordFields& record);         // JsonLines
std::string json_line_legacy(const RecordFields& record);  // LegacyJsonLines
// The ISO 8601 timestamp of a record's library texts, empty when they do
// not form a real date and time.
std::string iso_timestamp(const std::string& date, const std::string& time);

// `s` as a JSON string, quoted, with '"', '\\' and control characters escaped.
std::string json_string(std::string_view s);

// Where an output file name leads. A symbolic link is followed to its
// target (a dangling one names a new file at its target); what is found
// there decides how it is written:
//   NewFile, RegularFile  written whole into a temporary file in the same
//                         folder and renamed over the name at the end, so
//                         the name only ever holds a complete file;
//   InPlace               a character device, a FIFO or a terminal: opened
//                         and written as it stands, never created, replaced
//                         or truncated (/dev/null stays /dev/null).
// A folder, a block device and a socket are refused (kExitOutputRefused);
// a name that cannot be made (no such folder, no write permission on the
// folder or on an existing file, a link loop) fails with kExitOutput.
enum class OutputKind { NewFile, RegularFile, InPlace };
struct OutputTarget {
  std::string path;  // the name actually written: the links' final target
  OutputKind kind = OutputKind::NewFile;
};
OutputTarget resolve_output(const std::string& path);

// Fails early (before a long download) when `path` cannot be written, by
// the rules of resolve_output.
void check_output_path(const std::string& path);

// Writes the text to `path` by the rules of resolve_output. A regular file
// that is replaced keeps its permissions; a new one gets 0666 less the
// umask. A temporary file is removed on failure. Throws Failure
// (kExitOutput or kExitOutputRefused).
void write_output(const std::string& path, std::string_view text);

}  // namespace vktcli
