// The download: the monitor window's port opens COM1 on an in-memory line
// and the test plays the logger at its far end; the last test downloads from
// the simulator over a pseudo-terminal.
#include "records/download.h"

#include <algorithm>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "record_fixture.h"
#include "vktsim/records.h"
#include "windows/progress_popup.h"

namespace vkt::records::test {
namespace {

using vkt::testing::FakeClock;
using vkt::testing::FastRealClock;
using vkt::testing::TestLibrary;

std::vector<uint32_t> sleeps_of(TestLibrary& lib) {
  if (auto fast = std::dynamic_pointer_cast<FastRealClock>(lib.clock)) return fast->sleeps();
  return std::dynamic_pointer_cast<FakeClock>(lib.clock)->sleeps();
}

bool has_text(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// The popup is gone and the terminal switch works again.
void expect_cleaned_up(TestLibrary& lib) {
  EXPECT_EQ(lib->popup(), nullptr);
  const auto events = lib.backend->events_of("TForm3");
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().kind, ui::WindowEvent::Hidden);
  EXPECT_TRUE(lib->monitor()->CheckBox1.enabled());
}

class Download : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(port.opened, 1);
    lib()->logger.param_year = "2009";
    lib()->logger.param_count = "2";
  }
  TestLibrary& lib() { return port.lib; }
  PortedLibrary port;
};

TEST_F(Download, WorkedExampleEndToEnd) {
  windows::TForm2& form = *lib()->monitor();
  form.CheckBox1.set_checked(true);
  // A handler that runs while the download lets window events run sees the
  // terminal switch disabled and the view off.
  bool switch_enabled = true, view_active = true;
  lib()->queue().post([&] {
    switch_enabled = form.CheckBox1.enabled();
    view_active = form.terminal.active();
  });

  AnswerRequest logger(port.logger, kExampleReply);
  EXPECT_TRUE(DownloadDriver(lib()->download_context()));
  EXPECT_EQ(logger.request(), "D");
  EXPECT_FALSE(switch_enabled);
  EXPECT_FALSE(view_active);
  expect_cleaned_up(lib());
  EXPECT_TRUE(form.terminal.active());

  // While the reply arrives the popup counts its lines, once per chunk read
  // (how the reply is cut into chunks is the line's affair); the check then
  // shows the first and the last line's index.
  std::vector<std::string> texts = lib().popup_texts();
  const auto counts_end = std::find(texts.begin(), texts.end(), "Label1=データ取得中.");
  ASSERT_NE(counts_end, texts.end());
  EXPECT_EQ(*std::prev(counts_end), "Label2=2");
  texts.erase(std::remove(texts.begin(), counts_end, "Label2=1"), counts_end);
  EXPECT_EQ(texts, (std::vector<std::string>{"Label1=データ取得中", "Label3=", "Label3=Total=2", "Label2=2",
                                             "Label1=データ取得中.", "Label2=0", "Label2=1"}));
  EXPECT_TRUE(sleeps_of(lib()).empty());
  EXPECT_EQ(form.Memo1.text(), kFirst + "\r\n" + kSecond + "\r\n#");
  EXPECT_FALSE(form.Label1.text().empty());

  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 2);
  EXPECT_EQ(text_of(*lib(), TextField::All, 1), "2009 03/15-13:45:30.25 23.5 45 1 -2 64");
  EXPECT_EQ(text_of(*lib(), TextField::All, 2), "2010 01/02-00:00:05.00 -5.0 100 -128 127 0");
  EXPECT_EQ(table(*lib()).cell(kCount, 2), "2");
  EXPECT_EQ(table(*lib()).cell(kData, 2), kSecond);
  EXPECT_EQ(lib()->logger.param_year, "2010");
}

