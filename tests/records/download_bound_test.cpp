// The download's overall bound: a reply of the reported count always fits,
// a count lower than the records sent costs none of them, and a logger that
// never stops sending other bytes (a flood without "#", a trickle that
// keeps restarting the silence bound) ends the download as failed, with the
// popup saying why, no records, an empty Memo1 and nothing left in the port.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "records/accessors.h"
#include "records/download.h"
#include "records/download_bound.h"
#include "record_fixture.h"

namespace vkt::records::test {
namespace {

// The bytes of the longest reply a working logger sends for `records`
// records: 20 digits and 4 bytes of blanks and line end each, then "#" CR
// LF, after up to 64 stale bytes.
std::size_t worst_reply_bytes(std::size_t records) { return records * 24 + 3 + 64; }

TEST(DownloadBound, AReplyOfTheReportedCountAlwaysFitsInBytesAndTime) {
  for (std::size_t records : {0ul, 1ul, 2ul, 100ul, 4096ul, 65535ul, 100000ul, 1000000ul, 1048576ul}) {
    const DownloadBound bound = DownloadBound::for_count(std::to_string(records));
    EXPECT_FALSE(bound.bytes_exceeded(worst_reply_bytes(records))) << records;
    // Even a logger at half the line's speed, after the whole 3 s of silence
    // allowed before its first byte, ends in time.
    const uint64_t slow_ms = 3000 + uint64_t{worst_reply_bytes(records)} * 1000 / 960;
    ASSERT_LE(slow_ms, std::numeric_limits<uint32_t>::max());
    EXPECT_FALSE(bound.time_exceeded(static_cast<uint32_t>(slow_ms))) << records;
  }
}

TEST(DownloadBound, ACountThatIsNoNumberOrTooLargeTakesTheCeiling) {
  const DownloadBound ceiling = DownloadBound::for_records(DownloadBound::kCeilingRecords);
  for (const char* count : {"", "abc", "12x", "-5", " 5", "0x10", "99999999999999999999999", "2000000"}) {
    EXPECT_EQ(DownloadBound::for_count(count).max_bytes, ceiling.max_bytes) << count;
    EXPECT_EQ(DownloadBound::for_count(count).max_ms, ceiling.max_ms) << count;
  }
  // The ceiling stays within memory and within a 32-bit millisecond span.
  EXPECT_LT(ceiling.max_bytes, 64u << 20);
  EXPECT_LT(ceiling.max_ms, 24u * 3600 * 1000);
  EXPECT_LT(DownloadBound::for_count("5").max_bytes, ceiling.max_bytes);
}

TEST(DownloadBound, TheBudgetCountsAcrossTheClocksWrapAndSaysWhichLimitPassed) {
  const DownloadBound bound = DownloadBound::for_records(0);
  const uint32_t start = 0xFFFFFF00u;
  DownloadBudget by_time(0, start);
  EXPECT_FALSE(by_time.spend(10, "", start + 1000));  // wraps: 1000 ms, not 4 billion
  EXPECT_FALSE(by_time.spend(10, "", start + bound.max_ms));
  EXPECT_TRUE(by_time.spend(0, "", start + bound.max_ms + 1));
  EXPECT_EQ(by_time.message(), "TIME OUT total=" + std::to_string(bound.max_ms + 1));

  DownloadBudget by_bytes(0, start);
  EXPECT_FALSE(by_bytes.spend(bound.max_bytes, "", start + 1));
  EXPECT_TRUE(by_bytes.spend(1, "", start + 2));
  EXPECT_TRUE(by_bytes.passed());
  EXPECT_EQ(by_bytes.message(), "DATA ERROR over=" + std::to_string(bound.max_bytes + 1));
}

// Record lines raise the bound to their own: the other bytes keep the
// count's, and only lines that the check takes for records count.
TEST(DownloadBound, RecordLinesRaiseTheBoundOtherBytesDoNot) {
  for (const char* line : {"35EDB5E501FE4017192D\r\n", " 35edb5e501fe4017192d \r\n"})
    EXPECT_TRUE(counts_as_record_line(line)) << line;
  for (const char* line : {"35EDB5E501FE4017192D\n", "35EDB5E501FE4017192D\n\r", "35EDB5E501FE4017192\r\n",
                           "35EDB5E501FE4017192X\r\n", "  35EDB5E501FE4017192D  \r\n", "\r\n"})
    EXPECT_FALSE(counts_as_record_line(line)) << line;

  const std::size_t limit = DownloadBound::for_records(2).max_bytes;
  std::string records;
  while (records.size() <= 4 * limit) records += kFirst + "\r\n";
  DownloadBudget budget(2, 0);
  EXPECT_FALSE(budget.spend(records.size(), records, 1));
  EXPECT_EQ(budget.record_lines(), records.size() / 22);
  // Record lines with CR LF cut from them are other bytes: the count's
  // bound, and the margin the record lines before them earned.
  const std::size_t margin = DownloadBound::for_records(budget.record_lines()).max_bytes - records.size();
  std::string flood(margin, '\n');
  EXPECT_FALSE(budget.spend(flood.size(), records + flood, 2));
  EXPECT_TRUE(budget.spend(1, records + flood + "A", 3));
}

// A logger that never stops: from the request on it sends `piece` at every
// reading of the scripted clock (up to `cap` bytes), and the clock advances
// `step` ms at every reading.
class EndlessLogger : public ::testing::Test {
 protected:
  void run(uint32_t step, std::string piece, std::size_t cap) {
    clock->on_reading([this, piece = std::move(piece), cap](uint32_t) {
      if (!sending || sent + piece.size() > cap) return;
      sent += piece.size();
      logger.line().send(piece);
    });
    logger.answer_prefix("D", [this](const std::string&) {
      sending = true;
      return std::string();
    });
    lib->ensure_monitor();
    ASSERT_EQ(link::com_open(*lib, 1), 1);
    lib->logger.param_year = "2009";
    lib->logger.param_count = "0";  // the smallest bound: 65,664 bytes, 128.4 s
    clock->set_step(step);
    result = DownloadDriver(lib->download_context());
  }
  void TearDown() override {
    link::com_close(*lib);
    clock->on_reading(nullptr);
  }

