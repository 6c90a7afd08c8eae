// The other subcommands of `vkt` against the simulated logger, and what the
// program says when there is no logger, no port or no library.
#include <signal.h>
#include <time.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/serial_machine.h"
#include "tools/vkt_process.h"
#include "vktsim/logger_sim.h"
#include "vktsim/sysfs_tree.h"

namespace vkt::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::MatchesRegex;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(VktCommands, PortsShowsTheTableTheRawListsOrOnlyThePort) {
  const RunResult r = run_vkt({"ports", "--simulate"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto lines = lines_of(r.out);
  EXPECT_THAT(lines, Contains(MatchesRegex("DEVICE +PORT +VID:PID +SERIAL +MANUFACTURER +PRODUCT +BY-ID")));
  EXPECT_THAT(lines, Contains(ContainsRegex("/dev/ttyUSB0 +COM1 +1f2e:3d4c +VKT00001 +FTDI +FT232R USB UART +-$")));
  EXPECT_THAT(lines, Contains(ContainsRegex("^logger: COM1 \\(.*/dev/ttyUSB0\\)$")));

  const RunResult raw = run_vkt({"ports", "--raw", "--simulate"});
  ASSERT_EQ(raw.exit_code, 0) << raw.err;
  EXPECT_THAT(lines_of(raw.out), Contains("  VID_1F2E+PID_3D4C+VKT00001A"));
  EXPECT_THAT(lines_of(raw.out), Contains("Label11: finished"));
  EXPECT_THAT(run_vkt({"ports", "--help"}).out, HasSubstr("ListBox11 serial devices present"));

  const RunResult brief = run_vkt({"ports", "--brief", "--simulate"});
  ASSERT_EQ(brief.exit_code, 0) << brief.err;
  EXPECT_THAT(lines_of(brief.out), ElementsAre(ContainsRegex("^COM1 \\(.*/dev/ttyUSB0\\)$")));

  const RunResult json = run_vkt({"ports", "--json", "--simulate"});
  ASSERT_EQ(json.exit_code, 0) << json.err;
  EXPECT_THAT(json.out, MatchesRegex("\\{\"ports\":\\[\\{\"device\":\".*/dev/ttyUSB0\",\"port\":1,\"node_exists\":true,"
                                     "\"usb\":true,\"vendor\":\"1f2e\",\"product\":\"3d4c\",\"logger\":true,"
                                     "\"serial\":\"VKT00001\",\"manufacturer\":\"FTDI\",\"product_name\":\"FT232R USB "
                                     "UART\",\"by_id\":null\\}\\],\"logger\":\\{\"port\":1,\"device\":\".*/ttyUSB0\"\\}\\}\n"));
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

TEST(VktCommands, SendPrintsTheReply) {
  const RunResult r = run_vkt({"send", "p", "--simulate", "--sim-unpaced", "--sim-records", "33"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(lines_of(r.out), Contains(HasSubstr("@Count= 33 records")));
  EXPECT_THAT(r.err, HasSubstr("simulated logger: answered"));
}

TEST(VktCommands, WatchAnnouncesArrivalAndDepartureAndStopsOnSigint) {
  VktProcess watch({"watch", "--simulate", "--sim-unplug-after", "300"}, {}, /*piped_stdout=*/true);
  const std::string stamp = "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2}";
  EXPECT_THAT(watch.read_line(), MatchesRegex(stamp + " 接続 Port=1 \\(connected: COM1 .*\\)"));
  EXPECT_THAT(watch.read_line(), MatchesRegex(stamp + " 切断 \\(disconnected\\)"));
  watch.signal(SIGINT);
  const RunResult r = watch.wait();
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(watch.leftovers(), IsEmpty());
}

TEST(VktCommands, MissingLoggerPortOrLibraryAreReportedByExitCode) {
  TempFolder empty;  // a machine with no serial devices at all
  const std::map<std::string, std::string> no_devices{{"VKTCOM_DEV_ROOT", empty / "dev"},
                                                      {"VKTCOM_SYSFS_ROOT", empty / "sys"}};
  // A listing is no failure; --brief, which prints only the port, is.
  RunResult r = run_vkt({"ports"}, no_devices);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_THAT(lines_of(r.out), Contains("logger: none found"));
  EXPECT_EQ(r.err, "") << "nothing to fix: no explanation";
  r = run_vkt({"ports", "--json"}, no_devices);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "{\"ports\":[],\"logger\":null}\n");
  r = run_vkt({"ports", "--brief"}, no_devices);
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_THAT(r.err, HasSubstr("vkt: no logger found"));

  r = run_vkt({"info"}, no_devices);
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_THAT(r.err, HasSubstr("vkt: no logger found"));

  EXPECT_THAT(r.err, HasSubstr("searched: the serial devices of the port table"));
  EXPECT_THAT(r.err, HasSubstr("identifiers 1f2e:3d4c"));
  EXPECT_THAT(r.err, HasSubstr("--simulate"));

  // settings explains a missing logger as download does.
  r = run_vkt({"settings"}, no_devices);
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_THAT(r.err, HasSubstr("vkt: no logger found\n  searched: the serial devices of the port table"));

  r = run_vkt({"download", "--port", "COM3"}, no_devices);
  EXPECT_EQ(r.exit_code, 5);
  EXPECT_THAT(r.err, HasSubstr("vkt: cannot open COM3"));
  EXPECT_THAT(r.err, HasSubstr("No such file or directory\n  hint: is the logger plugged in?"));

  // A number outside the port table is refused before anything is opened.
  r = run_vkt({"settings", "--port", "99"}, no_devices);
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_THAT(r.err, HasSubstr("vkt: --port 99: the port table numbers COM1 to COM72"));

  r = run_vkt({"info", "--simulate", "--library", empty / "libnothing.so"});
  EXPECT_EQ(r.exit_code, 3);
  EXPECT_THAT(r.err, HasSubstr("cannot load"));
}

// What the port search saw when it found no logger, and why a port did not
// open, each with a hint.
TEST(VktCommands, FailuresToFindOrOpenTheLoggerSayWhy) {
  vkt::test::SerialMachine machine;
  const std::map<std::string, std::string> env{{"VKTCOM_DEV_ROOT", machine.dev()}, {"VKTCOM_SYSFS_ROOT", machine.sys()}};
  machine.plug(vkt::test::SerialMachine::other_adapter("ttyUSB0", "2"));
  auto no_node = vkt::test::SerialMachine::logger("ttyUSB1", "3");
  no_node.device_node_target.clear();
  machine.plug(no_node);
  // A logger's USB device that no driver took: no terminal device below it.
  auto unbound = vkt::test::SerialMachine::logger("ttyUSB2", "4", "LONE");
  machine.plug(unbound);
  const auto unbound_usb = vktsim::usb_device_dir(machine.root(), unbound);
  std::filesystem::remove_all(machine.root() / "sys/class/tty/ttyUSB2");
  std::filesystem::create_directories(machine.root() / "sys/bus/usb/devices");
  std::filesystem::create_directory_symlink(unbound_usb, machine.root() / "sys/bus/usb/devices/1-4");

  // The persistent name udev gives the other adapter.
  std::filesystem::create_directories(machine.root() / "dev/serial/by-id");
  std::filesystem::create_symlink("../../ttyUSB0", machine.root() / "dev/serial/by-id/usb-FTDI_FT232R_FT0001-if00-port0");
  RunResult r = run_vkt({"ports"}, env);
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_THAT(r.err, HasSubstr("ttyUSB1 has the logger's identifiers but no device node"));
  EXPECT_THAT(lines_of(r.out),
              Contains(ContainsRegex("/ttyUSB0 +COM1 +0403:6001 +FT0001 +FTDI +FT232R USB UART +" + machine.dev() +
                                     "/serial/by-id/usb-FTDI_FT232R_FT0001-if00-port0$")));
  EXPECT_THAT(lines_of(r.out), Contains(ContainsRegex("/ttyUSB1 \\(no node\\) +COM2 +1f2e:3d4c")));

  r = run_vkt({"info"}, env);
  EXPECT_EQ(r.exit_code, 4);
  EXPECT_THAT(r.err, HasSubstr("/ttyUSB0 (COM1) is an adapter with other identifiers 0403:6001"));
  EXPECT_THAT(r.err, HasSubstr("ttyUSB1 has the logger's identifiers but no device node"));
  EXPECT_THAT(r.err, HasSubstr("USB device 1-4 has the logger's identifiers but no terminal device: the udev rule"));
  EXPECT_THAT(r.err, HasSubstr("--simulate"));

  // A device node that is no terminal, named by its path.
  const std::string file = (machine.root() / "plain-file").string();
  std::ofstream(file) << "";
  machine.link_node("ttyUSB0", file);
  r = run_vkt({"info", "--port", machine.dev() + "/ttyUSB0"}, env);
  EXPECT_EQ(r.exit_code, 5);
  EXPECT_THAT(r.err, HasSubstr("cannot open " + machine.dev() + "/ttyUSB0: " + std::strerror(ENOTTY) +
                               "\n  hint: the device is not a serial port"));

  // Any path is opened as it stands; the system says why it is no port.
  const std::string elsewhere = (machine.root() / "elsewhere").string();
  std::ofstream(elsewhere) << "";
  r = run_vkt({"info", "--port", elsewhere}, env);
  EXPECT_EQ(r.exit_code, 5);
  EXPECT_THAT(r.err, HasSubstr("cannot open " + elsewhere + ": " + std::strerror(ENOTTY)));
}

// A logger on a device outside the port table (a bare pseudo-terminal, and
// a by-id link to it) is reached by its path, by every command.
TEST(VktCommands, PortTakesAnyTerminalByItsPath) {
  TempFolder empty;
  const std::map<std::string, std::string> no_devices{{"VKTCOM_DEV_ROOT", empty / "dev"},
                                                      {"VKTCOM_SYSFS_ROOT", empty / "sys"}};
  vktsim::SimOptions options;
  options.paced = false;
  options.records = vktsim::generate_records({});
  vktsim::LoggerSim sim(options);
  const std::string link = empty / "usb-VKT_logger-if00-port0";
  std::filesystem::create_symlink(sim.slave_path(), link);

  RunResult r = run_vkt({"info", "-v", "--port", sim.slave_path()}, no_devices);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(lines_of(r.out), Contains("port: " + sim.slave_path()));
  EXPECT_THAT(r.err, HasSubstr("vkt: opened " + sim.slave_path() + " at 19200 baud"));
  // -v also shows the traffic on the line, from the library's trace.
  EXPECT_THAT(r.err, HasSubstr("vkt: line: write 1 bytes: m\n"));
  EXPECT_THAT(r.err, HasSubstr("vkt: line: received "));

  r = run_vkt({"settings", "--port", link}, no_devices);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_THAT(lines_of(r.out), Contains("port:     " + link));
  EXPECT_THAT(lines_of(r.out), Contains("status:   Succeeded to get the parameters"));
}

TEST(VktCommands, VersionUnknownSubcommandAndExitCodesInEveryHelp) {
  RunResult r;
  for (const char* flag : {"-V", "--version"}) {
    r = run_vkt({flag});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_THAT(r.out, MatchesRegex("vkt [0-9]+\\.[0-9]+\\.[0-9]+\nlibvktcom 107 \\(vkt_dll_ver\\) from .*\n"));
  }
  r = run_vkt({"fly"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_THAT(r.err, HasSubstr("unknown subcommand \"fly\""));
  for (const char* sub : {"ports", "info", "clock", "download", "send", "watch", "settings"}) {
    r = run_vkt({sub, "--help"});
    EXPECT_EQ(r.exit_code, 0) << sub;
    EXPECT_THAT(r.out, HasSubstr("Exit codes:")) << sub;
    EXPECT_THAT(r.out, HasSubstr("11   the download failed; --partial")) << sub;
  }
}

// Without --library and $VKTCOM_LIBRARY the program loads the module of the
// build tree it lies in, found from its own location; a copy elsewhere (as
// installed) asks the loader for libvktcom.so.1 and never reaches back into
// the build tree.
TEST(VktCommands, TheLibraryIsFoundBesideTheProgramNotByABakedPath) {
  const std::map<std::string, std::string> no_choice{{"VKTCOM_LIBRARY", ""}, {"LD_LIBRARY_PATH", ""}};
  VktProcess built({"info", "--simulate", "--sim-unpaced"}, no_choice, false, kVktProgram);
  const RunResult b = built.wait();
  ASSERT_EQ(b.exit_code, 0) << b.err;
  EXPECT_THAT(lines_of(b.out), Contains(ContainsRegex("^library: .*/libvktcom\\.so[.0-9]* \\(version 107\\)$")));

  TempFolder installed;
  std::filesystem::create_directories(installed / "usr/bin");
  std::filesystem::copy_file(kVktProgram, installed / "usr/bin/vkt");
  std::filesystem::permissions(installed / "usr/bin/vkt", std::filesystem::perms::owner_all);
  VktProcess copy({"info", "--simulate"}, no_choice, false, installed / "usr/bin/vkt");
  const RunResult c = copy.wait();
  EXPECT_EQ(c.exit_code, 3) << c.out;
  EXPECT_THAT(c.err, HasSubstr("cannot load libvktcom.so.1"));
}

// Every refusal is the program's own lower-case "vkt: ..." line; numbers
// are checked on the text as typed.
TEST(VktCommands, BadCommandLinesExitWithTwo) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"fly"}, {"download", "--sim-records", "5"}, {"send"}, {"info", "--bogus"},
        {"download", "--simulate", "--sim-records", "-5"}, {"info", "--simulate", "--sim-records", "1048577"},
        {"settings", "set", "--detect", "0", "--simulate"}, {"settings", "set", "--wait", "3", "--simulate"},
        {"info", "-v", "-q"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const RunResult r = run_vkt(args);
    EXPECT_EQ(r.exit_code, 2) << r.err;
    EXPECT_THAT(r.err, MatchesRegex("vkt: [-a-z\"].*")) << "CLI11's capitalised style";
    EXPECT_THAT(r.out, Not(HasSubstr("sending")));
  }
  EXPECT_THAT(run_vkt({"info", "--simulate", "--sim-records", "-5"}).err,
              HasSubstr("vkt: --sim-records: \"-5\" is not a whole number from 1 to 1048576"));
}

// ---- settings: the dialog driven in the program ----

std::string tomorrow_start() {
  const time_t t = time(nullptr) + 24 * 3600;
  struct tm local {};
  localtime_r(&t, &local);
  return fmt::format("{:02}/{:02} {:02}:{:02}", local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
}

TEST(VktSettings, ShowsTheSettingsAsTheDialogReadsThemBackFromTheNamedPort) {
  const RunResult r = run_vkt({"settings", "--simulate", "--sim-unpaced", "--port", "COM1"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  const auto lines = lines_of(r.out);
  EXPECT_THAT(lines, Contains("port:     COM1"));
  EXPECT_THAT(lines, Contains("Record:   jA_1min"));
  EXPECT_THAT(lines, Contains("Interval: i6_20msec"));
  EXPECT_THAT(lines, Contains("Type:     10_VKT-18"));
  EXPECT_THAT(lines, Contains("wait:     w00_即スタート [start at once]"));
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
  EXPECT_THAT(lines, Contains("  wait:     w05~90_     秒後 スタート(5～90秒) [seconds, then start (5-90 s)], 45 s"));
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
