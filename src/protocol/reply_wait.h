#pragma once
// The one wait for the logger's reply, shared by the command exchange and
// the download: poll the port, sleep on its arrival signal in short slices,
// give up when the bound runs out or when nothing more can ever arrive.
#include <chrono>
#include <cstdint>

#include "base/constants.h"
#include "base/services.h"
#include "base/trace.h"

namespace vkt::protocol {

// What the reply wait needs of the port: the byte count, the ready test, the
// block read, and a bounded sleep until bytes arrive. The monitor window's
// serial port is adapted to it; tests feed bytes from memory.
class ReplySource {
 public:
  virtual ~ReplySource() = default;
  virtual uint32_t InBuffUsed() = 0;
  virtual bool InputReady() = 0;
  virtual void ReadBlock(void* destination, uint16_t count) = 0;
  // Returns when at least one byte is waiting or `timeout` has passed.
  virtual void wait_for_input(std::chrono::milliseconds timeout) = 0;
  // True when nothing more can ever arrive (the device was unplugged, or
  // the port closed): a wait then ends at once instead of running out its
  // bound.
  virtual bool exhausted() { return false; }
  // Where the waits on this source are recorded (how each ended and how
  // long it took); nullptr for nowhere.
  virtual Trace* trace() { return nullptr; }
  // Why nothing more can arrive, for the trace.
  virtual const char* exhausted_reason() { return "no more input"; }
  // True when the host asked the wait to end now (another thread may ask
  // at any time): the wait ends at its next poll, however busy the line.
  virtual bool stop_requested() { return false; }
};

// How the bound counts.
enum class BoundPolicy {
  WholeCall,  // from the start of the wait: a command's reply
  Silence,    // from the last arrival, restarted at every one: the download
};

struct ReplyBound {
  uint32_t ms;
  BoundPolicy policy;
};

inline constexpr ReplyBound kCommandBound{kReplyBoundMs, BoundPolicy::WholeCall};
inline constexpr ReplyBound kDownloadBound{kSilenceBoundMs, BoundPolicy::Silence};

enum class WaitEnd {
  Complete,   // the poll reported the reply complete
  TimedOut,   // the bound ran out
  Exhausted,  // nothing was waiting and nothing more can arrive
  Stopped,    // the host asked the wait to end
};

// What one poll saw: whether bytes were waiting when it looked, and whether
// the reply is complete now.
struct PollResult {
  bool arrived = false;
  bool complete = false;
};

// One trace line for a wait that ended: its bound, how it ended, how long it took.
void trace_wait(Trace& trace, ReplySource& source, ReplyBound bound, uint32_t took_ms, WaitEnd end);

// Polls until `poll` reports the reply complete, the bound runs out (the
// elapsed time taken modulo 2^32 by `clock`, so that the bound holds across
// the clock's wrap; `started_ms` is the clock reading the bound counts
// from), or the source is exhausted while nothing is waiting. Between polls
// that found nothing it sleeps on the source's arrival signal, at most
// kPollSlice at a time and waking in time for the bound: the poll after the
// last allowed millisecond is the one that gives up.
// Each wait is recorded in the source's trace when there is one.
template <class Poll>
WaitEnd wait_for_reply(ReplySource& source, Clock& clock, ReplyBound bound, uint32_t started_ms, Poll&& poll) {
  const auto wait = [&] {
    uint32_t since = started_ms;
    for (;;) {
      const PollResult seen = poll();
      if (seen.complete) return WaitEnd::Complete;
      if (source.stop_requested()) return WaitEnd::Stopped;
      if (seen.arrived && bound.policy == BoundPolicy::Silence) since = clock.now_ms();
      // An unplugged device sends nothing more: the silence is final.
      if (!seen.arrived && source.exhausted()) return WaitEnd::Exhausted;
      const uint32_t elapsed = clock.now_ms() - since;
      if (elapsed > bound.ms) return WaitEnd::TimedOut;
      if (!seen.arrived || bound.policy == BoundPolicy::WholeCall) {
        const auto left = std::chrono::milliseconds(bound.ms - elapsed + 1);
        source.wait_for_input(left < kPollSlice ? left : kPollSlice);
      }
    }
  };
  const WaitEnd end = wait();
  if (Trace* trace = source.trace(); trace && trace->on())
    trace_wait(*trace, source, bound, clock.now_ms() - started_ms, end);
  return end;
}

}  // namespace vkt::protocol
