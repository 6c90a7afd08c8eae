// The program's own reading and writing: the progress estimate, the
// settings arguments and the record formats.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>
#include <utility>

#include "support/pty_pair.h"
#include "tools/vkt_process.h"
#include "vktcli/exit_codes.h"
#include "vktcli/messages.h"
#include "vktcli/progress.h"
#include "vktcli/record_output.h"
#include "vktcli/settings_command.h"
#include "vktcli/trace_echo.h"

namespace vktcli {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

ExitCode code_of(const std::function<void()>& f) {
  try {
    f();
  } catch (const Failure& failure) {
    return failure.code();
  }
  return kExitOk;
}

TEST(VktProgress, EstimatesStopAtTheReportedCountAndTimeLeftIsAtLineSpeed) {
  EXPECT_EQ(records_from_bytes(22 * 10 + 21, 100), 10);
  EXPECT_EQ(records_from_bytes(22 * 500, 100), 100);
  EXPECT_EQ(records_from_elapsed(1.0, std::nullopt), 87);  // 1920 / 22
  EXPECT_EQ(records_from_elapsed(60.0, 200), 200);
  // 120 records of 22 bytes left at 1920 bytes a second: 1.4 s.
  const std::string line = format_progress(80, 200, 2.0, 120);
  EXPECT_THAT(line, HasSubstr("80/200 records"));
  EXPECT_THAT(line, HasSubstr("[############------------------]  40%"));
  EXPECT_THAT(line, HasSubstr("40 rec/s"));
  EXPECT_THAT(line, HasSubstr("0:01 left"));
  EXPECT_THAT(format_progress(5, std::nullopt, 1.0), HasSubstr("5 records"));
}

TEST(VktProgress, TheLineNeverFillsTheTerminalsWidth) {
  for (int columns : {20, 40, 60, 80, 200}) {
    SCOPED_TRACE(columns);
    const std::string line = format_progress(123456, 200000, 61.0, columns);
    EXPECT_LT(static_cast<int>(line.size()), columns);
    if (columns >= 40) {
      EXPECT_THAT(line, HasSubstr("123456/200000 records"));
    }
    EXPECT_LT(static_cast<int>(format_progress(123456, std::nullopt, 61.0, columns).size()), columns);
  }
  EXPECT_THAT(format_progress(100, 200, 1.0, 80), HasSubstr("left"));
  EXPECT_THAT(format_progress(100, 200, 1.0, 40), HasSubstr("]  50%"));
}

TEST(VktSettingsArguments, ItemsAreNamedByCaptionCodeOrName) {
  const std::vector<std::string> record{"ja_1sec", "jf_30sec", "jA_1min", "jB_2min", "jE_5min"};
  EXPECT_EQ(choose_item(record, "ja", "--record"), 0);
  EXPECT_EQ(choose_item(record, "jA", "--record"), 2);  // codes keep their letter case
  EXPECT_EQ(choose_item(record, "1MIN", "--record"), 2);
  EXPECT_EQ(choose_item(record, "jB_2min", "--record"), 3);
  EXPECT_EQ(code_of([&] { choose_item(record, "JA", "--record"); }), kExitUsage);
  const std::vector<std::string> type{"10_VKT-18", "20_VKT-18", "02_VKT-02", "01_VKT-02", "50_VKT-50"};
  EXPECT_EQ(choose_item(type, "01", "--type"), 3);
  EXPECT_EQ(code_of([&] { choose_item(type, "VKT-02", "--type"); }), kExitUsage);  // two items

  EXPECT_EQ(choose_wait("magnet-start").item, 1);
  EXPECT_EQ(choose_wait("w04").item, 4);
  EXPECT_EQ(choose_wait("90").item, 5);
  EXPECT_EQ(choose_wait("05").seconds, 5);
  for (const char* bad : {"4", "91", "w05", "", "later"}) EXPECT_EQ(code_of([&] { choose_wait(bad); }), kExitUsage) << bad;
}

TEST(VktSettingsArguments, StartTimeFieldsAreKeptAsTyped) {
  const StartTime t = parse_start_time("3/15 09:5");
  EXPECT_EQ(t.month, "3");
  EXPECT_EQ(t.day, "15");
  EXPECT_EQ(t.hour, "09");
  EXPECT_EQ(t.minute, "5");
  for (const char* bad : {"03/15 09:30 ", "03-15 09:30", "03/15 0930", "003/15 09:30", "03/15 09:"})
    EXPECT_EQ(code_of([&] { parse_start_time(bad); }), kExitUsage) << bad;
}

TEST(VktRecordOutput, NumbersStayNumbersAndOtherTextIsQuoted) {
  const RecordFields r{"2024/03/15", "13:45:30.25", "-128", "0", "64", "-5.3", "45"};
  EXPECT_EQ(csv_row(r), "2024/03/15,13:45:30.25,-128,0,64,-5.3,45\n");
  EXPECT_EQ(json_line(r),
            R"({"timestamp":"2024-03-15T13:45:30.25","date":"2024/03/15","time":"13:45:30.25","x_counts":-128,)"
            R"("y_counts":0,"z_counts":64,"temperature":-5.3,"humidity_raw":45})"
            "\n");
  const RecordFields odd{"a,b", "q\"", "", "07", "1.", "-", "x\ty"};
  EXPECT_EQ(csv_row(odd), "\"a,b\",\"q\"\"\",,07,1.,-,x\ty\n");
  EXPECT_EQ(json_line_legacy(odd),
            R"({"date":"a,b","time":"q\"","x":"","y":"07","z":"1.","temperature":"-","humidity":"x\u0009y"})"
            "\n");
  EXPECT_THAT(json_line(odd), ::testing::StartsWith(R"({"timestamp":null,)"));
}

