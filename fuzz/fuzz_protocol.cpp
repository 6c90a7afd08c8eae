// The whole protocol on the in-memory serial line: a logger at the far end
// answers each command with the input's next reply (or floods, stays silent
// or is unplugged), while the input's first bytes choose the host's calls.
// Besides what the sanitizers catch, the results must hold together: a
// successful download leaves every row decoded, the parameter lines are
// trimmed, the texts fit their documented buffers.
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

#include "exports/library.h"
#include "fuzz_support.h"
#include "link/memory_line.h"
#include "link/port_control.h"
#include "protocol/clock_setting.h"
#include "protocol/connect.h"
#include "protocol/exchange.h"
#include "records/accessors.h"
#include "records/download.h"
#include "records/record_decoder.h"
#include "records/record_table.h"
#include "settings/settings_exports.h"
#include "vktcom.h"

using namespace vkt;

namespace {

// The far side: replies taken in order; "\x02<n>" floods n * 256 bytes
// without "#", "\x03" unplugs the logger, "\x04" stays silent.
class FuzzLogger {
 public:
  FuzzLogger(std::vector<std::string> replies) : line_(link::MemoryLine::make(1)), replies_(replies.begin(), replies.end()) {
    line_->set_far_side([this](link::MemoryLine& line, const std::string&) {
      std::string reply;
      {
        std::lock_guard lock(mu_);
        if (replies_.empty()) return;
        reply = std::move(replies_.front());
        replies_.pop_front();
      }
      if (reply == "\x03") return line.hang_up();
      if (reply == "\x04") return;
      if (reply.size() == 2 && reply[0] == '\x02') reply.assign(static_cast<uint8_t>(reply[1]) * 256u, 'A');
      line.send(reply);
    });
  }
  ~FuzzLogger() { line_->set_far_side(nullptr); }
  link::MemoryLine& line() { return *line_; }
  windows::SerialBackendFactory backends() {
    return [line = line_] { return line->make_backend(); };
  }

 private:
  std::shared_ptr<link::MemoryLine> line_;
  std::mutex mu_;
  std::deque<std::string> replies_;
};

bool is_trim_byte(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  std::string calls(input.text());
  if (calls.size() > 12) calls.resize(12);
  std::vector<std::string> replies;
  while (!input.empty() && replies.size() < 32) replies.emplace_back(input.text());

  FuzzLogger logger(replies);
  // Every bound of 3000 ms passes within a few polls (each sleeps at most
  // 20 ms of real time for an arrival), so that a silent logger costs little.
  auto clock = std::make_shared<fuzz::StepClock>(0xFFFFF000u, 700);
  Library lib(LibraryServices{clock, std::make_shared<fuzz::QuietNotifier>(), std::make_shared<ui::HeadlessBackend>(64),
                              logger.backends(), {}});
  lib.ensure_monitor();
  link::com_open(lib, 1);

  for (char call : calls) {
    switch (static_cast<uint8_t>(call) % 8) {
      case 0: {
        const bool ok = lib.connect();
        if (auto* m = lib.monitor()) {
          if (!ok) FUZZ_CHECK(m->ListBox1.items().empty());
          for (const auto& line : m->ListBox1.items())
            FUZZ_CHECK(line.empty() || (!is_trim_byte(line.front()) && !is_trim_byte(line.back())));
        }
        break;
      }
      case 1: {
        const bool ok = records::vkt_inputdata(lib.download_context());
        const int32_t count = records::vkt_datacount(lib.record_parts());
        FUZZ_CHECK(count >= 0);
        if (ok) {
          for (int32_t row = 1; row <= count; ++row)
            FUZZ_CHECK(records::is_record_line(lib.monitor()->StringGrid1.cell(records::kData, row)));
        }
        break;
      }
      case 2:
        lib.set_clock();
        break;
      case 3:
        settings::vkt_set_command(lib.settings_context(), "N05");
        break;
      case 4: {
        auto text = std::make_unique<char[]>(VKTCOM_PARAM_BUFFER_SIZE);
        settings::vkt_get_param(lib.settings_context(), text.get());
        FUZZ_CHECK(std::memchr(text.get(), '\0', VKTCOM_PARAM_BUFFER_SIZE) != nullptr);
        break;
      }
      case 5: {
        const int32_t count = records::vkt_datacount(lib.record_parts());
        for (int32_t row : {0, 1, count}) {
          auto all = std::make_unique<char[]>(VKTCOM_ALL_BUFFER_SIZE);
          records::vkt_get_text(lib.record_table(), records::TextField::All, row, all.get());
          auto block = std::make_unique<uint8_t[]>(VKTCOM_DATA_BLOCK_SIZE);
          records::vkt_getdata(lib.record_table(), row, block.get());
        }
        break;
      }
      case 6:
        // Unplugged and back: the port is closed and opened again.
        logger.line().replug();
        link::com_close(lib);
        link::com_open(lib, 1);
        break;
      default:
        link::com_close(lib);
        break;
    }
  }
  link::com_close(lib);
  return 0;
}
