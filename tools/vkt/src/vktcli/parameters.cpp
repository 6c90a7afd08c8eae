#include "vktcli/parameters.h"

#include <charconv>

namespace vktcli {

LoggerParameters library_parameters(const Api& api, std::string_view text) {
  LoggerParameters out;
  while (!text.empty()) {
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty()) out.lines.emplace_back(line);
  }
  out.year = whole_text([&](char* b, int32_t n) { return api.vkt_get_param_year(b, n); }).value_or("");
  const std::string count =
      whole_text([&](char* b, int32_t n) { return api.vkt_get_param_count(b, n); }).value_or("");
  long value = 0;
  const auto [last, error] = std::from_chars(count.data(), count.data() + count.size(), value);
  if (!count.empty() && error == std::errc() && last == count.data() + count.size()) out.count = value;
  return out;
}

std::string port_device_path(const Api& api, int port) {
  return whole_text([&](char* b, int32_t n) { return api.vkt_port_device(port, b, n); }).value_or("");
}

}  // namespace vktcli
