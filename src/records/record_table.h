#pragma once
// The record table: the only store of downloaded records. 18 columns of text
// cells; row 0 holds the headers, record r lives in row r, and the record
// count is the row count - 1.
#include <array>
#include <string_view>

#include "base/controls.h"

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

// Lays out a fresh table: headers in row 0, column widths, five rows.
void lay_out_record_table(windows::TextGrid& grid);

}  // namespace vkt::records