  std::shared_ptr<vkt::testing::FakeClock> clock = std::make_shared<vkt::testing::FakeClock>(0xFFFF0000u, 0);
  vkt::testing::ScriptedLogger logger;
  vkt::testing::TestLibrary lib{clock, logger.backends()};
  std::atomic<bool> sending{false};
  std::atomic<std::size_t> sent{0};
  bool result = true;
};

TEST_F(EndlessLogger, AFloodWithoutTerminatorEndsAtTheByteLimitWithNothingKept) {
  const std::size_t limit = DownloadBound::for_count("0").max_bytes;
  run(1, std::string(1000, 'A') + "\r\n", 1u << 20);
  EXPECT_FALSE(result);
  const std::string last = lib.popup_texts().back();
  ASSERT_EQ(last.rfind("Label1=DATA ERROR over=", 0), 0u) << last;
  const std::size_t over = std::stoul(last.substr(std::string("Label1=DATA ERROR over=").size()));
  EXPECT_GT(over, limit);
  EXPECT_LE(over, limit + 32768) << "one read past the limit at most";
  EXPECT_LT(sent.load(), 1u << 20) << "the download stopped reading long before the flood ended";
  EXPECT_EQ(lib->monitor()->Memo1.text(), "");
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 0);
  EXPECT_EQ(clock->sleeps(), std::vector<uint32_t>{3000});

  // The logger falls silent: nothing of the flood is left for the next
  // download.
  sending = false;
  EXPECT_EQ(lib->monitor()->ApdComPort1.InBuffUsed() + logger.line().unread(), 0u);
  logger.answer("D", kExampleReply);
  EXPECT_TRUE(DownloadDriver(lib->download_context()));
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 2);
}

TEST_F(EndlessLogger, ANulFloodEndsAtTheByteLimitToo) {
  run(1, std::string(1000, '\0'), 1u << 20);
  EXPECT_FALSE(result);
  EXPECT_EQ(lib.popup_texts().back().rfind("Label1=DATA ERROR over=", 0), 0u) << lib.popup_texts().back();
  EXPECT_EQ(lib->monitor()->Memo1.text(), "");
}

