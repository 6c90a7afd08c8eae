// The trace for bug reports: what a person reads in its file, its bound, a
// path that cannot be written, and the trace of a host's usual road held
// against what the simulated logger saw on its side of the line.
#include "base/trace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "exports/module.h"
#include "support/serial_machine.h"
#include "support/temp_folder.h"
#include "vktsim/logger_sim.h"

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

// The bytes of every line "<what> <n> bytes: <hex> | ..." of a trace, or
// "<time> <- <hex> | ..." of the simulator's transcript, joined in order.
std::string joined_bytes(const std::vector<std::string>& lines, const std::regex& line_pattern) {
  std::string bytes;
  std::smatch m;
  for (const auto& line : lines) {
    if (!std::regex_search(line, m, line_pattern)) continue;
    std::istringstream hex(m[1].str());
    for (std::string byte; hex >> byte;) bytes += static_cast<char>(std::stoi(byte, nullptr, 16));
  }
  return bytes;
}

TEST(TraceOfTheRoad, HoldsEveryCallAndEveryByteTheLoggerSawInOrder) {
  testing::TempFolder folder;
  test::SerialMachine machine;
  vktsim::SimOptions options;
  options.paced = false;
  vktsim::GeneratorOptions generator;
  generator.count = 5;
  options.records = vktsim::generate_records(generator);
  options.tree_root = machine.root().string();
  options.transcript_path = folder / "sim.transcript";
  const std::string trace_path = folder / "vkt.trace";
  testing::ScopedEnv env("VKTCOM_TRACE", trace_path);
  {
    vktsim::LoggerSim sim(options);
    testing::Module m;
    ASSERT_NO_FATAL_FAILURE(testing::search_open_connect(m));
    ASSERT_EQ(m.vkt_clkset(), 1);
    ASSERT_EQ(m.vkt_inputdata(), 1);
    char line[VKTCOM_ALL_BUFFER_SIZE];
    const int32_t count = m.vkt_datacount();
    for (int32_t row = 1; row <= count; ++row) m.vkt_get_all(row, line);
    m.com_close();
  }
  const auto trace = lines_of(trace_path);
  const auto transcript = lines_of(folder / "sim.transcript");
  std::vector<std::string> calls;
  for (const auto& line : trace) {
    const std::string text = text_of(line);
    if (std::regex_match(text, std::regex(R"(\w+\(.*\)|vkt_get_all rows .*)"))) calls.push_back(text);
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"com_search()", "com_open(1)", "vkt_connect()", "vkt_clkset()",
                                             "vkt_inputdata()", "vkt_datacount()", "vkt_get_all rows 1..5 (5 calls)",
                                             "com_close()"}));
  // What the library wrote is what the logger received; what it took from
  // the port is what the logger sent.
  const std::string written = joined_bytes(trace, std::regex(R"(T\d+ write \d+ bytes: ([0-9A-F ]+) \|)"));
  const std::string taken = joined_bytes(trace, std::regex(R"(T\d+ received \d+ bytes: ([0-9A-F ]+) \|)"));
  EXPECT_EQ(written, joined_bytes(transcript, std::regex(R"(^\s*[\d.]+ <- ((?:[0-9A-F]{2} )+))")));
  EXPECT_EQ(taken, joined_bytes(transcript, std::regex(R"(^\s*[\d.]+ -> ((?:[0-9A-F]{2} )+))")));
  EXPECT_NE(written.find("D"), std::string::npos);
  std::string all;
  for (const auto& line : trace) all += text_of(line) + "\n";
  EXPECT_NE(all.find("vkt_inputdata -> 1"), std::string::npos) << all;
  EXPECT_NE(all.find(": opened"), std::string::npos) << all;
  EXPECT_NE(all.find("wait for the reply (3000 ms from its start): complete"), std::string::npos) << all;
  EXPECT_NE(all.find("download:"), std::string::npos) << all;
}

}  // namespace
}  // namespace vkt