// Success, a line of wrong length, a line that is not hexadecimal: what the
// table, the popup and the result say.
TEST_F(Download, BadLinesFailWithoutDecodingAndPauseOnce) {
  ASSERT_TRUE(port.preload(kFirst + "\r\nABCD\r\n" + kSecond + "X\r\n\r\n" + kSecond + "\r\n#\r\n"));
  EXPECT_FALSE(DownloadDriver(lib()->download_context()));
  const auto texts = lib().popup_texts();
  EXPECT_TRUE(has_text(texts, "Label1=DATA ERROR len=1 4"));
  EXPECT_TRUE(has_text(texts, "Label1=DATA ERROR len=2 21"));
  EXPECT_TRUE(has_text(texts, "Label1=DATA ERROR len=3 0"));
  EXPECT_EQ(texts.back(), "Label2=4");  // every line examined
  EXPECT_EQ(sleeps_of(lib()), std::vector<uint32_t>{3000});
  expect_cleaned_up(lib());

  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 5);
  EXPECT_EQ(table(*lib()).cell(kData, 2), "ABCD");
  EXPECT_EQ(table(*lib()).cell(kCount, 5), "5");
  for (int row = 1; row <= 5; ++row) {
    for (int c = kMonth; c < kColumns; ++c) EXPECT_EQ(table(*lib()).cell(c, row), "") << row << "," << c;
  }
  EXPECT_EQ(lib()->logger.param_year, "2009");
}

TEST_F(Download, ANonHexadecimalRecordLineFails) {
  ASSERT_TRUE(port.preload(kFirst + "\r\n18400050807F00FB006G\r\n#\r\n"));
  EXPECT_FALSE(DownloadDriver(lib()->download_context()));
  EXPECT_TRUE(has_text(lib().popup_texts(), "Label1=DATA ERROR hex=1"));
  EXPECT_EQ(sleeps_of(lib()), std::vector<uint32_t>{3000});
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 2);
  EXPECT_EQ(text_of(*lib(), TextField::Date, 1), "");
  EXPECT_EQ(block_of(*lib(), 1)[1], 0xEE);
}

// (A smaller second download is RecordTable.ASmallerSecondDownloadLeavesNoTrace's.)
TEST_F(Download, AnEmptyReplyAfterRecordsLeavesNone) {
  ASSERT_TRUE(port.preload(kFirst + "\r\n" + kFirst + "\r\n" + kFirst + "\r\n#\r\n"));
  ASSERT_TRUE(DownloadDriver(lib()->download_context()));
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 3);

  ASSERT_TRUE(port.preload("#\r\n"));
  EXPECT_TRUE(DownloadDriver(lib()->download_context()));
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 0);
  EXPECT_EQ(table(*lib()).row_count(), 1);
  EXPECT_EQ(text_of(*lib(), TextField::X, 1), "");
  EXPECT_EQ(lib()->monitor()->Memo1.text(), "0");
}

TEST_F(Download, ARecordOnTheTerminatorsLineIsExamined) {
  ASSERT_TRUE(port.preload(kFirst + "\r\n" + kSecond + "#\r\n"));
  EXPECT_TRUE(DownloadDriver(lib()->download_context()));
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 2);
  EXPECT_EQ(text_of(*lib(), TextField::Date, 2), "2010/01/02");
  EXPECT_EQ(table(*lib()).cell(kData, 2), kSecond);

  ASSERT_TRUE(port.preload(kFirst + "\r\nABC #\r\n"));
  EXPECT_FALSE(DownloadDriver(lib()->download_context()));
  EXPECT_TRUE(has_text(lib().popup_texts(), "Label1=DATA ERROR len=1 3"));
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 2);
}

TEST_F(Download, StaleBytesBeforeTheRequestSpoilTheFirstLine) {
  ASSERT_TRUE(port.preload("XY"));
  AnswerRequest logger(port.logger, kExampleReply);
  EXPECT_FALSE(DownloadDriver(lib()->download_context()));
  EXPECT_EQ(logger.request(), "D");
  EXPECT_TRUE(has_text(lib().popup_texts(), "Label1=DATA ERROR len=0 22"));
  EXPECT_EQ(table(*lib()).cell(kData, 1), "XY" + kFirst);
}

TEST_F(Download, AZeroByteCutsTheTextButNotTheCount) {
  std::string reply = kFirst + "\r\n" + kSecond + "\r\n#\r\n";
  reply[kFirst.size() + 2 + 5] = '\0';  // inside the second line
  ASSERT_TRUE(port.preload(reply));
  // The terminator behind the zero byte still ends the reply; the line cut
  // short fails the check instead of being lost.
  EXPECT_FALSE(DownloadDriver(lib()->download_context()));
  const auto texts = lib().popup_texts();
  EXPECT_TRUE(has_text(texts, "Label2=2"));
  EXPECT_TRUE(has_text(texts, "Label1=DATA ERROR len=1 5"));
  EXPECT_EQ(lib()->monitor()->Memo1.text(), kFirst + "\r\n" + kSecond.substr(0, 5));
  EXPECT_EQ(lib()->monitor()->ApdComPort1.InBuffUsed(), 0u);
}

