#include "protocol/connect.h"

#include "base/text.h"
#include "link/port_error.h"
#include "protocol/exchange.h"

namespace vkt::protocol {

std::string normalise_parameter_reply(std::string_view reply) {
  std::string text;
  text.reserve(reply.size());
  for (std::size_t i = 0; i < reply.size(); ++i) {
    if (reply[i] == '\n' && i + 1 < reply.size() && reply[i + 1] == '\r') {
      text += "\r\n";
      ++i;
    } else {
      text += reply[i];
    }
  }
  return trim(text);
}

std::vector<std::string> split_parameter_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::string rest(text);
  for (std::size_t cr = rest.find('\r'); cr != std::string::npos; cr = rest.find('\r')) {
    lines.push_back(trim(std::string_view(rest).substr(0, cr + 1)));
    // The remainder starts at the CR itself, which the trim removes.
    rest = trim(std::string_view(rest).substr(cr));
  }
  // What is left after the last CR (the terminator's line) is not a line.
  return lines;
}

std::string year_of_line(std::string_view line) {
  // Positions 7 to 10 of the line, wherever the key stands.
  if (line.size() <= 6) return {};
  return std::string(line.substr(6, 4));
}

std::string count_of_line(std::string_view line) {
  const std::size_t blank = line.find(' ');
  const std::string field = trim(line.substr(blank == std::string_view::npos ? 0 : blank, 10));
  const std::size_t end = field.find(' ');
  if (end == std::string::npos) return {};
  return trim(std::string_view(field).substr(0, end));
}

void apply_parameter_lines(LoggerValues& values, const std::vector<std::string>& lines) {
  for (const auto& line : lines)
    if (line.find("@Year=") != std::string::npos) values.param_year = year_of_line(line);
  for (const auto& line : lines)
    if (line.find("@Count=") != std::string::npos) values.param_count = count_of_line(line);
}

bool vkt_connect(const Channel& channel, LoggerValues& values, const std::function<ReplyView*()>& view) {
  if (!channel.ports.port()) return false;
  if (ReplyView* shown = view()) shown->clear_reply();
  std::string reply;
  try {
    if (protocol::exchange(channel, "m").empty()) return false;
    // No flush here: bytes that followed the first reply open this one.
    reply = exchange_unflushed(channel, "p");
  } catch (const link::PortError&) {
    return false;
  }
  if (reply.empty()) return false;
  const std::string text = normalise_parameter_reply(reply);
  const std::vector<std::string> lines = split_parameter_lines(text);
  // A dispatch inside the exchange may have released the window; the
  // logger has answered all the same, and its year and count still count.
  if (ReplyView* now = view()) now->show_reply(text, lines);
  apply_parameter_lines(values, lines);
  return true;
}

}  // namespace vkt::protocol
