#include "records/record_table.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "base/platform.h"

namespace vkt::records {
namespace {

// Tables holding more than this give their memory back to the system when
// they let it go.
constexpr std::size_t kReleaseThreshold = 1u << 20;

char* put_int(char* p, int value) {
  unsigned magnitude = static_cast<unsigned>(value);
  if (value < 0) {
    *p++ = '-';
    magnitude = 0u - magnitude;
  }
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (n > 0) *p++ = digits[--n];
  return p;
}

// At least two digits, zero-filled ("%0.2d"); the values are never negative.
char* put_two(char* p, int value) {
  if (value >= 0 && value < 10) *p++ = '0';
  return put_int(p, value);
}

// The month and day of a row's time stamp as two digits each, after
// `first` and parted by `between` ("/MM/DD" of the date cell).
char* put_month_day(char* p, uint32_t stamp, char first, char between) {
  *p++ = first;
  p = put_two(p, static_cast<int>(stamp >> 28));
  *p++ = between;
  return put_two(p, static_cast<int>((stamp >> 21) & 0x1F));
}

std::size_t copy_text(std::string_view text, char* out, std::size_t room) {
  const std::size_t n = std::min(text.size(), room);
  if (n > 0) std::memcpy(out, text.data(), n);
  return n;
}

}  // namespace

RecordTable::~RecordTable() {
  const bool large = held_bytes() > kReleaseThreshold;
  clear_records();
  if (large) platform::release_free_memory();
}

const RecordTable::Row* RecordTable::find_row(int row) const {
  if (row < 1 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
  return &rows_[row];
}

RecordTable::Row* RecordTable::row_for_write(int row) {
  if (row < 1) return nullptr;
  const auto index = static_cast<std::size_t>(row);
  if (index == rows_.size())
    rows_.emplace_back();  // the download adds its rows in order
  else if (index > rows_.size())
    rows_.resize(index + 1);
  return &rows_[index];
}

const std::string* RecordTable::written(int column, int row) const {
  const auto it = written_.find(key(column, row));
  return it == written_.end() ? nullptr : &it->second;
}

void RecordTable::forget_written(int row, int first_column, int last_column) {
  Row* r = row_for_write(row);
  if (!r || !(r->flags & kWritten)) return;
  bool left = false;
  for (int c = 0; c < kColumns; ++c) {
    if (c >= first_column && c <= last_column)
      written_.erase(key(c, row));
    else if (written(c, row))
      left = true;
  }
  if (!left) r->flags &= static_cast<uint8_t>(~kWritten);
}

std::string RecordTable::cell(int column, int row) const {
  if (row == 0) return headers_[column];
  const Row* r = find_row(row);
  if (!r) return {};
  if (r->flags & kWritten) {
    if (const std::string* text = written(column, row)) return *text;
  }
  if (column == kData) return std::string(raw_line(row));
  if (column == kDate && (r->flags & kDecoded)) {
    std::string date = years_[r->year];
    char tail[8];
    date.append(tail, static_cast<std::size_t>(put_month_day(tail, r->stamp, '/', '/') - tail));
    return date;
  }
  char text[32];
  return std::string(text, copy_own(column, row, *r, text, sizeof text));
}

std::size_t RecordTable::copy_cell(int column, int row, char* out, std::size_t room) const {
  if (row == 0) return copy_text(headers_[column], out, room);
  const Row* r = find_row(row);
  if (!r) return 0;
  if (r->flags & kWritten) {
    if (const std::string* text = written(column, row)) return copy_text(*text, out, room);
  }
  return copy_own(column, row, *r, out, room);
}

// The row's own text of a cell (nothing written over it).
std::size_t RecordTable::copy_own(int column, int row, const Row& r, char* out, std::size_t room) const {
  if (column == kCount) {
    if (!(r.flags & kHasCount)) return 0;
    char text[16];
    return copy_text(std::string_view(text, static_cast<std::size_t>(put_int(text, row) - text)), out, room);
  }
  if (column == kData) {
    if (!(r.flags & kHasLine)) return 0;
    return copy_text(std::string_view(*text_).substr(r.offset, r.length), out, room);
  }
  if (!(r.flags & kDecoded)) return 0;
  if (column == kDate) {
    const std::string& year = years_[r.year];
    std::size_t n = copy_text(year, out, room);
    char tail[8];
    const char* end = put_month_day(tail, r.stamp, '/', '/');
    n += copy_text(std::string_view(tail, static_cast<std::size_t>(end - tail)), out + n, room - n);
    return n;
  }
  char text[16];
  return copy_text(std::string_view(text, format_field(column, r, text)), out, room);
}

std::size_t RecordTable::copy_all_fields(int row, char* out) const {
  const Row* r = find_row(row);
  if (!r || (r->flags & (kDecoded | kWritten)) != kDecoded) return kNoLine;
  const std::string& year = years_[r->year];
  if (year.size() != 4) return kNoLine;
  char* p = out;
  std::memcpy(p, year.data(), 4);
  p += 4;
  p = put_month_day(p, r->stamp, ' ', '/');
  *p++ = '-';
  p += format_field(kTime, *r, p);
  *p++ = ' ';
  p += format_field(kDegText, *r, p);
  *p++ = ' ';
  p = put_int(p, r->humi);
  *p++ = ' ';
  p = put_int(p, r->x);
  *p++ = ' ';
  p = put_int(p, r->y);
  *p++ = ' ';
  p = put_int(p, r->z);
  return static_cast<std::size_t>(p - out);
}

std::size_t RecordTable::format_field(int column, const Row& r, char* out) const {
  const uint32_t word = r.stamp >> 4;
  const int month = static_cast<int>(word >> 24);
  const int tag = static_cast<int>((word >> 22) & 3);
  const int day = static_cast<int>((word >> 17) & 0x1F);
  const int hour = static_cast<int>((word >> 12) & 0x1F);
  const int minute = static_cast<int>((word >> 6) & 0x3F);
  const int second = static_cast<int>(word & 0x3F);
  const int tenths = static_cast<int>(r.stamp & 0xF);
  char* p = out;
  switch (column) {
    case kMonth: p = put_int(p, month); break;
    case kYear: p = put_int(p, tag); break;
    case kDay: p = put_int(p, day); break;
    case kHour: p = put_int(p, hour); break;
    case kMin: p = put_int(p, minute); break;
    case kSec: p = put_int(p, second); break;
    case kTenths: p = put_int(p, tenths); break;
    case kX: p = put_int(p, r.x); break;
    case kY: p = put_int(p, r.y); break;
    case kZ: p = put_int(p, r.z); break;
    case kDeg: p = put_int(p, r.deg); break;
    case kMsec: p = put_int(p, r.msec); break;
    case kHumi: p = put_int(p, r.humi); break;
    case kTime:
      p = put_two(p, hour);
      *p++ = ':';
      p = put_two(p, minute);
      *p++ = ':';
      p = put_two(p, second);
      *p++ = '.';
      p = put_two(p, r.msec);
      break;
    case kDegText:
      p = put_int(p, r.deg);
      *p++ = '.';
      p = put_int(p, tenths);
      break;
    default: break;
  }
  return static_cast<std::size_t>(p - out);
}

void RecordTable::set_cell(int column, int row, std::string text) {
  if (column < 0 || column >= kColumns || row < 0) return;
  if (row == 0) {
    headers_[column] = std::move(text);
    return;
  }
  Row* r = row_for_write(row);
  if (column == kCount && (text.empty() || text == std::to_string(row))) {
    // The row's own number, or nothing: no text to keep.
    forget_written(row, kCount, kCount);
    if (text.empty())
      r->flags &= static_cast<uint8_t>(~kHasCount);
    else
      r->flags |= kHasCount;
    return;
  }
  if (column == kData) r->flags &= static_cast<uint8_t>(~(kHasLine | kUnpacked));
  written_[key(column, row)] = std::move(text);
  r->flags |= kWritten;
}

void RecordTable::clear_row(int row) {
  if (row == 0) {
    for (std::string& header : headers_) header.clear();
    return;
  }
  if (!find_row(row)) return;
  forget_written(row, 0, kColumns - 1);
  rows_[row] = Row{};
}

void RecordTable::drop_rows_from(int row) {
  if (row <= 1) {
    clear_records();
    return;
  }
  if (static_cast<std::size_t>(row) < rows_.size()) {
    for (std::size_t r = static_cast<std::size_t>(row); r < rows_.size(); ++r)
      if (rows_[r].flags & kWritten) forget_written(static_cast<int>(r), 0, kColumns - 1);
    rows_.resize(static_cast<std::size_t>(row));
  }
}

void RecordTable::clear_records() {
  std::vector<Row>().swap(rows_);
  std::vector<std::string>().swap(years_);
  std::unordered_map<uint64_t, std::string>().swap(written_);
  text_.reset();
}

void RecordTable::attach_text(std::shared_ptr<const std::string> text, std::size_t expected_rows) {
  text_ = std::move(text);
  rows_.reserve(expected_rows + 1);
}

bool RecordTable::set_line(int row, const std::shared_ptr<const std::string>& text, std::size_t offset,
                           std::size_t length) {
  if (!text || offset > text->size()) return false;
  if (!text_) text_ = text;
  Row* r = row_for_write(row);
  if (!r) return false;
  if (r->flags & kWritten) forget_written(row, kCount, kData);
  r->flags = static_cast<uint8_t>((r->flags | kHasCount) & ~kUnpacked);
  constexpr std::size_t kMax = std::numeric_limits<uint32_t>::max();
  if (text_ != text) {
    set_cell(kData, row, text->substr(offset, length));
  } else if (offset <= kMax && length <= kMax - offset && offset + length <= text_->size()) {
    r->offset = static_cast<uint32_t>(offset);
    r->length = static_cast<uint32_t>(length);
    r->flags |= kHasLine;
  } else {
    // Beyond what a row can point to: the line keeps a text of its own.
    set_cell(kData, row, text_->substr(offset, length));
  }
  RecordFields f;
  return unpack_line(row, f);
}

std::string_view RecordTable::raw_line(int row) const {
  const Row* r = find_row(row);
  if (!r) return {};
  if (r->flags & kWritten) {
    if (const std::string* text = written(kData, row)) return *text;
  }
  if (!(r->flags & kHasLine)) return {};
  return std::string_view(*text_).substr(r->offset, r->length);
}

void RecordTable::pack(Row& r, const RecordFields& f) {
  const uint32_t word = (static_cast<uint32_t>(f.month) << 24) | (static_cast<uint32_t>(f.year_tag) << 22) |
                        (static_cast<uint32_t>(f.day) << 17) | (static_cast<uint32_t>(f.hour) << 12) |
                        (static_cast<uint32_t>(f.minute) << 6) | static_cast<uint32_t>(f.second);
  r.stamp = (word << 4) | static_cast<uint32_t>(f.tenths & 0xF);
  r.x = static_cast<int8_t>(f.x);
  r.y = static_cast<int8_t>(f.y);
  r.z = static_cast<int8_t>(f.z);
  r.deg = static_cast<int8_t>(f.deg);
  r.msec = static_cast<uint8_t>(f.msec);
  r.humi = static_cast<uint8_t>(f.humi);
}

void RecordTable::unpack(const Row& r, RecordFields& f) {
  const uint32_t word = r.stamp >> 4;
  unpack_time_word(word, f);
  f.tenths = static_cast<int>(r.stamp & 0xF);
  f.x = r.x;
  f.y = r.y;
  f.z = r.z;
  f.deg = r.deg;
  f.msec = r.msec;
  f.humi = r.humi;
}

bool RecordTable::unpack_line(int row, RecordFields& f) {
  Row* r = row_for_write(row);
  if (!r) return false;
  if (r->flags & kUnpacked) {
    unpack(*r, f);
    return true;
  }
  if (!parse_record_line(raw_line(row), f)) return false;
  // The fields of a decoded row stay as they are until it is decoded again.
  if (!(r->flags & kDecoded)) {
    pack(*r, f);
    r->flags |= kUnpacked;
  }
  return true;
}

void RecordTable::mark_decoded(int row, const std::string& year) {
  Row* r = row_for_write(row);
  if (!r) return;
  if (r->flags & kWritten) forget_written(row, kMonth, kColumns - 1);
  RecordFields f;
  if (!(r->flags & kUnpacked)) {
    if (!parse_record_line(raw_line(row), f)) return;
    pack(*r, f);
  }
  r->year = year_index(year);  // consecutive rows of one year share its text
  r->flags = static_cast<uint8_t>((r->flags | kDecoded | kUnpacked));
}

uint32_t RecordTable::year_index(const std::string& year) {
  if (years_.empty() || years_.back() != year) years_.push_back(year);
  return static_cast<uint32_t>(years_.size() - 1);
}

void RecordTable::clear_decoded(int row) {
  Row* r = row_for_write(row);
  if (!r) return;
  forget_written(row, kMonth, kColumns - 1);
  r->flags &= static_cast<uint8_t>(~(kDecoded | kUnpacked));
}

bool RecordTable::plain(int row) const {
  if (row == 0) return false;
  const Row* r = find_row(row);
  return !r || !(r->flags & kWritten);
}

bool RecordTable::decoded_fields(int row, RecordFields& f) const {
  const Row* r = find_row(row);
  if (!r || !(r->flags & kDecoded)) return false;
  unpack(*r, f);
  return true;
}

std::size_t RecordTable::held_bytes() const {
  std::size_t bytes = rows_.capacity() * sizeof(Row) + years_.capacity() * sizeof(std::string);
  for (const std::string& year : years_) bytes += year.capacity() > 15 ? year.capacity() : 0;
  if (text_) bytes += text_->capacity();
  for (const auto& [k, text] : written_) bytes += sizeof(k) + sizeof(text) + text.size();
  return bytes;
}

void lay_out_record_table(ui::TextGrid& grid) {
  grid.default_row_height = 16;
  grid.set_row_count(kInitialRows);
  for (int c = 0; c < kColumns; ++c) {
    grid.set_cell(c, 0, std::string(kHeaders[c]));
    grid.set_column_width(c, kWidths[c]);
  }
}

}  // namespace vkt::records
