// The other subcommands of `vkt` against the simulated logger, and what the
// program says when there is no logger, no port or no library.
#include <signal.h>
#include <time.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "tools/vkt_process.h"

namespace vkt::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(VktCommands, PortsFindsTheSimulatedAdapter) {
  const RunResult r = run_vkt({"ports", "--simulate"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto lines = lines_of(r.out);
  EXPECT_THAT(lines, Contains(ContainsRegex("^COM1 \\(.*/dev/ttyUSB0\\)$")));
  EXPECT_THAT(lines, Contains("  VID_1F2E+PID_3D4C+VKT00001A"));
  EXPECT_THAT(lines, Contains("Label11: finished"));
}

TEST(VktCommands, InfoPrintsTheParameterLinesYearAndCount) {
  const RunResult r = run_vkt({"info", "--simulate", "--sim-unpaced", "--sim-records", "57"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto lines = lines_of(r.out);
  EXPECT_THAT(lines, Contains("  @Year=2024"));
  EXPECT_THAT(lines, Contains("  @Count= 57 records"));
  EXPECT_THAT(lines, Contains("  @gmenDR_A RLS=1.07"));
  EXPECT_THAT(lines, Contains("year: 2024"));
  EXPECT_THAT(lines, Contains("records: 57"));
  EXPECT_THAT(lines, Contains(ContainsRegex("^library: .* \\(version 107\\)$")));
}

TEST(VktCommands, ClockReachesTheLogger) {
  const RunResult r = run_vkt({"clock", "--simulate", "--sim-unpaced"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // The simulated logger's clock is the time of the "s" command it took.
  const std::string stamp = "[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}";
  EXPECT_THAT(lines_of(r.out), ElementsAre(MatchesRegex("clock set from the PC: " + stamp),
                                           MatchesRegex("simulated logger's clock: " + stamp)));
}

TEST(VktCommands, SendReportsTheReply) {
  const RunResult r = run_vkt({"send", "N42", "--simulate", "--sim-unpaced"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("sent N42: reply received"));
  EXPECT_THAT(r.out, HasSubstr("simulated logger: answered"));
}

TEST(VktCommands, WatchAnnouncesArrivalAndDepartureAndStopsOnSigint) {
  VktProcess watch({"watch", "--simulate", "--sim-unplug-after", "300"}, {}, /*piped_stdout=*/true);
  EXPECT_EQ(watch.read_line(), "接続 Port=1");
  EXPECT_EQ(watch.read_line(), "切断");
  watch.signal(SIGINT);
  const RunResult r = watch.wait();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(watch.leftovers(), IsEmpty());
}

TEST(VktCommands, MissingLoggerPortOrLibraryAreReportedByExitCode) {
  TempFolder empty;  // a machine with no serial devices at all
  const std::map<std::string, std::string> no_devices{{"VKTCOM_DEV_ROOT", empty / "dev"},
                                                      {"VKTCOM_SYSFS_ROOT", empty / "sys"}};
  RunResult r = run_vkt({"info"}, no_devices);
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_THAT(r.err, HasSubstr("vkt: no logger found"));

  r = run_vkt({"download", "--port", "3"}, no_devices);
  EXPECT_EQ(r.exit_code, 5);
  EXPECT_THAT(r.err, HasSubstr("vkt: cannot open COM3"));

  r = run_vkt({"info", "--simulate", "--library", empty / "libnothing.so"});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_THAT(r.err, HasSubstr("cannot load"));
}

TEST(VktCommands, BadCommandLinesExitWithTwo) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"fly"}, {"download", "--sim-records", "5"}, {"send"},
        {"settings", "set", "--detect", "0", "--simulate"}, {"settings", "set", "--wait", "3", "--simulate"},
        {"settings", "--port", "1", "--simulate"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const RunResult r = run_vkt(args);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_THAT(r.out, Not(HasSubstr("sending")));
  }
}

// ---- settings: the dialog driven in the program ----

std::string tomorrow_start() {
  const time_t t = time(nullptr) + 24 * 3600;
  struct tm local {};
  localtime_r(&t, &local);
  return fmt::format("{:02}/{:02} {:02}:{:02}", local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
}

TEST(VktSettings, ShowsTheSettingsAsTheDialogReadsThemBack) {
  const RunResult r = run_vkt({"settings", "--simulate", "--sim-unpaced"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto lines = lines_of(r.out);
  EXPECT_THAT(lines, Contains("port:     COM1"));
  EXPECT_THAT(lines, Contains("Record:   jA_1min"));
  EXPECT_THAT(lines, Contains("Interval: i6_20msec"));
  EXPECT_THAT(lines, Contains("Type:     10_VKT-18"));
  EXPECT_THAT(lines, Contains("wait:     w00_即スタート"));
  EXPECT_THAT(lines, Contains("ADJ_h1:   Ox00_None"));
  EXPECT_THAT(lines, Contains("detect:   5 = 0.50(G)"));
  EXPECT_THAT(lines, Contains("revision: 1.07"));
  EXPECT_THAT(lines, Contains("status:   Succeeded to get the parameters"));
}

TEST(VktSettings, SetSendsEverySettingThenTheClockAndTheReservation) {
  const std::string start = tomorrow_start();
  const RunResult r = run_vkt({"settings", "set", "--record", "1sec", "--type", "02", "--interval", "10msec", "--wait",
                               "45", "--adj-h1", "7", "--adj-h3", "1", "--id", "42", "--detect", "12", "--start", start,
                               "--simulate", "--sim-unpaced"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto lines = lines_of(r.out);
  EXPECT_THAT(lines, Contains("sending: ja 02 i7 w45 Ox07 Oz01 N42 d12"));
  EXPECT_THAT(lines, Contains("clock set and start time sent: l" + start));
  // Read back from the logger after the apply.
  EXPECT_THAT(lines, Contains("  wait:     w05~90_     秒後 スタート(5～90秒), 45 s"));
  EXPECT_THAT(lines, Contains("  ADJ_h1:   7 = 0.14(G)"));
  EXPECT_THAT(lines, Contains("  detect:   12 = 0.24(G)"));
  EXPECT_THAT(lines, Contains("  My_ID:    42"));
  // The settings, then the clock ("s", "t") and the reservation after it.
  EXPECT_THAT(r.out, ContainsRegex("simulated logger received: m p m p ja 02 i7 w45 Ox07 Oz01 N42 d12 "
                                   "s[0-9/]+ [0-9:]+ t l" + start));
}

TEST(VktSettings, SetKeepsTheLoggersOtherSettingsAndRefusesAnImpossibleStart) {
  RunResult r = run_vkt({"settings", "set", "--adj-h1", "off", "--record", "jE", "--simulate", "--sim-unpaced"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("sending: jE 10 i6 w00 Ox00 Oz00 N01 d05\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("clock set")));

  r = run_vkt({"settings", "set", "--start", "02/30 10:00", "--simulate", "--sim-unpaced"});
  EXPECT_EQ(r.exit_code, 7);
  EXPECT_THAT(r.err, HasSubstr("(有りえない日付)"));
  EXPECT_THAT(r.err, HasSubstr("vkt: the settings were not applied"));
  EXPECT_THAT(r.out, Not(ContainsRegex("received: .* l02/30")));
}

}  // namespace
}  // namespace vkt::testing
