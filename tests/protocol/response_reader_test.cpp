// The reply wait against bytes fed from memory and a scripted clock.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "link/port_error.h"
#include "protocol/exchange.h"
#include "support/fakes.h"

namespace vkt::protocol {
namespace {

using namespace std::string_literals;
using testing::FakeClock;

// Received bytes as a script: `waiting` is what a poll finds; each arrival
// comes during a wait, `after_ms` of scripted time into it. A wait with no
// arrival left sleeps its whole timeout on the scripted clock.
class ScriptedSource final : public ReplySource {
 public:
  struct Arrival {
    uint32_t after_ms;
    std::string bytes;
  };

  explicit ScriptedSource(FakeClock& clock) : clock_(clock) {}

  std::string waiting;
  std::deque<Arrival> arrivals;
  std::vector<uint16_t> reads;
  std::vector<std::chrono::milliseconds> waits;

  uint32_t InBuffUsed() override { return static_cast<uint32_t>(waiting.size()); }
  bool InputReady() override { return !waiting.empty(); }
  void ReadBlock(void* destination, uint16_t count) override {
    if (count > waiting.size()) throw link::EBufferIsEmpty();
    std::memcpy(destination, waiting.data(), count);
    waiting.erase(0, count);
    reads.push_back(count);
  }
  bool exhausted() override { return gone; }
  bool gone = false;  // the device was unplugged: nothing more will come
  void wait_for_input(std::chrono::milliseconds timeout) override {
    waits.push_back(timeout);
    if (!waiting.empty()) return;
    if (!arrivals.empty() && arrivals.front().after_ms <= timeout.count()) {
      clock_.advance(arrivals.front().after_ms);
      waiting += arrivals.front().bytes;
      arrivals.pop_front();
      return;
    }
    if (!arrivals.empty()) arrivals.front().after_ms -= static_cast<uint32_t>(timeout.count());
    clock_.advance(static_cast<uint32_t>(timeout.count()));
  }

 private:
  FakeClock& clock_;
};

struct ReaderTest : ::testing::Test {
  FakeClock clock{1000, 0};  // only the waits move it
  ScriptedSource source{clock};

  std::string read() { return ResponseReader(source, clock); }
};

TEST_F(ReaderTest, ChunksAreJoinedUpToTheOneHoldingTheTerminator) {
  source.arrivals = {{5, "@Ye"}, {5, "ar=2024\r\n"}, {5, "OK#"}, {5, "late"}};
  EXPECT_EQ(read(), "@Year=2024\r\nOK#");
  EXPECT_EQ(source.reads, (std::vector<uint16_t>{3, 9, 3}));
  // What follows the terminator's chunk stays for the next exchange's flush.
  ASSERT_EQ(source.arrivals.size(), 1u);
}

TEST_F(ReaderTest, BytesAfterTheTerminatorInTheSameChunkBelongToTheReply) {
  source.waiting = "OK#xy";
  EXPECT_EQ(read(), "OK#xy");
}

TEST_F(ReaderTest, TerminatorAloneIsAReply) {
  source.arrivals = {{40, "#"}};
  EXPECT_EQ(read(), "#");
}

TEST_F(ReaderTest, NulCutsTheChunksTextButNotTheScan) {
  source.waiting = "AB\0CD#"s;
  EXPECT_EQ(read(), "AB");

  // The cut is per chunk: a later chunk still contributes its own bytes.
  source.waiting = "AB\0C"s;
  source.arrivals = {{3, "D#"}};
  EXPECT_EQ(read(), "ABD#");
}

TEST_F(ReaderTest, TheStoredNulIsScannedToo) {
  // The scan covers the NUL stored behind the bytes, so a NUL terminator
  // ends the wait with the first chunk, whatever it holds.
  source.waiting = "abc";
  EXPECT_EQ(ResponseReader(source, clock, '\0'), "abc");
}

TEST_F(ReaderTest, SilenceEndsEmptyJustAfterTheBound) {
  const uint32_t start = 1000;
  EXPECT_EQ(read(), "");
  const uint32_t ended = clock.now_ms() - start;
  EXPECT_GT(ended, kReplyBoundMs);
  EXPECT_LE(ended, kReplyBoundMs + vkt::kPollSlice.count() + 5);
  // It slept between polls instead of spinning, each sleep bounded.
  EXPECT_LE(source.waits.size(), 3000u / 10);
  for (auto w : source.waits) {
    EXPECT_GE(w.count(), 1);
    EXPECT_LE(w, vkt::kPollSlice);
  }
}

// An unplugged device: what it sent before it went still makes the reply;
// once nothing is waiting, the wait ends at once with no reply.
TEST_F(ReaderTest, UnpluggedDeviceEndsTheWaitAtOnce) {
  source.gone = true;
  source.waiting = "OK#";
  EXPECT_EQ(read(), "OK#");
  source.waiting = "partial";
  EXPECT_EQ(read(), "");
  EXPECT_LT(clock.now_ms() - 1000, 100u);  // far from the 3000 ms bound
}

TEST_F(ReaderTest, BoundIsOnTheWholeCallNotOnSilence) {
  // A byte every 100 ms keeps coming, but the terminator comes after 3000 ms.
  for (int i = 0; i < 31; ++i) source.arrivals.push_back({100, "x"});
  source.arrivals.push_back({100, "#"});
  EXPECT_EQ(read(), "");
  EXPECT_FALSE(source.arrivals.empty());
}

TEST_F(ReaderTest, TerminatorJustWithinTheBoundCounts) {
  source.arrivals = {{2990, "late but in time#"}};
  EXPECT_EQ(read(), "late but in time#");
}

TEST_F(ReaderTest, WaitAcrossTheClocksWrapLastsTheFullBound) {
  const uint32_t start = 0xFFFFFFFFu - 1500;
  clock.set_now(start);
  EXPECT_EQ(read(), "");
  const uint32_t ended = clock.now_ms() - start;
  EXPECT_GT(ended, kReplyBoundMs);
  EXPECT_LE(ended, kReplyBoundMs + vkt::kPollSlice.count() + 5);

  clock.set_now(start);
  source.arrivals = {{2500, "after the wrap#"}};
  EXPECT_EQ(read(), "after the wrap#");
}

TEST_F(ReaderTest, NoChunkExceedsTheChunkBuffer) {
  std::string big(3000, 'a');
  big.back() = '#';
  source.waiting = big;
  EXPECT_EQ(read(), big);
  EXPECT_EQ(source.reads, (std::vector<uint16_t>{1024, 1024, 952}));
}

TEST_F(ReaderTest, TerminatorInTheMiddleOfALongBacklogEndsWithItsChunk) {
  // The reply is every chunk up to and including the terminator's; the
  // chunks after it stay waiting.
  std::string big(3000, 'b');
  big[1500] = '#';
  source.waiting = big;
  EXPECT_EQ(read(), big.substr(0, 2048));
  EXPECT_EQ(source.waiting.size(), 952u);
}

}  // namespace
}  // namespace vkt::protocol
