#pragma once
// The connect handshake: "m", then "p" for the parameter lines.
#include <string>
#include <string_view>
#include <vector>

#include <functional>

#include "protocol/channel.h"

namespace vkt::protocol {

// 1 when the logger answered both commands; shows the whole reply and its
// parameter lines in the monitor window's `view` (`Memo1`, `ListBox1`; looked
// up before the exchanges and again after them) and keeps the year in
// `param_year` and the record count in `param_count`. False, with the view
// cleared, when the logger stays silent, the port is closed or there is no
// monitor window.
bool vkt_connect(const Channel& channel, LoggerValues& values, const std::function<ReplyView*()>& view);

// The steps of the parameter reply's reading, in the order vkt_connect runs them.

// Every "\n\r" becomes "\r\n"; then the whole text is trimmed.
std::string normalise_parameter_reply(std::string_view reply);
// The trimmed lines ended by a CR; the text after the last CR (the
// terminator's line) is not one of them.
std::vector<std::string> split_parameter_lines(std::string_view text);
// The year of an "@Year=" line: its characters 7 to 10 (fewer when shorter).
std::string year_of_line(std::string_view line);
// The count of an "@Count=" line: the 10 characters from its first blank,
// trimmed, up to their first blank, trimmed; empty when no blank is left.
std::string count_of_line(std::string_view line);
// Sets `param_year` and `param_count` from the lines that carry their keys;
// the last such line wins and an absent key leaves its value as it was.
void apply_parameter_lines(LoggerValues& values, const std::vector<std::string>& lines);

}  // namespace vkt::protocol
