#pragma once
// Reading the logger's parameter lines as vkt_get_param hands them over:
// one line per parameter, each ended by CR LF, for example
//   @Year=2024
//   @Count= 1234 records
//   @Record=A
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vktcli {

struct LoggerParameters {
  std::vector<std::string> lines;  // without their line ends, empty lines left out
  std::string year;                // the library's year of the "@Year=" line; empty without the line
  std::optional<long> count;       // the library's count of the "@Count=" line, when a number
};

// The last line of each key wins, and each is read by the library's own rules.
LoggerParameters parse_parameters(std::string_view text);

// The device node the library opens for a port number (COM1-COM20 are
// ttyUSB0-19, COM21-40 ttyACM0-19, COM41-72 ttyS0-31), under
// $VKTCOM_DEV_ROOT or /dev; empty for other numbers.
std::string port_device_path(int port);

}  // namespace vktcli
