#pragma once
// The logger's parameters as the library hands them over: the parameter
// lines of vkt_get_param (one per parameter, each ended by CR LF), and the
// year and record count the library took from them (vkt_get_param_year,
// vkt_get_param_count). The program reads neither from the lines itself.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vktcli/module.h"

namespace vktcli {

struct LoggerParameters {
  std::vector<std::string> lines;  // without their line ends, empty lines left out
  std::string year;                // the library's year; empty when it has none
  std::optional<long> count;       // the library's record count, when it is a number
};

// The lines of `text` and the library's year and count.
LoggerParameters library_parameters(const Api& api, std::string_view text);

// The device path the library opens for a port number; empty for a number
// that stands for no device.
std::string port_device_path(const Api& api, int port);

}  // namespace vktcli
