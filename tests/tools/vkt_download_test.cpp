// `vkt download` against the simulated logger: the records come out field
// for field as the simulator holds them, files appear complete or not at
// all, and a failed download says why in its exit code.
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <algorithm>
#include <regex>

#include "support/pty_pair.h"
#include "tools/vkt_process.h"
#include "vktsim/records.h"

namespace vkt::testing {
namespace {

using ::testing::ContainsRegex;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::vector<vktsim::SimRecord> generated(std::size_t count, std::uint32_t seed, bool new_year = false) {
  vktsim::GeneratorOptions options;
  options.count = count;
  options.seed = seed;
  options.cross_new_year = new_year;
  return vktsim::generate_records(options);
}

// The row the program should print for a record, written from the record's
// own fields.
std::string csv_row(const vktsim::SimRecord& r) {
  return fmt::format("{:04}/{:02}/{:02},{:02}:{:02}:{:02}.{:02},{},{},{},{}.{},{}", r.year, r.month, r.day, r.hour,
                     r.minute, r.second, r.hundredths, r.x, r.y, r.z, r.deg, r.tenths, r.humi);
}

// The same row in the default layout: the ISO 8601 timestamp first.
std::string timed_row(const vktsim::SimRecord& r) {
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:02},", r.year, r.month, r.day, r.hour, r.minute,
                     r.second, r.hundredths) +
         csv_row(r);
}

// The CSV columns as keys, the timestamp first.
std::string json_row(const vktsim::SimRecord& r) {
  return fmt::format(
      R"({{"timestamp":"{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:02}","date":"{:04}/{:02}/{:02}",)"
      R"("time":"{:02}:{:02}:{:02}.{:02}","x_counts":{},"y_counts":{},"z_counts":{},"temperature":{}.{},)"
      R"("humidity_raw":{}}})",
      r.year, r.month, r.day, r.hour, r.minute, r.second, r.hundredths, r.year, r.month, r.day, r.hour, r.minute,
      r.second, r.hundredths, r.x, r.y, r.z, r.deg, r.tenths, r.humi);
}

std::string legacy_json_row(const vktsim::SimRecord& r) {
  return fmt::format(
      R"({{"date":"{:04}/{:02}/{:02}","time":"{:02}:{:02}:{:02}.{:02}","x":{},"y":{},"z":{},"temperature":{}.{},"humidity":{}}})",
      r.year, r.month, r.day, r.hour, r.minute, r.second, r.hundredths, r.x, r.y, r.z, r.deg, r.tenths, r.humi);
}

std::vector<std::string> expected_csv(const std::vector<vktsim::SimRecord>& records) {
  std::vector<std::string> lines{"timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw"};
  for (const auto& r : records) lines.push_back(timed_row(r));
  return lines;
}

std::vector<std::string> expected_legacy_csv(const std::vector<vktsim::SimRecord>& records) {
  std::vector<std::string> lines{"date,time,x,y,z,temperature,humidity"};
  for (const auto& r : records) lines.push_back(csv_row(r));
  return lines;
}

TEST(VktDownload, CsvOnStandardOutputMatchesTheSimulatedRecords) {
  struct Case {
    std::size_t count;
    std::uint32_t seed;
    bool new_year;
  };
  for (const Case c : {Case{150, 7, false}, Case{40, 3, true}}) {
    SCOPED_TRACE(fmt::format("count {} seed {} new year {}", c.count, c.seed, c.new_year));
    std::vector<std::string> args{"download",    "--simulate", "--sim-unpaced", "--sim-records",
                                  std::to_string(c.count), "--sim-seed", std::to_string(c.seed)};
    if (c.new_year) args.push_back("--sim-new-year");
    VktProcess process(args);
    const RunResult r = process.wait();
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(lines_of(r.out), expected_csv(generated(c.count, c.seed, c.new_year)));
    EXPECT_THAT(r.err, HasSubstr(fmt::format("downloaded {} records in", c.count)));
    EXPECT_THAT(process.leftovers(), IsEmpty()) << "the simulated device folders stay behind";
  }
}

