#include "vktsim/records.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <istream>
#include <random>
#include <stdexcept>

namespace vktsim {
namespace {

using Millis = std::chrono::sys_time<std::chrono::milliseconds>;

Millis to_time_point(const DateTime& t) {
  using namespace std::chrono;
  const sys_days date = year{t.year} / month{static_cast<unsigned>(t.month)} / day{static_cast<unsigned>(t.day)};
  return date + hours{t.hour} + minutes{t.minute} + seconds{t.second} + milliseconds{t.millisecond};
}

DateTime from_time_point(Millis tp) {
  using namespace std::chrono;
  const sys_days date = floor<days>(tp);
  const year_month_day ymd{date};
  const hh_mm_ss<milliseconds> hms{tp - date};
  DateTime t;
  t.year = static_cast<int>(ymd.year());
  t.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
  t.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
  t.hour = static_cast<int>(hms.hours().count());
  t.minute = static_cast<int>(hms.minutes().count());
  t.second = static_cast<int>(hms.seconds().count());
  t.millisecond = static_cast<int>(hms.subseconds().count());
  return t;
}

bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

unsigned hex_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return static_cast<unsigned>(c - 'A' + 10);
}

int signed_byte(unsigned v) { return v >= 128 ? static_cast<int>(v) - 256 : static_cast<int>(v); }

std::string trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}

[[noreturn]] void bad_line(std::size_t line_no, const std::string& why) {
  throw std::runtime_error("record file line " + std::to_string(line_no) + ": " + why);
}

void check_range(std::size_t line_no, const char* name, int v, int lo, int hi) {
  if (v < lo || v > hi)
    bad_line(line_no, std::string(name) + " " + std::to_string(v) + " is outside " + std::to_string(lo) + ".." +
                          std::to_string(hi));
}

// "yyyy/mm/dd hh:nn:ss.cc,x,y,z,deg,tenths,humi"
SimRecord parse_csv_record(const std::string& line, std::size_t line_no) {
  SimRecord r;
  int consumed = 0;
  int n = std::sscanf(line.c_str(), "%d/%d/%d %d:%d:%d%n", &r.year, &r.month, &r.day, &r.hour, &r.minute,
                      &r.second, &consumed);
  if (n != 6) bad_line(line_no, "expected 20 hexadecimal digits or yyyy/mm/dd hh:nn:ss.cc,x,y,z,deg,tenths,humi");
  const char* rest = line.c_str() + consumed;
  if (*rest == '.') {
    int more = 0;
    if (std::sscanf(rest, ".%d%n", &r.hundredths, &more) != 1) bad_line(line_no, "bad hundredths");
    rest += more;
  }
  int tail = 0;
  n = std::sscanf(rest, " ,%d ,%d ,%d ,%d ,%d ,%d %n", &r.x, &r.y, &r.z, &r.deg, &r.tenths, &r.humi, &tail);
  if (n != 6 || rest[tail] != '\0') bad_line(line_no, "expected six numbers x,y,z,deg,tenths,humi after the time");
  check_range(line_no, "month", r.month, 0, 15);
  check_range(line_no, "day", r.day, 0, 31);
  check_range(line_no, "hour", r.hour, 0, 31);
  check_range(line_no, "minute", r.minute, 0, 63);
  check_range(line_no, "second", r.second, 0, 63);
  check_range(line_no, "hundredths", r.hundredths, 0, 255);
  check_range(line_no, "x", r.x, -128, 127);
  check_range(line_no, "y", r.y, -128, 127);
  check_range(line_no, "z", r.z, -128, 127);
  check_range(line_no, "deg", r.deg, -128, 127);
  check_range(line_no, "tenths", r.tenths, 0, 15);
  check_range(line_no, "humi", r.humi, 0, 255);
  return r;
}

}  // namespace

