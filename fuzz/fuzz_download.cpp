// The download on the port's direct reception, the road a terminal device
// takes (the POSIX backend): the download's own thread reads the device,
// and every read returns one piece of the input. The pieces are the input's
// own bytes, or a reply of record lines with bytes put in anywhere (zero
// bytes, CR, LF, "#", others) cut where the input says; a reply without "#"
// ends by the silence bound. What the download leaves behind (result,
// report, memo, every cell, the year) must be what the model of
// tests/support/download_oracle.h works out from the reads it made, which
// go no further than the one that ended the reply; a download ended by its
// bound leaves nothing in the port.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "exports/library.h"
#include "fuzz_support.h"
#include "link/memory_line.h"
#include "link/port_control.h"
#include "records/download.h"
#include "support/download_oracle.h"

using namespace vkt;

namespace {

// A raw reply larger than this gains nothing: it passes the smallest bound
// (65,664 bytes) with room to spare.
constexpr std::size_t kMostBytes = 96 * 1024;
// Nor one of more lines than this: a reply of thousands of rows costs a
// hundred short ones. A long run of other bytes and a few hundred record
// lines after it pass a count's bound and raise it.
constexpr std::size_t kMostLineEnds = 512;

// Counts: too low, none, missing (the ceiling), small, no number, about
// right for the longest replies (a count of a million would only make the
// download reserve 23 MB each time).
const char* const kCounts[] = {"2", "0", "", "50", "x", "3000"};
const char* const kYears[] = {"2009", "", "x", "2147483647"};

// A record line of the input's choosing: the worked example's two lines and
// their year tags changed, so that years advance.
std::string record_line(uint32_t n) {
  std::string line = n % 2 ? "18400050807F00FB0064" : "35EDB5E501FE4017192D";
  line[1] = "0123456789ABCDEF"[(n / 2) % 16];
  return line;
}

// The input as the device's pieces.
std::vector<std::string> pieces_of(fuzz::Input& input) {
  std::vector<std::string> pieces;
  std::size_t total = 0;
  std::size_t total_line_ends = 0;
  if (input.byte() % 2 == 0) {
    // Raw: pieces of up to 255 bytes, now and then one repeated into a long
    // one (long runs of bytes, not of lines).
    while (!input.empty() && total < kMostBytes && total_line_ends < kMostLineEnds) {
      const std::size_t length = input.byte();
      const uint8_t repeat = input.byte();
      const std::string_view bytes = input.take(length);
      const auto line_ends = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
      const std::size_t most = line_ends == 0 ? 2048 : std::max<std::size_t>(1, 64 / line_ends);
      const std::size_t copies = repeat < 252 ? 1 : std::min<std::size_t>((repeat - 251u) * 128u, most);
      std::string piece;
      for (std::size_t i = 0; i < copies && total + piece.size() < kMostBytes; ++i) piece += bytes;
      total += piece.size();
      total_line_ends += line_ends * copies;
      pieces.push_back(std::move(piece));
    }
    return pieces;
  }
  // A reply of record lines, bytes put into it, cut into pieces.
  const uint32_t lines = input.byte() % 128u;
  std::string reply;
  for (uint32_t i = 0; i < lines; ++i) reply += record_line(i) + "\r\n";
  reply += "#\r\n";
  for (int edits = input.byte() % 16; edits > 0; --edits) {
    const uint32_t at = (input.byte() << 8 | input.byte()) % (reply.size() + 1);
    // Most edits near the end, where the last line and "#" are.
    const std::size_t pos = at % 2 ? reply.size() - at % std::min<std::size_t>(reply.size() + 1, 40) : at;
    reply.insert(pos, 1, static_cast<char>(input.byte()));
  }
  std::string_view rest = reply;
  while (!rest.empty()) {
    const std::size_t size = input.empty() ? rest.size() : 1u + input.byte() * (1u + input.byte() % 4);
    pieces.emplace_back(rest.substr(0, size));
    rest.remove_prefix(std::min(size, rest.size()));
  }
  return pieces;
}

// A clock that stands still while the logger still has bytes for the port,
// so that no bound of time passes while a reply comes, and runs a second a
// reading once it has sent them all, so that a reply without "#" ends in a
// few polls by the 3000 ms of silence.
class ReplyClock final : public Clock {
 public:
  explicit ReplyClock(std::function<bool()> sent_all) : sent_all_(std::move(sent_all)) {}
  uint32_t now_ms() override {
    std::lock_guard lock(mu_);
    if (sent_all_()) now_ += 1000;
    return now_;
  }
  void sleep_ms(uint32_t ms) override {
    std::lock_guard lock(mu_);
    now_ += ms;
  }
  LocalTime local_now() override { return {2026, 12, 20, 12, 0, 0, 0}; }