TEST_F(Download, BytesAfterTheTerminatorsChunkStayInThePort) {
  ASSERT_TRUE(port.preload(kFirst + "\r\n#"));
  ASSERT_TRUE(DownloadDriver(lib()->download_context()));
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 1);
  // The terminator's CR LF comes in a later read: it is left waiting...
  port.line().send("\r\n");
  ASSERT_TRUE(port_holds(*lib(), 2));
  // ...and the next download starts with it, harmlessly.
  AnswerRequest logger(port.logger, kSecond + "\r\n#\r\n");
  EXPECT_TRUE(DownloadDriver(lib()->download_context()));
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 1);
  EXPECT_EQ(text_of(*lib(), TextField::Y, 1), "127");
}

TEST_F(Download, AClosedPortFailsAndTidiesUp) {
  ASSERT_TRUE(port.preload(kExampleReply));
  ASSERT_TRUE(DownloadDriver(lib()->download_context()));
  link::com_close(*lib());
  EXPECT_FALSE(DownloadDriver(lib()->download_context()));
  expect_cleaned_up(lib());
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 0);
  EXPECT_TRUE(sleeps_of(lib()).empty());
}

TEST_F(Download, HandlersThatRunMeanwhileCannotReenterOrPullTheWindowAway) {
  bool inner = true, running = false;
  lib()->queue().post([&] {
    running = lib()->download_state.download_running;
    inner = DownloadDriver(lib()->download_context());
  });
  ASSERT_TRUE(port.preload(kExampleReply));
  EXPECT_TRUE(DownloadDriver(lib()->download_context()));
  EXPECT_TRUE(running);
  EXPECT_FALSE(inner);
  EXPECT_FALSE(lib()->download_state.download_running);
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 2);

  lib()->queue().post([&] { lib()->form_release(); });
  ASSERT_TRUE(port.preload(kExampleReply));
  EXPECT_FALSE(DownloadDriver(lib()->download_context()));
  EXPECT_EQ(lib()->monitor(), nullptr);
  EXPECT_EQ(lib()->popup(), nullptr);
  EXPECT_FALSE(lib()->download_state.download_running);
}

// The host's stop (another thread's, here a handler's while the first chunk
// is taken) ends the download at its next poll, without the time-out's 3 s
// display; the lines received stay in the report's text and the record
// table keeps only its header row. The next download runs whole.
TEST_F(Download, AStopRequestEndsTheDownloadKeepingWhatCame) {
  EXPECT_FALSE(lib()->download_state.request_stop()) << "no download runs";
  bool asked = false;
  lib()->queue().post([&] { asked = lib()->download_state.request_stop(); });
  ASSERT_TRUE(port.preload(kFirst + "\r\n"));
  EXPECT_FALSE(DownloadDriver(lib()->download_context()));
  EXPECT_TRUE(asked);
  const DownloadReport& report = lib()->download_state.last_download;
  EXPECT_EQ(report.status, DownloadReport::Status::Stopped);
  ASSERT_TRUE(report.body);
  EXPECT_EQ(*report.body, kFirst);
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 0);
  EXPECT_TRUE(sleeps_of(lib()).empty());
  expect_cleaned_up(lib());

  ASSERT_TRUE(port.preload(kExampleReply));
  EXPECT_TRUE(DownloadDriver(lib()->download_context()));
  EXPECT_EQ(vkt_datacount(lib()->record_parts()), 2);
}

// Every cell of the table, row by row, and the memo.
std::vector<std::string> table_texts(TestLibrary& lib) {
  std::vector<std::string> texts{lib->monitor()->Memo1.text()};
  for (int row = 0; row < table(*lib).row_count(); ++row)
    for (int column = 0; column < kColumns; ++column) texts.push_back(table(*lib).cell(column, row));
  return texts;
}