std::string encode_record(const RecordFields& f) {
  const std::uint32_t word = (static_cast<std::uint32_t>(f.month) & 0xFu) << 24 |
                             (static_cast<std::uint32_t>(f.year_tag) & 0x3u) << 22 |
                             (static_cast<std::uint32_t>(f.day) & 0x1Fu) << 17 |
                             (static_cast<std::uint32_t>(f.hour) & 0x1Fu) << 12 |
                             (static_cast<std::uint32_t>(f.minute) & 0x3Fu) << 6 |
                             (static_cast<std::uint32_t>(f.second) & 0x3Fu);
  auto byte = [](int v) { return static_cast<unsigned>(v) & 0xFFu; };
  char text[21];
  std::snprintf(text, sizeof text, "%07X%X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(word),
                static_cast<unsigned>(f.tenths) & 0xFu, byte(f.x), byte(f.y), byte(f.z), byte(f.deg),
                byte(f.hundredths), byte(f.humi));
  return std::string(text, 20);
}

std::string encode_record(const SimRecord& r, unsigned year_tag) {
  RecordFields f;
  f.month = r.month;
  f.year_tag = static_cast<int>(year_tag);
  f.day = r.day;
  f.hour = r.hour;
  f.minute = r.minute;
  f.second = r.second;
  f.tenths = r.tenths;
  f.x = r.x;
  f.y = r.y;
  f.z = r.z;
  f.deg = r.deg;
  f.hundredths = r.hundredths;
  f.humi = r.humi;
  return encode_record(f);
}

std::optional<RecordFields> decode_record(std::string_view line) {
  if (line.size() != 20) return std::nullopt;
  for (char c : line)
    if (!is_hex(c)) return std::nullopt;
  auto digits = [&](std::size_t from, std::size_t count) {
    unsigned v = 0;
    for (std::size_t i = from; i < from + count; ++i) v = v * 16 + hex_value(line[i]);
    return v;
  };
  const unsigned word = digits(0, 7);
  RecordFields f;
  f.month = static_cast<int>(word >> 24);
  f.year_tag = static_cast<int>((word >> 22) & 3u);
  f.day = static_cast<int>((word >> 17) & 0x1Fu);
  f.hour = static_cast<int>((word >> 12) & 0x1Fu);
  f.minute = static_cast<int>((word >> 6) & 0x3Fu);
  f.second = static_cast<int>(word & 0x3Fu);
  f.tenths = static_cast<int>(digits(7, 1));
  f.x = signed_byte(digits(8, 2));
  f.y = signed_byte(digits(10, 2));
  f.z = signed_byte(digits(12, 2));
  f.deg = signed_byte(digits(14, 2));
  f.hundredths = static_cast<int>(digits(16, 2));
  f.humi = static_cast<int>(digits(18, 2));
  return f;
}

unsigned year_tag_for(int year, int first_year, unsigned base_tag) {
  const long long d = static_cast<long long>(year) - first_year + base_tag;
  return static_cast<unsigned>(((d % 4) + 4) % 4);
}

std::vector<std::string> encode_records(const std::vector<SimRecord>& records, unsigned base_tag) {
  std::vector<std::string> lines;
  lines.reserve(records.size());
  for (const SimRecord& r : records)
    lines.push_back(encode_record(r, year_tag_for(r.year, records.front().year, base_tag)));
  return lines;
}

std::optional<DateTime> parse_date_time(std::string_view text) {
  static constexpr char kForm[] = "dddd.dd.dd.dd.dd.dd";
  if (text.size() != sizeof(kForm) - 1) return std::nullopt;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (kForm[i] == 'd' && (text[i] < '0' || text[i] > '9')) return std::nullopt;
  auto num = [&](std::size_t from, std::size_t count) {
    int v = 0;
    for (std::size_t i = from; i < from + count; ++i) v = v * 10 + (text[i] - '0');
    return v;
  };
  DateTime t{num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), num(17, 2), 0};
  using namespace std::chrono;
  const year_month_day ymd{year{t.year}, month{static_cast<unsigned>(t.month)}, day{static_cast<unsigned>(t.day)}};
  if (!ymd.ok() || t.hour > 23 || t.minute > 59 || t.second > 59) return std::nullopt;
  return t;
}