 private:
  std::mutex mu_;
  uint32_t now_ = 0xFFFF0000u;
  std::function<bool()> sent_all_;
};

// The line's backend, noted, whose wait for bytes ends at once when the
// logger has nothing more to send: the silence bound then runs out on the
// clock above instead of on real time.
class NoWaitBackend final : public testing::RecordingBackend {
 public:
  NoWaitBackend(std::unique_ptr<link::SerialBackend> inner, std::shared_ptr<Log> log, std::function<bool()> sent_all)
      : RecordingBackend(std::move(inner), std::move(log)), sent_all_(std::move(sent_all)) {}
  bool wait_readable(std::chrono::milliseconds timeout) override {
    return RecordingBackend::wait_readable(sent_all_() ? std::chrono::milliseconds(0) : timeout);
  }

 private:
  std::function<bool()> sent_all_;
};

// One library for the whole run, its port open on one in-memory line: a
// library, or a port thread, made for every input would cost more than the
// download. Every input leaves the library as it found it, so that the
// run's leak detection sees no input keep memory.
struct Rig {
  Rig() {
    line->set_direct_reads(true);
    line->set_far_side([this](link::MemoryLine& far, const std::string& burst) {
      // The logger answers "D" with every piece at once.
      if (burst.find('D') == std::string::npos) return;
      far.send(pieces);
      answered = true;
    });
    lib.ensure_monitor();
    if (link::com_open(lib, 1) != 1) fuzz::fail("the port does not open");
  }
  std::shared_ptr<link::MemoryLine> line = link::MemoryLine::make(1);
  std::shared_ptr<testing::RecordingBackend::Log> log = std::make_shared<testing::RecordingBackend::Log>();
  std::atomic<bool> answered{false};
  bool sent_all() const { return answered && line->unread() == 0; }
  std::shared_ptr<ui::HeadlessBackend> windows = std::make_shared<ui::HeadlessBackend>(0);
  Library lib{LibraryServices{std::make_shared<ReplyClock>([this] { return sent_all(); }),
                              std::make_shared<fuzz::QuietNotifier>(), windows,
                              [this] {
                                return std::make_unique<NoWaitBackend>(line->make_backend(), log,
                                                                       [this] { return sent_all(); });
                              },
                              {}}};
  // The library whose record table the model's lines are decoded in.
  std::shared_ptr<ui::HeadlessBackend> reference_windows = std::make_shared<ui::HeadlessBackend>(0);
  Library reference{LibraryServices{std::make_shared<fuzz::StepClock>(0, 0), std::make_shared<fuzz::QuietNotifier>(),
                                    reference_windows, {}, {}}};
  std::vector<std::string> pieces;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static Rig rig;
  fuzz::Input input(data, size);
  const uint8_t choice = input.byte();
  rig.pieces = pieces_of(input);
  rig.answered = false;
  Library& lib = rig.lib;
  lib.logger.param_count = kCounts[choice % 6];
  lib.logger.param_year = kYears[(choice / 8) % 4];
  const std::string year = lib.logger.param_year;

  const bool ok = records::vkt_inputdata(lib.download_context());
  std::size_t others = 0;
  const std::vector<std::string> reads = testing::reads_of_this_thread(*rig.log, &others);
  FUZZ_CHECK(others == 0);
  const std::string differs = testing::check_download(lib, rig.reference, ok, reads, year);
  if (!differs.empty()) {
    std::fprintf(stderr, "download against its model: %s\n", differs.c_str());
    std::abort();
  }
  windows::TForm2& form = *lib.monitor();
  // A download ended by its bound leaves nothing in the port.
  if (testing::expected_download(reads, lib.logger.param_count).over_bound)
    FUZZ_CHECK(rig.line->unread() + form.ApdComPort1.InBuffUsed() == 0);

  // Nothing left for the next input: what the logger still had, the
  // records, the reply, the released popup, the window events.
  form.ApdComPort1.FlushInput();
  rig.log->take();
  form.StringGrid1.set_row_count(1);
  form.Memo1.clear();
  lib.download_state.last_download = {};
  lib.enter_export();
  rig.windows->clear();
  rig.reference_windows->clear();
  std::vector<std::string>().swap(rig.pieces);
  return 0;
}
