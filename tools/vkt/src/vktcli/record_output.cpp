#include "vktcli/record_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>

#include <fmt/format.h>

#include "vktcli/exit_codes.h"

namespace vktcli {
namespace {

namespace fs = std::filesystem;

bool is_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// A JSON number as the library writes its numbers: an optional minus, an
// integer part without leading zeros, an optional fraction.
bool is_json_number(std::string_view s) {
  if (!s.empty() && s.front() == '-') s.remove_prefix(1);
  const std::size_t dot = s.find('.');
  const std::string_view whole = s.substr(0, dot);
  if (!is_digits(whole) || (whole.size() > 1 && whole.front() == '0')) return false;
  return dot == std::string_view::npos || is_digits(s.substr(dot + 1));
}

std::string json_value(std::string_view s);

std::string csv_field(std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(s);
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string describe_errno(int error) { return std::strerror(error); }

fs::path folder_of(const fs::path& path) {
  const fs::path parent = path.parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

}  // namespace

std::string json_string(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      out += fmt::format("\\u{:04x}", u);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

namespace {
std::string json_value(std::string_view s) { return is_json_number(s) ? std::string(s) : json_string(s); }
}  // namespace

std::string csv_row(const RecordFields& r) {
  return fmt::format("{},{},{},{},{},{},{}\n", csv_field(r.date), csv_field(r.time), csv_field(r.x),
                     csv_field(r.y), csv_field(r.z), csv_field(r.temperature), csv_field(r.humidity));
}

std::string json_line_legacy(const RecordFields& r) {
  return fmt::format(R"({{"date":{},"time":{},"x":{},"y":{},"z":{},"temperature":{},"humidity":{}}})"
                     "\n",
                     json_string(r.date), json_string(r.time), json_value(r.x), json_value(r.y),
                     json_value(r.z), json_value(r.temperature), json_value(r.humidity));
}

std::string json_line(const RecordFields& r) {
  const std::string timestamp = iso_timestamp(r.date, r.time);
  return fmt::format(R"({{"timestamp":{},"date":{},"time":{},"x_counts":{},"y_counts":{},"z_counts":{},)"
                     R"("temperature":{},"humidity_raw":{}}})"
                     "\n",
                     timestamp.empty() ? std::string("null") : json_string(timestamp), json_string(r.date),
                     json_string(r.time), json_value(r.x), json_value(r.y), json_value(r.z),
                     json_value(r.temperature), json_value(r.humidity));
}

namespace {

// A field of exactly `digits` decimal digits, or nothing.
std::optional<int> number(std::string_view s, std::size_t digits) {
  if (s.size() != digits || !is_digits(s)) return std::nullopt;
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}


}  // namespace

std::string iso_timestamp(const std::string& date, const std::string& time) {
  // date "YYYY/MM/DD", time "HH:MM:SS.hh" (hundredths up to 255 take three digits)
  if (date.size() != 10 || date[4] != '/' || date[7] != '/') return "";
  if (time.size() < 11 || time[2] != ':' || time[5] != ':' || time[8] != '.') return "";
  const auto year = number(std::string_view(date).substr(0, 4), 4);
  const auto month = number(std::string_view(date).substr(5, 2), 2);
  const auto day = number(std::string_view(date).substr(8, 2), 2);
  const auto hour = number(std::string_view(time).substr(0, 2), 2);
  const auto minute = number(std::string_view(time).substr(3, 2), 2);
  const auto second = number(std::string_view(time).substr(6, 2), 2);
  const auto hundredths = number(std::string_view(time).substr(9), 2);
  if (!year || !month || !day || !hour || !minute || !second || !hundredths) return "";
  const std::chrono::year_month_day calendar_date{std::chrono::year(*year),
                                                 std::chrono::month(static_cast<unsigned>(*month)),
                                                 std::chrono::day(static_cast<unsigned>(*day))};
  if (!calendar_date.ok()) return "";
  if (*hour > 23 || *minute > 59 || *second > 59) return "";
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:02}", *year, *month, *day, *hour, *minute, *second,
                     *hundredths);
}

std::string csv_row_timed(const RecordFields& r) {
  return csv_field(iso_timestamp(r.date, r.time)) + "," + csv_row(r);
}

std::string format_records(const std::vector<RecordFields>& records, OutputFormat format) {
  std::string out;
  out.reserve(records.size() * 96 + 96);
  if (format == OutputFormat::Csv) out += "timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw\n";
  if (format == OutputFormat::LegacyCsv) out += "date,time,x,y,z,temperature,humidity\n";
  for (const RecordFields& r : records) {
    switch (format) {
      case OutputFormat::Csv: out += csv_row_timed(r); break;
      case OutputFormat::LegacyCsv: out += csv_row(r); break;
      case OutputFormat::JsonLines: out += json_line(r); break;
      case OutputFormat::LegacyJsonLines: out += json_line_legacy(r); break;
    }
  }
  return out;
}

namespace {
void write_file_atomically(const std::string& path, std::string_view text);
}  // namespace

OutputTarget resolve_output(const std::string& path) {
  if (path.empty()) throw Failure(kExitOutput, "no output file named");
  auto cannot = [&](const std::string& why) { return Failure(kExitOutput, "cannot write " + path + ": " + why); };
  auto refuse = [&](const std::string& what) {
    return Failure(kExitOutputRefused, "will not write " + path + ": it is " + what +
                                           " (name a file, a terminal, a FIFO or a character device)");
  };

  // Follow the chain of links by hand: a dangling link still names where
  // the new file goes, which realpath() would not tell.
  fs::path current(path);
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (lstat(current.c_str(), &st) != 0) {
      if (errno != ENOENT) throw cannot(describe_errno(errno));
      const fs::path folder = folder_of(current);
      struct stat fst {};
      if (stat(folder.c_str(), &fst) != 0 || !S_ISDIR(fst.st_mode)) throw cannot("no folder " + folder.string());
      if (access(folder.c_str(), W_OK | X_OK) != 0) throw cannot(describe_errno(errno));
      return {current.string(), OutputKind::NewFile};
    }
    if (S_ISLNK(st.st_mode)) {
      if (hops >= 40) throw cannot(describe_errno(ELOOP));
      std::error_code ec;
      const fs::path target = fs::read_symlink(current, ec);
      if (ec) throw cannot(ec.message());
      current = target.is_absolute() ? target : folder_of(current) / target;
      continue;
    }
    if (S_ISDIR(st.st_mode)) throw refuse("a folder");
    if (S_ISBLK(st.st_mode)) throw refuse("a block device");
    if (S_ISSOCK(st.st_mode)) throw refuse("a socket");
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
      if (access(current.c_str(), W_OK) != 0) throw cannot(describe_errno(errno));
      return {current.string(), OutputKind::InPlace};
    }
    if (!S_ISREG(st.st_mode)) throw refuse("neither a file nor a device");
    // A file its owner made read-only is not replaced behind his back,
    // though the folder would allow the rename.
    if (access(current.c_str(), W_OK) != 0) throw cannot(describe_errno(errno));
    const fs::path folder = folder_of(current);
    if (access(folder.c_str(), W_OK | X_OK) != 0) throw cannot(describe_errno(errno));
    return {current.string(), OutputKind::RegularFile};
  }
}