std::string format_date_time(const DateTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return text;
}

DateTime add_milliseconds(const DateTime& t, long long ms) {
  return from_time_point(to_time_point(t) + std::chrono::milliseconds(ms));
}

std::vector<SimRecord> generate_records(const GeneratorOptions& options) {
  std::vector<SimRecord> records;
  records.reserve(options.count);
  const long long interval = options.interval_ms;

  Millis first = to_time_point(options.start);
  if (options.cross_new_year && options.count > 0) {
    using namespace std::chrono;
    const Millis new_year = sys_days{year{options.start.year + 1} / January / 1};
    first = new_year - milliseconds(interval * static_cast<long long>(options.count / 2));
  }

  // Own draws on the engine's raw output, so that a seed gives the same
  // recording with every standard library.
  std::mt19937 rng(options.seed);
  auto noise = [&rng](int span) { return static_cast<int>(rng() % static_cast<unsigned>(2 * span + 1)) - span; };
  auto clamp = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };

  int temp_tenths = 225 + noise(20);  // 20.5 .. 24.5 at the start
  int humidity = 50 + noise(10);
  for (std::size_t i = 0; i < options.count; ++i) {
    const Millis at = first + std::chrono::milliseconds(interval * static_cast<long long>(i));
    const DateTime t = from_time_point(at);
    SimRecord r;
    r.year = t.year;
    r.month = t.month;
    r.day = t.day;
    r.hour = t.hour;
    r.minute = t.minute;
    r.second = t.second;
    r.hundredths = t.millisecond / 10;

    const bool bump = rng() % 16 == 0;
    r.x = clamp(noise(3) + (bump ? noise(90) : 0), -128, 127);
    r.y = clamp(noise(3) + (bump ? noise(90) : 0), -128, 127);
    r.z = clamp(64 + noise(3) + (bump ? noise(60) : 0), -128, 127);

    temp_tenths = clamp(temp_tenths + noise(2), 200, 259);
    r.deg = temp_tenths / 10;
    r.tenths = temp_tenths % 10;
    humidity = clamp(humidity + noise(1), 30, 70);
    r.humi = humidity;
    records.push_back(r);
  }
  return records;
}

RecordSet parse_records(std::istream& in, int first_year) {
  RecordSet set;
  std::string raw;
  std::size_t line_no = 0;
  enum class Form { Unknown, Hex, Csv } form = Form::Unknown;
  int year = first_year;
  int last_tag = -1;
  while (std::getline(in, raw)) {
    ++line_no;
    const std::string line = trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const std::optional<RecordFields> fields = decode_record(line);
    const Form this_form = fields ? Form::Hex : Form::Csv;
    if (form != Form::Unknown && form != this_form)
      bad_line(line_no, "hexadecimal and readable records cannot be mixed in one file");
    form = this_form;
    if (fields) {
      if (last_tag >= 0 && fields->year_tag != last_tag) ++year;
      last_tag = fields->year_tag;
      SimRecord r;
      r.year = year;
      r.month = fields->month;
      r.day = fields->day;
      r.hour = fields->hour;
      r.minute = fields->minute;
      r.second = fields->second;
      r.hundredths = fields->hundredths;
      r.x = fields->x;
      r.y = fields->y;
      r.z = fields->z;
      r.deg = fields->deg;
      r.tenths = fields->tenths;
      r.humi = fields->humi;
      set.records.push_back(r);
      std::string upper = line;
      for (char& c : upper)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
      set.lines.push_back(upper);
    } else {
      set.records.push_back(parse_csv_record(line, line_no));
    }
  }
  return set;
}

RecordSet read_record_file(const std::string& path, int first_year) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot open record file " + path);
  return parse_records(in, first_year);
}

}  // namespace vktsim
