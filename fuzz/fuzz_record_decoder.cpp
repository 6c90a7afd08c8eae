// The record line decoder and the accessors. The input is a record line
// (its first 20 bytes, or all of it when shorter); the fields are checked
// against a bit-field decode written here, and a table of such lines is read
// back through every accessor into buffers of exactly the documented size.
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "exports/library.h"
#include "fuzz_support.h"
#include "records/accessors.h"
#include "records/record_decoder.h"
#include "records/record_table.h"
#include "vktcom.h"

using namespace vkt;

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The oracle: the line as one 80-bit number, the fields cut from it.
std::optional<records::RecordFields> oracle(std::string_view line) {
  if (line.size() != 20) return std::nullopt;
  uint64_t high = 0;  // digits 1-8
  uint64_t low = 0;   // digits 9-20
  for (std::size_t i = 0; i < 20; ++i) {
    const int v = hex_value(line[i]);
    if (v < 0) return std::nullopt;
    (i < 8 ? high : low) = ((i < 8 ? high : low) << 4) | static_cast<uint64_t>(v);
  }
  const uint64_t w = high >> 4;
  auto signed_byte = [](uint64_t b) { return static_cast<int>(static_cast<int8_t>(static_cast<uint8_t>(b))); };
  records::RecordFields f;
  f.month = static_cast<int>(w >> 24);
  f.year_tag = static_cast<int>((w >> 22) & 3);
  f.day = static_cast<int>((w >> 17) & 0x1F);
  f.hour = static_cast<int>((w >> 12) & 0x1F);
  f.minute = static_cast<int>((w >> 6) & 0x3F);
  f.second = static_cast<int>(w & 0x3F);
  f.tenths = static_cast<int>(high & 0xF);
  f.x = signed_byte(low >> 40);
  f.y = signed_byte(low >> 32);
  f.z = signed_byte(low >> 24);
  f.deg = signed_byte(low >> 16);
  f.msec = static_cast<int>((low >> 8) & 0xFF);
  f.humi = static_cast<int>(low & 0xFF);
  return f;
}

// A library that stays for the whole run: making one per input costs more
// than the decoding.
Library& library() {
  Library& lib = fuzz::quiet_library();
  static bool made = (lib.ensure_monitor(), true);
  (void)made;
  return lib;
}

// Reads one field into a heap buffer of exactly `size` bytes, so that a
// write past it is caught.
void read_text(Library& lib, records::TextField field, int32_t row, std::size_t size) {
  auto buffer = std::make_unique<char[]>(size);
  records::vkt_get_text(lib.record_table(), field, row, buffer.get());
  FUZZ_CHECK(std::memchr(buffer.get(), '\0', size) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view line = input.substr(0, 20);

  const auto fields = records::parse_record_line(line);
  const auto expected = oracle(line);
  FUZZ_CHECK(fields.has_value() == expected.has_value());
  FUZZ_CHECK(records::is_record_line(line) == expected.has_value());
  if (fields) FUZZ_CHECK(*fields == *expected);

  // The rest of the input, cut into lines of 20 bytes, fills the table
  // after this line; the year starts from the input's second part.
  Library& lib = library();
  lib.logger.param_year = input.size() > 20 ? std::string(input.substr(20, 4)) : std::string("2009");
  ui::TextGrid& grid = lib.monitor()->StringGrid1;
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < input.size() && lines.size() < 8; at += 20) lines.emplace_back(input.substr(at, 20));
  grid.set_row_count(static_cast<int>(lines.size()) + 1);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    grid.set_cell(records::kCount, static_cast<int>(i) + 1, std::to_string(i + 1));
    grid.set_cell(records::kData, static_cast<int>(i) + 1, lines[i]);
  }
  for (int row = 1; row < grid.row_count(); ++row) lib.decode_rows(row, row);

  const int32_t count = records::vkt_datacount(lib.record_parts());
  FUZZ_CHECK(count == static_cast<int32_t>(lines.size()));
  for (int32_t row : {-1, 0, 1, count, count + 1, INT32_MAX, INT32_MIN}) {
    auto block = std::make_unique<uint8_t[]>(VKTCOM_DATA_BLOCK_SIZE);
    records::vkt_getdata(lib.record_table(), row, block.get());
    read_text(lib, records::TextField::Date, row, VKTCOM_DATE_BUFFER_SIZE);
    read_text(lib, records::TextField::Year, row, VKTCOM_YEAR_BUFFER_SIZE);
    read_text(lib, records::TextField::Month, row, VKTCOM_MONTH_BUFFER_SIZE);
    read_text(lib, records::TextField::Day, row, VKTCOM_DAY_BUFFER_SIZE);
    read_text(lib, records::TextField::Time, row, VKTCOM_TIME_BUFFER_SIZE);
    read_text(lib, records::TextField::Deg, row, VKTCOM_DEG_BUFFER_SIZE);
    read_text(lib, records::TextField::X, row, VKTCOM_AXIS_BUFFER_SIZE);
    read_text(lib, records::TextField::Y, row, VKTCOM_AXIS_BUFFER_SIZE);
    read_text(lib, records::TextField::Z, row, VKTCOM_AXIS_BUFFER_SIZE);
    read_text(lib, records::TextField::Humi, row, VKTCOM_HUMI_BUFFER_SIZE);
    read_text(lib, records::TextField::All, row, VKTCOM_ALL_BUFFER_SIZE);
    if (row == 1 && fields) {
      // The block holds the fields of the first line as the oracle has them.
      FUZZ_CHECK(block[1] == expected->month && block[3] == expected->day && block[6] == expected->second);
      FUZZ_CHECK(static_cast<int8_t>(block[8]) == expected->x && block[13] == expected->humi);
    }
  }
  return 0;
}