TEST_F(EndlessLogger, ATrickleThatKeepsTheSilenceBoundAliveEndsAtTheTimeLimit) {
  // One byte every 25 ms of the scripted clock: never 3000 ms of silence.
  const DownloadBound bound = DownloadBound::for_count("0");
  run(25, "A", bound.max_bytes / 2);
  EXPECT_FALSE(result);
  const std::string last = lib.popup_texts().back();
  ASSERT_EQ(last.rfind("Label1=TIME OUT total=", 0), 0u) << last;
  const uint32_t total = static_cast<uint32_t>(std::stoul(last.substr(std::string("Label1=TIME OUT total=").size())));
  EXPECT_GT(total, bound.max_ms);
  EXPECT_LT(total, bound.max_ms + 3000);
  EXPECT_EQ(lib->monitor()->Memo1.text(), "");
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 0);
}

// A logger whose count says 2 and that sends 20,000 records at the line's
// pace, about 230 s by the scripted clock: far past both limits of the
// count, and not one record lost. The clock moves 50 ms at every reading;
// the logger sends the lines due by then.
TEST(DownloadWithinTheBound, ACountBelowTheRecordsSentCostsNoneOfThemPacedOrNot) {
  auto clock = std::make_shared<vkt::testing::FakeClock>(0, 0);
  vkt::testing::ScriptedLogger logger;
  std::vector<std::string> lines;
  for (int i = 0; i < 20000; ++i) lines.push_back(i % 2 ? kSecond : kFirst);
  std::string reply;
  for (const std::string& line : lines) reply += line + "\r\n";
  reply += "#\r\n";
  std::mutex mu;
  bool asked = false;
  std::optional<uint32_t> start;
  std::size_t sent = 0;
  logger.answer_prefix("D", [&](const std::string&) {
    std::lock_guard lock(mu);
    asked = true;
    return std::string();
  });
  clock->on_reading([&](uint32_t t) {
    std::lock_guard lock(mu);
    if (!asked) return;
    if (!start) start = t;
    const std::size_t due = std::min<std::size_t>(reply.size(), (t - *start) * 1920ull / 1000);
    if (due > sent) logger.line().send(std::string_view(reply).substr(sent, due - sent));
    sent = std::max(sent, due);
  });
  vkt::testing::TestLibrary lib{clock, logger.backends()};
  lib->ensure_monitor();
  ASSERT_EQ(link::com_open(*lib, 1), 1);
  lib->logger.param_year = "2009";
  lib->logger.param_count = "2";
  clock->set_step(50);
  EXPECT_TRUE(DownloadDriver(lib->download_context()));
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 20000);
  EXPECT_EQ(table(*lib).cell(kData, 20000), kSecond);
  EXPECT_GT(clock->now_ms(), DownloadBound::for_count("2").max_ms);
  EXPECT_TRUE(clock->sleeps().empty());
  clock->on_reading(nullptr);

  // Unpaced: the whole reply at once, and the next download finds nothing
  // of it left.
  logger.answer("D", reply);
  for (int round = 0; round < 2; ++round) {
    lib->logger.param_year = "2009";
    EXPECT_TRUE(DownloadDriver(lib->download_context()));
    EXPECT_EQ(vkt_datacount(lib->record_parts()), 20000);
  }
  link::com_close(*lib);
}

TEST(DownloadWithinTheBound, TheReportedCountWithPaddedLinesDownloadsWhole) {
  // 2000 records, each line padded to 24 bytes with blanks: the longest
  // reply the bound allows for.
  vkt::testing::ScriptedLogger logger;
  std::vector<std::string> lines;
  for (int i = 0; i < 2000; ++i) lines.push_back(" " + (i % 2 ? kSecond : kFirst) + " ");
  logger.set_records(lines);
  vkt::testing::TestLibrary lib{std::make_shared<vkt::testing::FastRealClock>(), logger.backends()};
  lib->ensure_monitor();
  ASSERT_EQ(link::com_open(*lib, 1), 1);
  lib->logger.param_year = "2009";
  lib->logger.param_count = "2000";
  EXPECT_TRUE(DownloadDriver(lib->download_context()));
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 2000);
  EXPECT_EQ(table(*lib).cell(kData, 2000), kSecond);
  link::com_close(*lib);
}

}  // namespace
}  // namespace vkt::records::test
