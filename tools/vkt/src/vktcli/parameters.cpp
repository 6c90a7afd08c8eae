#include "vktcli/parameters.h"

#include <cstdlib>

namespace vktcli {

LoggerParameters parse_parameters(std::string_view text) {
  LoggerParameters out;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    out.lines.emplace_back(line);

    if (const std::size_t key = line.find("@Year="); key != std::string_view::npos) {
      out.year = std::string(line.substr(key + 6, 4));
    }
    if (const std::size_t key = line.find("@Count="); key != std::string_view::npos) {
      std::string_view rest = line.substr(key + 7);
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
      long count = 0;
      std::size_t digits = 0;
      while (digits < rest.size() && digits < 9 && rest[digits] >= '0' && rest[digits] <= '9') {
        count = count * 10 + (rest[digits] - '0');
        ++digits;
      }
      if (digits > 0) {
        out.count = count;
      } else {
        out.count.reset();
      }
    }
  }
  return out;
}

std::string port_device_path(int port) {
  std::string name;
  if (port >= 1 && port <= 20) {
    name = "ttyUSB" + std::to_string(port - 1);
  } else if (port >= 21 && port <= 40) {
    name = "ttyACM" + std::to_string(port - 21);
  } else if (port >= 41 && port <= 72) {
    name = "ttyS" + std::to_string(port - 41);
  } else {
    return {};
  }
  const char* env = std::getenv("VKTCOM_DEV_ROOT");
  std::string root = (env != nullptr && *env != '\0') ? env : "/dev";
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  if (root != "/") root += '/';
  return root + name;
}

}  // namespace vktcli