TEST(VktDownload, JsonLinesCarryTheCsvFieldsAndTheFirstLayoutsStay) {
  // "-o -" is standard output; -q leaves standard error empty.
  const RunResult r =
      run_vkt({"download", "--json", "-q", "-o", "-", "--simulate", "--sim-unpaced", "--sim-records", "30"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::vector<std::string> expected, legacy_expected;
  for (const auto& record : generated(30, 1)) expected.push_back(json_row(record));
  for (const auto& record : generated(30, 1)) legacy_expected.push_back(legacy_json_row(record));
  EXPECT_EQ(lines_of(r.out), expected);

  const RunResult legacy_json =
      run_vkt({"download", "--format", "json-legacy", "--simulate", "--sim-unpaced", "--sim-records", "30"});
  ASSERT_EQ(legacy_json.exit_code, 0) << legacy_json.err;
  EXPECT_EQ(lines_of(legacy_json.out), legacy_expected);

  const RunResult legacy =
      run_vkt({"download", "--format", "csv-legacy", "--simulate", "--sim-unpaced", "--sim-records", "30"});
  ASSERT_EQ(legacy.exit_code, 0) << legacy.err;
  EXPECT_EQ(lines_of(legacy.out), expected_legacy_csv(generated(30, 1)));
}

TEST(VktDownload, OutputFileIsWrittenWholeAndReplacesAnOldOneKeepingItsMode) {
  TempFolder folder;
  const std::string fresh = folder / "fresh.csv";
  const std::string replaced = folder / "replaced.csv";
  {
    std::ofstream(replaced) << "old\n";
    chmod(replaced.c_str(), 0640);
  }
  for (const std::string& path : {fresh, replaced}) {
    const RunResult r = run_vkt({"download", "--simulate", "--sim-unpaced", "--sim-records", "25", "-o", path});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_THAT(r.out, IsEmpty());
    EXPECT_EQ(lines_of(read_text(path)), expected_csv(generated(25, 1)));
  }
  struct stat st {};
  ASSERT_EQ(stat(replaced.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_THAT(folder.entries(), ElementsAre("fresh.csv", "replaced.csv")) << "a temporary file stays behind";
}

TEST(VktDownload, TraceRecordsTheRoadAndAnUnwritableOneChangesNothing) {
  TempFolder folder;
  const std::string trace = folder / "vkt.trace";
  const RunResult r = run_vkt({"--trace", trace, "download", "--simulate", "--sim-unpaced", "--sim-records", "3"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const std::string text = read_text(trace);
  EXPECT_THAT(text, HasSubstr("vkt_inputdata -> 1"));
  EXPECT_THAT(text, ContainsRegex("write 1 bytes: 44 \\| D"));
  const RunResult unwritable =
      run_vkt({"--trace", folder / "missing/vkt.trace", "download", "--simulate", "--sim-unpaced", "--sim-records", "3"});
  EXPECT_EQ(unwritable.exit_code, 0) << unwritable.err;
  EXPECT_EQ(lines_of(unwritable.out), lines_of(r.out));
  EXPECT_THAT(unwritable.err, HasSubstr("no trace"));
}

// Each of these waits out the library's 3-second silence once, so they run
// side by side.
TEST(VktDownload, FailuresNameTheirCauseAndLeaveFilesAlone) {
  TempFolder folder;
  const std::string kept = folder / "kept.csv";
  const std::string never = folder / "never.csv";
  std::ofstream(kept) << "old\n";

  VktProcess silent({"download", "--simulate", "--sim-silent", "-o", kept});
  VktProcess bad_line({"download", "--simulate", "--sim-unpaced", "--sim-bad-record", "3", "-o", never});
  VktProcess unanswered({"send", "X", "--simulate", "--sim-unpaced", "--sim-no-answer", "X"});

  const RunResult s = silent.wait();
  EXPECT_EQ(s.exit_code, 6);
  EXPECT_THAT(s.err, HasSubstr("vkt: the logger does not answer"));
  EXPECT_EQ(read_text(kept), "old\n");

  const RunResult b = bad_line.wait();
  EXPECT_EQ(b.exit_code, 7);
  EXPECT_THAT(b.err, HasSubstr("vkt: the download failed: 1 of the lines received"));
  EXPECT_THAT(b.err, HasSubstr("line 4 has 19 characters, a record line has 20"));
  EXPECT_THAT(b.err, HasSubstr("--partial keeps the records received"));
  EXPECT_THAT(b.out, IsEmpty());
  EXPECT_THAT(folder.entries(), ElementsAre("kept.csv"));

  const RunResult u = unanswered.wait();
  EXPECT_EQ(u.exit_code, 7);
  EXPECT_THAT(u.out, IsEmpty());
  EXPECT_THAT(u.err, HasSubstr("simulated logger: did not answer"));
  EXPECT_THAT(u.err, HasSubstr("vkt: the logger did not answer X within 3 s"));
  for (VktProcess* p : {&silent, &bad_line, &unanswered}) EXPECT_THAT(p->leftovers(), IsEmpty());
}

// --partial keeps the records that came before the failure, with its own
// exit code; the cause is named either way.
TEST(VktDownload, PartialKeepsTheRecordsReceivedAndTheCauseIsNamed) {
  TempFolder folder;
  const std::string bad = folder / "bad.csv";
  VktProcess bad_line(
      {"download", "--simulate", "--sim-unpaced", "--sim-records", "12", "--sim-bad-record", "5", "--partial", "-o", bad});
  VktProcess hung_up({"download", "--simulate", "--sim-unpaced", "--sim-records", "400", "--sim-hang-up-after", "3000",
                      "--partial"});
  VktProcess silent({"download", "--simulate", "--sim-unpaced", "--sim-no-answer", "D"});

  const RunResult b = bad_line.wait();
  EXPECT_EQ(b.exit_code, 11) << b.err;
  EXPECT_THAT(b.err, HasSubstr("line 6 has 19 characters"));
  EXPECT_THAT(b.err, HasSubstr("kept 11 records received before the failure"));
  auto records = generated(12, 1);
  records.erase(records.begin() + 5);
  EXPECT_EQ(lines_of(read_text(bad)), expected_csv(records));

  const RunResult h = hung_up.wait();
  EXPECT_EQ(h.exit_code, 11) << h.err;
  EXPECT_THAT(h.err, ContainsRegex("the device hung up \\(unplugged\\?\\) after [0-9]+ bytes and [0-9]+ lines"));
  const auto lines = lines_of(h.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_LT(lines.size(), 400u);
  const auto all = expected_csv(generated(400, 1));
  for (std::size_t i = 0; i < lines.size(); ++i) ASSERT_EQ(lines[i], all[i]) << "line " << i;

  const RunResult s = silent.wait();
  EXPECT_EQ(s.exit_code, 7);
  EXPECT_THAT(s.err, HasSubstr("time-out, the logger fell silent for 3 s after 0 bytes and 0 lines"));
  EXPECT_THAT(s.out, IsEmpty());
}

// `vkt download | head -1`: the reader closes the pipe after its line; the
// program ends at once, quietly and with success.
TEST(VktDownload, AClosedPipeEndsTheProgramQuietlyWithSuccess) {
  VktProcess process({"download", "--simulate", "--sim-unpaced", "--sim-records", "5000"}, {}, /*piped_stdout=*/true);
  EXPECT_EQ(process.read_line(), "timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw");
  process.close_output();
  const RunResult r = process.wait();
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
}

// On a terminal the bar is redrawn to the terminal's width as it changes,
// and cleared before a message ("vkt: interrupted") is written.
TEST(VktDownload, TheProgressBarFollowsTheTerminalsWidthAndGivesWayToMessages) {
  vkt::test::PtyPair terminal;
  auto set_width = [&](unsigned short columns) {
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = columns;
    ASSERT_EQ(ioctl(terminal.master_fd(), TIOCSWINSZ, &size), 0);
  };
  set_width(100);
  TempFolder folder;
  VktProcess process({"download", "--simulate", "--sim-records", "1000", "-o", folder / "r.csv"}, {}, false, {},
                     terminal.slave_path());
  // The bars drawn so far: the texts between a CR and an erase-line.
  std::string seen;
  auto bars = [&] {
    std::vector<std::string> found;
    for (std::size_t at = seen.find('\r'); at != std::string::npos; at = seen.find('\r', at + 1)) {
      const std::size_t end = seen.find("\x1b[K", at);
      const std::string text = seen.substr(at + 1, end == std::string::npos ? 0 : end - at - 1);
      if (text.find("records") != std::string::npos && text.find('\r') == std::string::npos) found.push_back(text);
    }
    return found;
  };
  auto read_until = [&](auto done) {
    for (int i = 0; i < 100 && !done(); ++i) seen += terminal.read_some(4096, std::chrono::milliseconds(200));
    return done();
  };
  ASSERT_TRUE(read_until([&] { return !bars().empty(); })) << seen;
  EXPECT_GT(bars().back().size(), 40u);
  set_width(30);
  const std::size_t before = bars().size();
  ASSERT_TRUE(read_until([&] { return bars().size() > before + 2; })) << seen;
  EXPECT_LT(bars().back().size(), 30u) << bars().back();

  process.signal(SIGINT);
  const RunResult r = process.wait();
  seen += terminal.read_until_quiet(std::chrono::milliseconds(200));
  EXPECT_EQ(r.exit_code, 130);
  EXPECT_THAT(seen, HasSubstr("\r\x1b[Kvkt: interrupted"));
}

// With --partial an interrupt ends the download, not the program: the
// records received so far are written, and the exit code says interrupted.
TEST(VktDownload, AnInterruptWithPartialWritesTheRecordsReceived) {
  vkt::test::PtyPair terminal;
  TempFolder folder;
  VktProcess process({"download", "--simulate", "--sim-records", "1000", "--partial", "-o", folder / "r.csv"}, {},
                     false, {}, terminal.slave_path());
  // Interrupted once the bar counts records sent: the download runs.
  const std::regex counting("\r +[1-9][0-9]*/1000 records");
  std::string seen;
  for (int i = 0; i < 100 && !std::regex_search(seen, counting); ++i)
    seen += terminal.read_some(4096, std::chrono::milliseconds(200));
  ASSERT_TRUE(std::regex_search(seen, counting)) << seen;
  process.signal(SIGINT);
  const RunResult r = process.wait();
  seen += terminal.read_until_quiet(std::chrono::milliseconds(200));
  EXPECT_EQ(r.exit_code, 130);
  EXPECT_THAT(seen, HasSubstr("vkt: interrupted"));
  EXPECT_THAT(seen, HasSubstr("records received before the interruption (--partial)"));
  const std::vector<std::string> lines = lines_of(read_text(folder / "r.csv"));
  ASSERT_GE(lines.size(), 3u);
  EXPECT_LT(lines.size(), 1001u);
  EXPECT_EQ(lines[0], "timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw");
}

TEST(VktDownload, OutputFolderIsCheckedBeforeTheLoggerIsAsked) {
  TempFolder folder;
  const RunResult r = run_vkt({"download", "--simulate", "--sim-silent", "-o", folder / "missing/records.csv"});
  EXPECT_EQ(r.exit_code, 8);
  EXPECT_THAT(r.err, HasSubstr("vkt: cannot write"));
  // A folder is refused, with its own exit code, before the logger is asked.
  const RunResult f = run_vkt({"download", "--simulate", "--sim-silent", "-o", folder.path().string()});
  EXPECT_EQ(f.exit_code, 10);
  EXPECT_THAT(f.err, HasSubstr("it is a folder"));
}

TEST(VktDownload, ACharacterDeviceIsWrittenAndStaysADevice) {
  vkt::test::PtyPair pty;
  pty.make_slave_raw();
  const int held = pty.open_slave();  // the terminal stays up between the program's open and close
  ASSERT_GE(held, 0);
  VktProcess process({"download", "--simulate", "--sim-unpaced", "--sim-records", "5", "-o", pty.slave_path()});
  std::string text;
  for (int i = 0; i < 50 && std::count(text.begin(), text.end(), '\n') < 6; ++i) {
    text += pty.read_some(4096, std::chrono::milliseconds(200));
  }
  const RunResult r = process.wait();
  close(held);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(lines_of(text), expected_csv(generated(5, 1)));
  struct stat st {};
  ASSERT_EQ(stat(pty.slave_path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

}  // namespace
}  // namespace vkt::testing
