// The manual pages describe the programs that are built: every subcommand and
// option of their help appears there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>

#include "tools/vkt_process.h"

namespace vkt::testing {
namespace {

// A manual page's text with roff's escaped minus signs plain.
std::string man_page_text(const std::string& page) {
  std::string text = read_text(std::string(VKTCOM_SOURCE_DIR) + "/docs/" + page);
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '-') continue;
    plain += text[i];
  }
  return plain;
}

// The long options ("--port") a help text lists in its option column.
std::set<std::string> options_of(const std::string& help) {
  std::set<std::string> options;
  static const std::regex option("^  (?:-[a-zA-Z],)?(--[a-z][a-z0-9-]*)");
  for (const std::string& line : lines_of(help)) {
    std::smatch m;
    if (std::regex_search(line, m, option) && m[1] != "--help") options.insert(m[1]);
  }
  return options;
}

TEST(VktDocs, EverySubcommandAndOptionOfTheHelpIsInTheManPage) {
  const std::string man = man_page_text("vkt.1");
  ASSERT_FALSE(man.empty());

  const std::vector<std::vector<std::string>> helps = {
      {"--help"},          {"ports", "--help"},    {"info", "--help"},     {"clock", "--help"},
      {"download", "--help"}, {"send", "--help"}, {"watch", "--help"},    {"settings", "--help"},
      {"settings", "set", "--help"}};
  for (const auto& args : helps) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const RunResult r = run_vkt(args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    for (const std::string& option : options_of(r.out))
      EXPECT_NE(man.find(option), std::string::npos) << option << " is missing from docs/vkt.1";
    if (args.size() == 2 && args.front() != "--help")
      EXPECT_NE(man.find(".B " + args.front()), std::string::npos) << args.front() << " is missing from docs/vkt.1";
  }
}

TEST(VktDocs, EveryOptionOfVktsimIsInItsManPage) {
  const std::string man = man_page_text("vktsim.1");
  ASSERT_FALSE(man.empty());
  VktProcess process({"--help"}, {}, false, VKTCOM_TOOLS_DIR "/vktsim/vktsim");
  const RunResult r = process.wait();
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::set<std::string> options = options_of(r.out);
  EXPECT_GT(options.size(), 20u);
  for (const std::string& option : options)
    EXPECT_NE(man.find(option), std::string::npos) << option << " is missing from docs/vktsim.1";
}

}  // namespace
}  // namespace vkt::testing
