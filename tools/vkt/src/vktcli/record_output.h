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

enum class OutputFormat { Csv, JsonLines };

// CSV: the header row "date,time,x,y,z,temperature,humidity", then one row
// per record. JSON lines: one object per record with the same keys; date and
// time are strings, the other fields numbers (a text that is not a number
// stays a string).
std::string format_records(const std::vector<RecordFields>& records, OutputFormat format);
std::string csv_row(const RecordFields& record);
std::string json_line(const RecordFields& record);

// Fails early (Failure, kExitOutput) when `path` cannot be made: its folder
// does not exist or cannot be written, or the path is a folder.
void check_output_path(const std::string& path);

// Writes the text into a temporary file in the folder of `path` and renames
// it to `path` when everything is written and flushed, so that `path` only
// ever holds a complete file (an existing file keeps its permissions). The
// temporary file is removed on failure. Throws Failure (kExitOutput).
void write_file_atomically(const std::string& path, std::string_view text);

}  // namespace vktcli
