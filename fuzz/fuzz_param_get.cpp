// param_get and the read-back: one parameter line split into up to four
// values, checked against the split written out here, then the lines applied
// to the settings dialog's controls (which must take anything).
#include <array>
#include <memory>

#include "exports/library.h"
#include "fuzz_support.h"
#include "settings/param_readback.h"
#include "settings/settings_dialog.h"

using namespace vkt;

namespace {

bool is_trim_byte(char c) { return static_cast<unsigned char>(c) <= 0x20; }
std::string trim(std::string_view s) {
  while (!s.empty() && is_trim_byte(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_trim_byte(s.back())) s.remove_suffix(1);
  return std::string(s);
}
std::string cut(std::string_view s) { return std::string(s.substr(0, 255)); }

// The oracle: the split as the read-back describes it.
int split(std::string_view line_text, std::string_view key, std::array<std::string, 4>& values) {
  const std::string line = trim(line_text);
  if (line.find(key) == std::string::npos) return 0;
  const std::size_t equals = line.find('=');
  std::string rest = trim(cut(equals == std::string::npos ? std::string_view(line) : std::string_view(line).substr(equals + 1)));
  for (int k = 0; k < 4; ++k) {
    const std::size_t space = rest.find(' ');
    if (space == std::string::npos) {
      values[k] = rest;
      return k + 1;
    }
    values[k] = trim(std::string_view(rest).substr(0, space));
    rest = trim(cut(std::string_view(rest).substr(space + 1)));
  }
  if (const std::size_t space = rest.find(' '); space != std::string::npos) values[3] = trim(rest.substr(0, space));
  return 0;
}

Library& library() { return fuzz::quiet_library(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const uint8_t key_choice = input.byte();
  const std::string_view all = input.rest();

  std::array<std::string, 4> got{"a", "b", "c", "d"};
  std::array<std::string, 4> want = got;
  // A key of the table, or one made of the input's first line.
  const std::string_view key = key_choice < 0xF0 ? settings::kParameterKeys[key_choice % settings::kParameterKeys.size()]
                                                 : all.substr(0, all.find('\n'));
  const std::string_view line = all.substr(0, 600);
  const int n = settings::param_get(line, key, got);
  FUZZ_CHECK(n == split(line, key, want));
  FUZZ_CHECK(got == want);
  FUZZ_CHECK(n >= 0 && n <= 4);
  for (int k = 0; k < n; ++k) FUZZ_CHECK(got[k].size() <= 255);

  // The read-back of every line of the input into a dialog.
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < all.size() && lines.size() < 16;) {
    const std::size_t end = all.find('\n', at);
    lines.push_back(trim(all.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at)));
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  Library& lib = library();
  settings::TForm4& dialog = lib.ensure_settings_dialog();
  dialog.read_parameter_lines(lines);
  FUZZ_CHECK(dialog.RadioGroup_Record.item_index() < 5);
  FUZZ_CHECK(dialog.RadioGroup_Type.item_index() < 5);
  FUZZ_CHECK(dialog.RadioGroup_wait.item_index() < 6);
  return 0;
}