void check_output_path(const std::string& path) { resolve_output(path); }

void write_output(const std::string& path, std::string_view text) {
  const OutputTarget target = resolve_output(path);
  if (target.kind != OutputKind::InPlace) {
    write_file_atomically(target.path, text);
    return;
  }
  // No O_CREAT: should the node have gone since it was looked at, nothing
  // is created in its place. No O_TRUNC: a device or FIFO has nothing to cut.
  const int fd = open(target.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) throw Failure(kExitOutput, "cannot write " + path + ": " + describe_errno(errno));
  struct stat st {};
  if (fstat(fd, &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
    close(fd);
    throw Failure(kExitOutput, "cannot write " + path + ": it changed while the records were downloaded");
  }
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      close(fd);
      throw Failure(kExitOutput, "cannot write " + path + ": " + describe_errno(error));
    }
    done += static_cast<std::size_t>(n);
  }
  if (close(fd) != 0 && errno != EINTR) {
    throw Failure(kExitOutput, "cannot write " + path + ": " + describe_errno(errno));
  }
}

namespace {

// Writes a regular file or a new name whole: a temporary file in the same
// folder, renamed over `path` once written and flushed.
void write_file_atomically(const std::string& path, std::string_view text) {
  const fs::path target(path);
  std::string temporary = (folder_of(target) / ("." + target.filename().string() + ".vkt-XXXXXX")).string();
  const int fd = mkstemp(temporary.data());
  if (fd < 0) throw Failure(kExitOutput, "cannot write " + path + ": " + describe_errno(errno));

  auto fail = [&](int error) {
    close(fd);
    unlink(temporary.c_str());
    throw Failure(kExitOutput, "cannot write " + path + ": " + describe_errno(error));
  };

  // A new file gets the usual permissions; a replaced one keeps its own.
  mode_t mode = 0;
  if (struct stat existing {}; stat(path.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  if (fchmod(fd, mode) != 0) fail(errno);

  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    done += static_cast<std::size_t>(n);
  }
  if (fsync(fd) != 0) fail(errno);
  if (close(fd) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    throw Failure(kExitOutput, "cannot write " + path + ": " + describe_errno(error));
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    throw Failure(kExitOutput, "cannot write " + path + ": " + describe_errno(error));
  }
}

}  // namespace

}  // namespace vktcli