// A reply that arrives in pieces, with line ends cut between two reads and
// blank bytes before the first line, must read exactly as the reply read in
// one piece does, also when a handler wrote into the table meanwhile.
TEST_F(Download, AReplyInPiecesReadsAsTheWholeReplyDoes) {
  const std::vector<std::string> pieces = {"\r\n \t" + kFirst + "\r", "\n" + kSecond.substr(0, 7),
                                           kSecond.substr(7) + "\r\n " + kFirst + " \r\n" + kSecond,
                                           "\r\n#\r\n"};
  std::string whole;
  for (const std::string& piece : pieces) whole += piece;
  lib()->logger.param_count = "4";
  ASSERT_TRUE(port.preload(whole));
  ASSERT_TRUE(DownloadDriver(lib()->download_context()));
  const std::vector<std::string> expected = table_texts(lib());
  ASSERT_EQ(vkt_datacount(lib()->record_parts()), 4);
  EXPECT_EQ(table(*lib()).cell(kData, 3), kFirst);
  EXPECT_EQ(text_of(*lib(), TextField::All, 4), "2012 01/02-00:00:05.00 -5.0 100 -128 127 0");

  for (const bool scribble : {false, true}) {
    SCOPED_TRACE(scribble ? "a handler writes into the table" : "pieces only");
    lib()->logger.param_year = "2009";
    // Each dispatch of the download lets the next piece arrive; the first
    // one comes before the table is emptied for the reply.
    auto next = std::make_shared<std::size_t>(1);
    auto send_next = std::make_shared<std::function<void()>>();
    *send_next = [this, next, send_next, &pieces, scribble] {
      if (*next > 1 && scribble) {
        table(*lib()).set_cell(kData, 1, "scribble");
        table(*lib()).set_cell(kX, 2, "scribble");
      }
      if (*next < pieces.size()) {
        port.line().send(pieces[(*next)++]);
        lib()->queue().post(*send_next);
      }
    };
    lib()->queue().post([this, send_next] { lib()->queue().post(*send_next); });
    ASSERT_TRUE(port.preload(pieces[0]));
    ASSERT_TRUE(DownloadDriver(lib()->download_context()));
    EXPECT_EQ(table_texts(lib()), expected);
    *send_next = nullptr;
  }
}

// The download decodes its rows in one sweep; the year rule must be the one
// of RecordDecoder row by row, also for a year that cannot be advanced.
TEST_F(Download, DecodingTheDownloadedRowsFollowsTheYearRuleOfEachRow) {
  const std::vector<std::string> lines = {kFirst, kSecond, kSecond, kFirst};
  std::string reply;
  for (const std::string& line : lines) reply += line + "\r\n";
  reply += "#\r\n";
  lib()->logger.param_count = "4";
  for (const std::string year : {"2009", "x", "", "2147483647"}) {
    SCOPED_TRACE("year \"" + year + "\"");
    lib()->logger.param_year = year;
    ASSERT_TRUE(port.preload(reply));
    ASSERT_TRUE(DownloadDriver(lib()->download_context()));
    std::vector<std::string> downloaded = table_texts(lib());
    const std::string year_after = lib()->logger.param_year;

    lib()->logger.param_year = year;
    decode_lines(*lib(), lines);
    std::vector<std::string> decoded = table_texts(lib());
    downloaded.erase(downloaded.begin());  // the memo
    decoded.erase(decoded.begin());
    EXPECT_EQ(downloaded, decoded);
    EXPECT_EQ(year_after, lib()->logger.param_year);
  }
}

