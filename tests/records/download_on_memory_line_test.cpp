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

// A clock that advances 100 ms at every reading and, when it passes a
// piece's time, lets the logger send that piece.
class PiecewiseClock final : public Clock {
 public:
  explicit PiecewiseClock(link::MemoryLine& line) : line_(line) {}

  uint32_t now_ms() override {
    std::vector<std::string> due;
    uint32_t t;
    {
      std::lock_guard lock(mu_);
      t = now_;
      now_ += 100;
      if (start_) {
        while (!pieces_.empty() && t - *start_ >= pieces_.front().first) {
          due.push_back(std::move(pieces_.front().second));
          pieces_.erase(pieces_.begin());
        }
      }
    }
    for (const auto& piece : due) line_.send(piece);
    return t;
  }
  void sleep_ms(uint32_t ms) override {
    std::lock_guard lock(mu_);
    now_ += ms;
    sleeps_.push_back(ms);
  }
  LocalTime local_now() override { return {}; }

  // The pieces of the reply, each at its time after the request arrived.
  void schedule(std::vector<std::pair<uint32_t, std::string>> pieces) {
    std::lock_guard lock(mu_);
    pieces_ = std::move(pieces);
  }
  void request_arrived() {
    std::lock_guard lock(mu_);
    start_ = now_;
  }
  std::vector<uint32_t> sleeps() {
    std::lock_guard lock(mu_);
    return sleeps_;
  }

 private:
  link::MemoryLine& line_;
  std::mutex mu_;
  uint32_t now_ = 1000;
  std::optional<uint32_t> start_;
  std::vector<std::pair<uint32_t, std::string>> pieces_;
  std::vector<uint32_t> sleeps_;
};

class DownloadOnMemoryLine : public ::testing::Test {
 protected:
  void SetUp() override {
    logger.silent_to("D");
    logger.answer_prefix("D", [this](const std::string&) {
      clock->request_arrived();
      return std::string();
    });
    lib->ensure_monitor();
    ASSERT_EQ(link::com_open(*lib, 1), 1);
    lib->param_year = "2009";
    lib->param_count = "2";
  }
  void TearDown() override { link::com_close(*lib); }

  vkt::testing::ScriptedLogger logger;
  std::shared_ptr<PiecewiseClock> clock = std::make_shared<PiecewiseClock>(logger.line());
  vkt::testing::TestLibrary lib{clock, logger.backends()};
};

TEST_F(DownloadOnMemoryLine, TheSilenceBoundRestartsAtEveryArrival) {
  // 4000 ms from the request to the terminator, never more than 800 ms of
  // silence.
  const std::string& r = kExampleReply;
  clock->schedule({{800, r.substr(0, 10)},
                   {1600, r.substr(10, 10)},
                   {2400, r.substr(20, 10)},
                   {3200, r.substr(30, 10)},
                   {4000, r.substr(40)}});
  ASSERT_TRUE(DownloadDriver(*lib));
  EXPECT_EQ(logger.commands(), std::vector<std::string>{"D"});
  EXPECT_EQ(vkt_datacount(*lib), 2);
  EXPECT_EQ(table(*lib).cell(kData, 2), kSecond);
  EXPECT_TRUE(clock->sleeps().empty()) << "no TIME OUT pause";
}

TEST_F(DownloadOnMemoryLine, SilenceLongerThanTheBoundAfterAnArrivalEndsIt) {
  const std::string& r = kExampleReply;
  clock->schedule({{800, r.substr(0, 10)}, {800 + 3500, r.substr(10)}});
  EXPECT_FALSE(DownloadDriver(*lib));
  EXPECT_EQ(vkt_datacount(*lib), 0);
  EXPECT_EQ(lib.popup_texts().back(), "Label1=TIME OUT");
  EXPECT_EQ(clock->sleeps(), std::vector<uint32_t>{3000});
}

}  // namespace
}  // namespace vkt::records::test
