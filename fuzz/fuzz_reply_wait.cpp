// The reply wait of the command exchange on a scripted source and a
// scripted clock that starts near its wrap: the reply text is checked
// against the chunks the wait read, and the bound against the clock.
#include <deque>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "protocol/exchange.h"

using namespace vkt;

namespace {

// Bytes arrive in pieces, one piece at each poll of the count; every block
// read is logged.
class ScriptedSource final : public protocol::ReplySource {
 public:
  ScriptedSource(std::vector<std::string> pieces, bool exhausts) : pieces_(pieces.begin(), pieces.end()), exhausts_(exhausts) {}
  uint32_t InBuffUsed() override {
    if (!pieces_.empty()) {
      waiting_ += pieces_.front();
      pieces_.pop_front();
    }
    return static_cast<uint32_t>(waiting_.size());
  }
  bool InputReady() override { return !waiting_.empty(); }
  void ReadBlock(void* destination, uint16_t count) override {
    FUZZ_CHECK(count <= waiting_.size());
    waiting_.copy(static_cast<char*>(destination), count);
    reads.push_back(waiting_.substr(0, count));
    waiting_.erase(0, count);
  }
  void wait_for_input(std::chrono::milliseconds) override {}
  bool exhausted() override { return exhausts_ && pieces_.empty(); }

  std::vector<std::string> reads;

 private:
  std::deque<std::string> pieces_;
  std::string waiting_;
  bool exhausts_;
};

// Advances by the input's steps (at least 1 ms), then by the last one.
class ScriptedClock final : public Clock {
 public:
  ScriptedClock(uint32_t start, std::vector<uint32_t> steps) : now_(start), steps_(std::move(steps)) {}
  uint32_t now_ms() override {
    const uint32_t t = now_;
    const uint32_t step = steps_.empty() ? 1 : steps_[std::min(next_, steps_.size() - 1)];
    ++next_;
    now_ += step == 0 ? 1 : step;
    last_ = t;
    return t;
  }
  void sleep_ms(uint32_t ms) override { now_ += ms; }
  LocalTime local_now() override { return {}; }
  uint32_t last_ = 0;

 private:
  uint32_t now_;
  std::vector<uint32_t> steps_;
  std::size_t next_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  // The clock starts within 4 s of its wrap, at the input's choice.
  const uint32_t start = 0u - 4000u + (input.u32() % 8000u);
  const uint8_t flags = input.byte();
  std::vector<uint32_t> steps;
  for (int i = 0, n = input.byte() % 8; i < n; ++i) steps.push_back(input.byte() * 8u);
  // Pieces separated by 0x01; a piece "\x02<n>" is n * 256 bytes of 'x'
  // (bursts above the chunk and the port's ring).
  std::vector<std::string> pieces;
  while (!input.empty() && pieces.size() < 200) {
    std::string piece(input.text());
    if (piece.size() == 2 && piece[0] == '\x02') piece.assign(static_cast<uint8_t>(piece[1]) * 256u, 'x');
    pieces.push_back(std::move(piece));
  }

  ScriptedSource source(pieces, flags & 1);
  ScriptedClock clock(start, steps);
  const std::string reply = protocol::ResponseReader(source, clock, '#');

  // Each read is one chunk of at most 1024 bytes.
  for (const auto& read : source.reads) FUZZ_CHECK(!read.empty() && read.size() <= protocol::kChunkSize);
  // Reading stops at the first chunk holding "#" anywhere (past a NUL too);
  // the reply is then every chunk read, each up to its first NUL.
  std::string want;
  bool terminated = false;
  for (std::size_t i = 0; i < source.reads.size(); ++i) {
    const std::string& chunk = source.reads[i];
    FUZZ_CHECK(!terminated);
    want += chunk.substr(0, chunk.find('\0'));
    terminated = chunk.find('#') != std::string::npos;
  }
  if (terminated) {
    FUZZ_CHECK(reply == want);
  } else {
    // No reply: the bound ran out (counted modulo 2^32 from the call's
    // start), or nothing more could come.
    FUZZ_CHECK(reply.empty());
    FUZZ_CHECK(clock.last_ - start > kReplyBoundMs || (flags & 1));
    // The bound is not overshot by more than one step.
    FUZZ_CHECK(clock.last_ - start <= kReplyBoundMs + 256u * 8u + 1u);
  }
  return 0;
}