// Silence after a partial reply: the bound of 3000 ms counts from the last
// arrival, across the clock's wrap; the table keeps only its header row.
TEST(DownloadTimeOut, LeavesNoPhantomRows) {
  auto clock = std::make_shared<FakeClock>(0, 250);
  PortedLibrary port(clock);
  ASSERT_EQ(port.opened, 1);
  TestLibrary& lib = port.lib;
  lib->logger.param_year = "2009";
  lib->logger.param_count = "3";
  ASSERT_TRUE(port.preload(kExampleReply));
  ASSERT_TRUE(DownloadDriver(lib->download_context()));
  ASSERT_EQ(vkt_datacount(lib->record_parts()), 2);
  lib.backend->clear();

  ASSERT_TRUE(port.preload(kFirst + "\r\n" + kSecond.substr(0, 4)));
  clock->set_now(0xFFFFFF00u);  // the silence spans the clock's wrap
  EXPECT_FALSE(vkt_inputdata(lib->download_context()));
  EXPECT_EQ(lib.popup_texts(), (std::vector<std::string>{"Label1=データ取得中", "Label3=", "Label3=Total=3",
                                                         "Label2=1", "Label1=TIME OUT"}));
  EXPECT_EQ(clock->sleeps(), std::vector<uint32_t>{3000});
  expect_cleaned_up(lib);
  EXPECT_EQ(lib->monitor()->Memo1.text(), kFirst + "\r\n" + kSecond.substr(0, 4));
  EXPECT_EQ(table(*lib).row_count(), 1);
  EXPECT_EQ(table(*lib).cell(kHumi, 0), "humi");
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 0);
  EXPECT_EQ(text_of(*lib, TextField::All, 1), " /-     ");

  // The next download fills the table anew.
  ASSERT_TRUE(port.preload(kSecond + "\r\n#\r\n"));
  ASSERT_TRUE(DownloadDriver(lib->download_context()));
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 1);
  EXPECT_EQ(text_of(*lib, TextField::All, 1), "2010 01/02-00:00:05.00 -5.0 100 -128 127 0");
}

// The logger unplugged in the middle of its reply: the bytes already
// received are kept, and the download ends as timed out at once instead of
// waiting out 3000 ms of a silence that is final. The clock stands still, so
// a download that kept waiting would never end.
TEST(DownloadTimeOut, AnUnpluggedLoggerEndsTheWaitAtOnce) {
  auto clock = std::make_shared<FakeClock>(0, 0);
  PortedLibrary port(clock);
  ASSERT_EQ(port.opened, 1);
  TestLibrary& lib = port.lib;
  ASSERT_TRUE(port.preload(kFirst + "\r\n"));
  port.line().hang_up();
  EXPECT_FALSE(vkt_inputdata(lib->download_context()));
  EXPECT_TRUE(has_text(lib.popup_texts(), "Label1=TIME OUT"));
  EXPECT_EQ(lib->monitor()->Memo1.text(), kFirst);
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 0);
  expect_cleaned_up(lib);
}

// A whole recording made by the simulator's record generator, more than one
// receive buffer's worth, sent by the scripted logger and compared field for
// field with the generated records.
TEST(DownloadFromSimulator, MatchesTheLoggersRecords) {
  vktsim::GeneratorOptions generate;
  generate.count = 1200;
  generate.seed = 5;
  generate.interval_ms = 7 * 3600 * 1000;
  generate.cross_new_year = true;
  const std::vector<vktsim::SimRecord> records = vktsim::generate_records(generate);

  vkt::testing::ScriptedLogger logger;
  logger.set_records(vktsim::encode_records(records, 3));
  TestLibrary lib(std::make_shared<FastRealClock>(), logger.backends());
  lib->ensure_monitor();
  ASSERT_EQ(link::com_open(*lib, 1), 1);
  lib->logger.param_year = std::to_string(records.front().year);
  lib->logger.param_count = std::to_string(records.size());

  ASSERT_TRUE(vkt_inputdata(lib->download_context()));
  ASSERT_EQ(vkt_datacount(lib->record_parts()), static_cast<int32_t>(records.size()));
  for (std::size_t i = 0; i < records.size(); ++i) {
    const auto& r = records[i];
    const int row = static_cast<int>(i) + 1;
    const auto b = block_of(*lib, row);
    ASSERT_EQ(b[0], static_cast<uint8_t>(row));
    ASSERT_EQ((std::array<int, 13>{b[1], b[3], b[4], b[5], b[6], b[7], static_cast<int8_t>(b[8]),
                                   static_cast<int8_t>(b[9]), static_cast<int8_t>(b[10]),
                                   static_cast<int8_t>(b[11]), b[12], b[13], b[2]}),
              (std::array<int, 13>{r.month, r.day, r.hour, r.minute, r.second, r.tenths, r.x, r.y, r.z, r.deg,
                                   r.hundredths, r.humi,
                                   static_cast<int>(vktsim::year_tag_for(r.year, records.front().year, 3))}))
        << "record " << row;
    ASSERT_EQ(text_of(*lib, TextField::Year, row), std::to_string(r.year)) << "record " << row;
  }
  EXPECT_EQ(lib->logger.param_year, std::to_string(records.back().year));
  link::com_close(*lib);
}

}  // namespace
}  // namespace vkt::records::test
