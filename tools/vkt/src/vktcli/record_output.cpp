#include "vktcli/record_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

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

std::string json_value(std::string_view s) { return is_json_number(s) ? std::string(s) : json_string(s); }

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

std::string csv_row(const RecordFields& r) {
  return fmt::format("{},{},{},{},{},{},{}\n", csv_field(r.date), csv_field(r.time), csv_field(r.x),
                     csv_field(r.y), csv_field(r.z), csv_field(r.temperature), csv_field(r.humidity));
}

std::string json_line(const RecordFields& r) {
  return fmt::format(R"({{"date":{},"time":{},"x":{},"y":{},"z":{},"temperature":{},"humidity":{}}})"
                     "\n",
                     json_string(r.date), json_string(r.time), json_value(r.x), json_value(r.y),
                     json_value(r.z), json_value(r.temperature), json_value(r.humidity));
}

std::string format_records(const std::vector<RecordFields>& records, OutputFormat format) {
  std::string out;
  out.reserve(records.size() * 64 + 64);
  if (format == OutputFormat::Csv) out += "date,time,x,y,z,temperature,humidity\n";
  for (const RecordFields& r : records) out += format == OutputFormat::Csv ? csv_row(r) : json_line(r);
  return out;
}

void check_output_path(const std::string& path) {
  std::error_code ec;
  if (path.empty()) throw Failure(kExitOutput, "no output file named");
  if (fs::is_directory(path, ec)) throw Failure(kExitOutput, "cannot write " + path + ": it is a folder");
  const fs::path folder = folder_of(path);
  if (!fs::is_directory(folder, ec)) {
    throw Failure(kExitOutput, "cannot write " + path + ": no folder " + folder.string());
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    throw Failure(kExitOutput, "cannot write " + path + ": " + describe_errno(errno));
  }
}

void write_file_atomically(const std::string& path, std::string_view text) {
  check_output_path(path);
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

}  // namespace vktcli
