#include "vktcli/parameters.h"

#include <charconv>

#include "link/port_names.h"
#include "protocol/connect.h"

namespace vktcli {

// The year and the count are read by the library's own rules, so that the
// tool never disagrees with the library it drives.
LoggerParameters parse_parameters(std::string_view text) {
  LoggerParameters out;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    out.lines.emplace_back(line);

    if (line.find("@Year=") != std::string_view::npos) out.year = vkt::protocol::year_of_line(line);
    if (line.find("@Count=") != std::string_view::npos) {
      const std::string count = vkt::protocol::count_of_line(line);
      long value = 0;
      const auto [last, error] = std::from_chars(count.data(), count.data() + count.size(), value);
      if (!count.empty() && error == std::errc() && last == count.data() + count.size()) {
        out.count = value;
      } else {
        out.count.reset();
      }
    }
  }
  return out;
}

std::string port_device_path(int port) {
  if (port < 1 || port > 0xFFFF) return {};
  return vkt::link::device_path_for_port(static_cast<uint16_t>(port));
}

}  // namespace vktcli
