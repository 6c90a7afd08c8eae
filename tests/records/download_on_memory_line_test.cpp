// The download's bound of silence, on an in-memory line whose logger sends
// its reply in pieces at times of a scripted clock: the bound restarts at
// every arrival, so a reply that takes longer than 3000 ms in all but never
// pauses that long comes complete.
#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <utility>

#include "link/port_control.h"
#include "records/accessors.h"
#include "records/download.h"
#include "record_fixture.h"
#include "support/scripted_logger.h"

namespace vkt::records::test {
namespace {

// The scripted clock advances 100 ms at every reading; when it passes a
// piece's time after the request arrived, the logger sends that piece.
class DownloadOnMemoryLine : public ::testing::Test {
 protected:
  void SetUp() override {
    logger.silent_to("D");
    logger.answer_prefix("D", [this](const std::string&) {
      std::lock_guard lock(mu);
      start = last_reading;
      return std::string();
    });
    clock->on_reading([this](uint32_t t) {
      std::vector<std::string> due;
      {
        std::lock_guard lock(mu);
        last_reading = t + 100;
        while (start && !pieces.empty() && t - *start >= pieces.front().first) {
          due.push_back(std::move(pieces.front().second));
          pieces.erase(pieces.begin());
        }
      }
      for (const auto& piece : due) logger.line().send(piece);
    });
    lib->ensure_monitor();
    ASSERT_EQ(link::com_open(*lib, 1), 1);
    lib->logger.param_year = "2009";
    lib->logger.param_count = "2";
  }
  void TearDown() override {
    link::com_close(*lib);
    clock->on_reading(nullptr);
  }
  // The pieces of the reply, each at its time after the request arrived.
  void schedule(std::vector<std::pair<uint32_t, std::string>> reply) {
    std::lock_guard lock(mu);
    pieces = std::move(reply);
  }

  vkt::testing::ScriptedLogger logger;
  std::shared_ptr<vkt::testing::FakeClock> clock = std::make_shared<vkt::testing::FakeClock>(1000, 100);
  vkt::testing::TestLibrary lib{clock, logger.backends()};
  std::mutex mu;
  uint32_t last_reading = 1000;
  std::optional<uint32_t> start;
  std::vector<std::pair<uint32_t, std::string>> pieces;
};

TEST_F(DownloadOnMemoryLine, TheSilenceBoundRestartsAtEveryArrival) {
  // 4000 ms from the request to the terminator, never more than 800 ms of
  // silence.
  const std::string& r = kExampleReply;
  schedule({{800, r.substr(0, 10)},
                   {1600, r.substr(10, 10)},
                   {2400, r.substr(20, 10)},
                   {3200, r.substr(30, 10)},
                   {4000, r.substr(40)}});
  ASSERT_TRUE(DownloadDriver(lib->download_context()));
  EXPECT_EQ(logger.commands(), std::vector<std::string>{"D"});
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 2);
  EXPECT_EQ(table(*lib).cell(kData, 2), kSecond);
  EXPECT_TRUE(clock->sleeps().empty()) << "no TIME OUT pause";
}

TEST_F(DownloadOnMemoryLine, SilenceLongerThanTheBoundAfterAnArrivalEndsIt) {
  const std::string& r = kExampleReply;
  schedule({{800, r.substr(0, 10)}, {800 + 3500, r.substr(10)}});
  EXPECT_FALSE(DownloadDriver(lib->download_context()));
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 0);
  EXPECT_EQ(lib.popup_texts().back(), "Label1=TIME OUT");
  EXPECT_EQ(clock->sleeps(), std::vector<uint32_t>{3000});
}

}  // namespace
}  // namespace vkt::records::test