TEST(VktRecordOutput, TimestampsOnlyForRealDatesAndTimes) {
  EXPECT_EQ(iso_timestamp("2024/03/15", "13:45:30.25"), "2024-03-15T13:45:30.25");
  EXPECT_EQ(iso_timestamp("2024/02/29", "23:59:59.99"), "2024-02-29T23:59:59.99");
  for (const auto& [date, time] : std::vector<std::pair<std::string, std::string>>{
           {"2024/13/01", "00:00:00.00"},   // months 13-15 occur
           {"2024/00/10", "00:00:00.00"},
           {"2023/02/29", "00:00:00.00"},   // no leap day
           {"2024/04/31", "00:00:00.00"},
           {"2024/01/00", "00:00:00.00"},
           {"2024/01/01", "24:00:00.00"},
           {"2024/01/01", "00:60:00.00"},
           {"2024/01/01", "00:00:60.00"},   // seconds 60-63 occur
           {"2024/01/01", "00:00:00.100"},  // hundredths 100-255 occur
           {"/01/02", "00:00:00.00"},       // a date without a year
           {"", ""}}) {
    EXPECT_EQ(iso_timestamp(date, time), "") << date << " " << time;
  }
  const RecordFields odd{"2024/13/01", "00:00:00.00", "1", "2", "3", "4.5", "6"};
  EXPECT_EQ(csv_row_timed(odd), ",2024/13/01,00:00:00.00,1,2,3,4.5,6\n");
}

TEST(VktMessages, JapaneseTextsGetTheirEnglishMeaningBeside) {
  EXPECT_EQ(english_beside("VKTCom: VKT が見つかりません\n"), "VKTCom: VKT が見つかりません [VKT not found]\n");
  EXPECT_EQ(english_beside("データ取得中. 12"), "データ取得中. [receiving data] 12");
  EXPECT_EQ(english_beside("2024/03/01 (過去)"), "2024/03/01 (過去) [(in the past)]");
  EXPECT_EQ(english_beside("wait:     w00_即スタート"), "wait:     w00_即スタート [start at once]");
  EXPECT_EQ(english_beside("plain text"), "plain text");
}

TEST(VktMessages, OpenFailuresCarryAHint) {
  // The system's text for the error number, not the library's own text.
  EXPECT_THAT(open_failure_text("/dev/ttyUSB0", -EACCES, EACCES, "library text"),
              AllOf(HasSubstr("/dev/ttyUSB0: Permission denied"), HasSubstr("dialout"),
                    HasSubstr("udev rule /usr/lib/udev/rules.d/70-vkt-logger.rules"), Not(HasSubstr("library"))));
  EXPECT_THAT(open_failure_text("/dev/ttyUSB0", -2008, EBUSY, ""), HasSubstr("another program holds it"));
  EXPECT_THAT(open_failure_text("/dev/ttyUSB0", -2001, ENOENT, ""), HasSubstr("No such file or directory"));
  EXPECT_THAT(open_failure_text("/dev/ttyUSB0", -ENOTTY, ENOTTY, ""), HasSubstr("not a serial port"));
}

TEST(VktRecordOutput, AFileThatCannotBeWrittenLeavesNothing) {
  vkt::testing::TempFolder folder;
  EXPECT_EQ(code_of([&] { write_output(folder / "no/such/folder.csv", "x"); }), kExitOutput);
  write_output(folder / "ok.csv", "data\n");
  EXPECT_EQ(vkt::testing::read_text(folder / "ok.csv"), "data\n");
  EXPECT_THAT(folder.entries(), ElementsAre("ok.csv"));
  // A read-only file is not replaced (root may write it anyway).
  if (geteuid() != 0) {
    std::ofstream(folder / "read-only.csv") << "kept\n";
    chmod((folder / "read-only.csv").c_str(), 0444);
    EXPECT_EQ(code_of([&] { write_output(folder / "read-only.csv", "x"); }), kExitOutput);
    EXPECT_EQ(vkt::testing::read_text(folder / "read-only.csv"), "kept\n");
    std::filesystem::remove(folder / "read-only.csv");
  }
  // A link loop is not followed for ever.
  ASSERT_EQ(symlink("loop-b", (folder / "loop-a").c_str()), 0);
  ASSERT_EQ(symlink("loop-a", (folder / "loop-b").c_str()), 0);
  EXPECT_EQ(code_of([&] { write_output(folder / "loop-a", "x"); }), kExitOutput);
}

