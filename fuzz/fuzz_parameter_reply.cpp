// The parameter reply's reading: the normalisation, the split into lines at
// CR, the "@Year=" and "@Count=" rules and their application to the
// library's values, each checked against the rule written out here.
#include <memory>

#include "exports/library.h"
#include "fuzz_support.h"
#include "protocol/connect.h"

using namespace vkt;

namespace {

bool is_trim_byte(char c) { return static_cast<unsigned char>(c) <= 0x20; }
bool is_trimmed(std::string_view s) { return s.empty() || (!is_trim_byte(s.front()) && !is_trim_byte(s.back())); }

Library& library() { return fuzz::quiet_library(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);

  const std::string text = protocol::normalise_parameter_reply(reply);
  FUZZ_CHECK(is_trimmed(text));
  FUZZ_CHECK(text.find("\n\r") == std::string::npos || text.find("\n\n\r") != std::string::npos ||
             text.size() <= reply.size());
  FUZZ_CHECK(text.size() <= reply.size());

  const std::vector<std::string> lines = protocol::split_parameter_lines(text);
  std::size_t crs = 0;
  for (char c : text) crs += c == '\r';
  // One line per CR of the text (the trim after each cut removes only
  // bytes up to the next CR, never a CR that is followed by other bytes).
  FUZZ_CHECK(lines.size() <= crs);
  for (const auto& line : lines) {
    FUZZ_CHECK(is_trimmed(line));
    FUZZ_CHECK(line.find('\r') == std::string::npos);
    FUZZ_CHECK(line.size() <= text.size());

    const std::string year = protocol::year_of_line(line);
    FUZZ_CHECK(year == (line.size() > 6 ? line.substr(6, 4) : std::string()));

    // The count: from the first blank, 10 characters, trimmed; up to the
    // first blank left, trimmed.
    const std::string count = protocol::count_of_line(line);
    const std::size_t blank = line.find(' ');
    std::string field = line.substr(blank == std::string::npos ? 0 : blank, 10);
    while (!field.empty() && is_trim_byte(field.front())) field.erase(0, 1);
    while (!field.empty() && is_trim_byte(field.back())) field.pop_back();
    const std::size_t end = field.find(' ');
    std::string want = end == std::string::npos ? std::string() : field.substr(0, end);
    while (!want.empty() && is_trim_byte(want.back())) want.pop_back();
    FUZZ_CHECK(count == want);
    FUZZ_CHECK(count.size() <= 10);
  }

  // The last line carrying a key wins; no key leaves the value alone.
  Library& lib = library();
  lib.logger.param_year = "keep-year";
  lib.logger.param_count = "keep-count";
  protocol::apply_parameter_lines(lib.logger, lines);
  std::string year = "keep-year";
  std::string count = "keep-count";
  for (const auto& line : lines) {
    if (line.find("@Year=") != std::string::npos) year = protocol::year_of_line(line);
    if (line.find("@Count=") != std::string::npos) count = protocol::count_of_line(line);
  }
  FUZZ_CHECK(lib.logger.param_year == year);
  FUZZ_CHECK(lib.logger.param_count == count);
  return 0;
}
