// The trace's file: what a person reads in it, its bound, and a path that
// cannot be written.
#include "base/trace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace vkt {
namespace {

std::vector<std::string> lines_of(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The text after the time and the thread ("12.345 T1 <text>").
std::string text_of(const std::string& line) {
  const auto first = line.find(' ');
  return line.substr(line.find(' ', first + 1) + 1);
}

TEST(TraceFile, BytesShowLineEndsNulAndTerminatorAndAccessorRunsFold) {
  testing::TempFolder folder;
  Trace trace;
  ASSERT_TRUE(trace.start(folder / "t.log"));
  trace.bytes("received", std::string("35ED\r\n\0#\xFF", 9));
  for (int row = 1; row <= 1000; ++row) trace.accessor("vkt_get_all", row);
  trace.accessor("vkt_get_x", 7);
  trace.event("com_close()");
  trace.stop();
  const auto lines = lines_of(folder / "t.log");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(text_of(lines[0]), "received 9 bytes: 33 35 45 44 0D 0A 00 23 FF | 35ED\\r\\n\\0#\\xFF");
  EXPECT_EQ(text_of(lines[1]), "vkt_get_all rows 1..1000 (1000 calls)");
  EXPECT_EQ(text_of(lines[2]), "vkt_get_x rows 7..7 (1 call)");
  EXPECT_EQ(text_of(lines[3]), "com_close()");
  EXPECT_TRUE(lines[0].rfind("0.", 0) == 0 && lines[0].find(" T") != std::string::npos) << lines[0];
}

TEST(TraceFile, AFullFileMovesAsideSoTheLastPartIsKept) {
  testing::TempFolder folder;
  Trace trace;
  ASSERT_TRUE(trace.start(folder / "t.log", 1000));
  for (int i = 0; i < 100; ++i) trace.event("event " + std::to_string(i));
  trace.stop();
  const auto current = lines_of(folder / "t.log");
  const auto older = lines_of(folder / "t.log.1");
  ASSERT_FALSE(current.empty());
  ASSERT_FALSE(older.empty());
  EXPECT_EQ(text_of(current.back()), "event 99");
  EXPECT_EQ(text_of(older.back()), "event " + std::to_string(99 - static_cast<int>(current.size())));
  EXPECT_EQ(folder.entries(), (std::vector<std::string>{"t.log", "t.log.1"}));
}

TEST(TraceFile, APathThatCannotBeWrittenLeavesTheTraceOff) {
  testing::TempFolder folder;
  Trace trace;
  EXPECT_FALSE(trace.start(folder / "missing-folder/t.log"));
  EXPECT_FALSE(trace.on());
  trace.event("nothing");  // harmless
  EXPECT_TRUE(folder.entries().empty());
}

}  // namespace
}  // namespace vkt