// -o never replaces what is not a regular file: links are followed to their
// target, devices, terminals and FIFOs are written as they stand, folders,
// block devices and sockets are refused with their own exit code.
TEST(VktRecordOutput, LinksAreFollowedToTheirTarget) {
  vkt::testing::TempFolder folder;
  std::filesystem::create_directory(folder / "data");
  std::ofstream(folder / "data/old.csv") << "old\n";
  ASSERT_EQ(symlink("data/old.csv", (folder / "latest").c_str()), 0);
  ASSERT_EQ(symlink((folder / "data/new.csv").c_str(), (folder / "dangling").c_str()), 0);

  EXPECT_EQ(resolve_output(folder / "latest").kind, OutputKind::RegularFile);
  write_output(folder / "latest", "one\n");
  write_output(folder / "dangling", "two\n");

  EXPECT_TRUE(std::filesystem::is_symlink(folder / "latest"));
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "dangling"));
  EXPECT_EQ(vkt::testing::read_text(folder / "data/old.csv"), "one\n");
  EXPECT_EQ(vkt::testing::read_text(folder / "data/new.csv"), "two\n");
  EXPECT_THAT(vkt::testing::TempFolder::names_in(folder / "data"), ElementsAre("new.csv", "old.csv"));
}

TEST(VktRecordOutput, TerminalsAndFifosAreWrittenInPlace) {
  vkt::testing::TempFolder folder;
  vkt::test::PtyPair pty;
  pty.make_slave_raw();
  // The terminal, reached through a link in the temporary folder.
  ASSERT_EQ(symlink(pty.slave_path().c_str(), (folder / "tty").c_str()), 0);
  EXPECT_EQ(resolve_output(folder / "tty").kind, OutputKind::InPlace);
  write_output(folder / "tty", "to the terminal\n");
  EXPECT_EQ(pty.read_exact(16), "to the terminal\n");
  struct stat st {};
  ASSERT_EQ(stat(pty.slave_path().c_str(), &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));

  const std::string fifo = folder / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = vkt::testing::read_text(fifo); });
  write_output(fifo, "through the fifo\n");
  reader.join();
  EXPECT_EQ(received, "through the fifo\n");
  ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
}

TEST(VktRecordOutput, FoldersBlockDevicesAndSocketsAreRefused) {
  vkt::testing::TempFolder folder;
  EXPECT_EQ(code_of([&] { write_output(folder.path().string(), "x"); }), kExitOutputRefused);

  const std::string socket_path = folder / "socket";
  const int s = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path.c_str());
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(code_of([&] { write_output(socket_path, "x"); }), kExitOutputRefused);
  close(s);

  // A block device node of our own where that is allowed (as root), of a
  // device number for local use that no driver serves; only the check before
  // any writing is asked, so a fault in it could write nowhere that matters.
  const std::string block = folder / "block";
  if (mknod(block.c_str(), S_IFBLK | 0600, makedev(240, 0)) == 0) {
    EXPECT_EQ(code_of([&] { check_output_path(block); }), kExitOutputRefused);
    ASSERT_EQ(symlink(block.c_str(), (folder / "link-to-block").c_str()), 0);
    EXPECT_EQ(code_of([&] { check_output_path(folder / "link-to-block"); }), kExitOutputRefused);
  }
  EXPECT_THAT(folder.entries(), ::testing::Contains("socket"));
}

}  // namespace
}  // namespace vktcli

TEST(VktTraceEcho, ShowsTheLinesTrafficAsTextAndFollowsAFileMovedAside) {
  EXPECT_EQ(vktcli::line_event("0.749 T1 write 1 bytes: 6D | m"), "write 1 bytes: m");
  EXPECT_EQ(vktcli::line_event("1.0 T2 received 3 bytes: 41 7C 42 | A | B", 20), "received 3 bytes: A ...");
  EXPECT_EQ(vktcli::line_event("0.05 T1 com_open(1)"), std::nullopt);
  EXPECT_EQ(vktcli::line_event("garbage"), std::nullopt);

  vkt::testing::TempFolder folder;
  const std::string path = folder / "trace.log";
  std::vector<std::string> seen;
  std::mutex mu;
  {
    std::FILE* f = std::fopen(path.c_str(), "w");
    std::fputs("0.1 T1 write 1 bytes: 44 | D\n0.2 T1 vkt_inputdata()\n0.3 T1 received 2 bytes: 31 32 | 1", f);
    std::fflush(f);
    vktcli::TraceEcho echo(path, [&](const std::string& e) {
      std::lock_guard lock(mu);
      seen.push_back(e);
    });
    for (int i = 0; i < 1000 && [&] { std::lock_guard lock(mu); return seen.empty(); }(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The rest of the line, then the file moved aside and a new one begun.
    std::fputs("2\n", f);
    std::fclose(f);
    std::filesystem::rename(path, path + ".1");
    f = std::fopen(path.c_str(), "w");
    std::fputs("0.4 T1 port COM1: closed\n", f);
    std::fclose(f);
  }
  EXPECT_THAT(seen, ::testing::ElementsAre("write 1 bytes: D", "received 2 bytes: 12", "port COM1: closed"));
}
