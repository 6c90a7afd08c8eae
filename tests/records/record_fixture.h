#pragma once
// Helpers of the record tests: reading fields back through the accessors,
// filling the record table without a port, and a logger played at the far
// end of an in-memory line.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "exports/library.h"
#include "link/port_control.h"
#include "records/accessors.h"
#include "records/record_decoder.h"
#include "records/record_table.h"
#include "support/eventually.h"
#include "support/fakes.h"
#include "support/scripted_logger.h"
#include "windows/monitor_window.h"

namespace vkt::records::test {

using namespace std::chrono_literals;

// A text field of a row, as the host reads it, in a buffer larger than the
// field's own so that an overrun would show.
inline std::string text_of(Library& library, TextField field, int32_t row) {
  std::array<char, 128> buffer;
  buffer.fill('\x7f');
  vkt_get_text(library.record_table(), field, row, buffer.data());
  return std::string(buffer.data());
}

inline std::array<uint8_t, 14> block_of(Library& library, int32_t row, uint8_t fill = 0xEE) {
  std::array<uint8_t, 14> block;
  block.fill(fill);
  vkt_getdata(library.record_table(), row, block.data());
  return block;
}

inline ui::TextGrid& table(Library& library) { return library.monitor()->StringGrid1; }

// Puts raw lines into rows 1..n as the download does and decodes them.
inline void decode_lines(Library& library, const std::vector<std::string>& lines) {
  ui::TextGrid& grid = table(library);
  grid.set_row_count(static_cast<int>(lines.size()) + 1);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    grid.set_cell(kCount, static_cast<int>(i) + 1, std::to_string(i + 1));
    grid.set_cell(kData, static_cast<int>(i) + 1, lines[i]);
  }
  for (int row = 1; row < grid.row_count(); ++row) library.decode_rows(row, row);
}

// Waits (bounded) until the monitor window's port holds at least `count` bytes.
inline bool port_holds(Library& library, uint32_t count) {
  auto& port = library.monitor()->ApdComPort1;
  return vkt::testing::eventually([&] { return port.InBuffUsed() >= count; }, 5s,
                                  [&] { port.wait_for_input(10ms); });
}

// A library whose monitor window has COM1 open on an in-memory line; the
// test plays the logger at its far end, which answers nothing by itself.
struct PortedLibrary {
  explicit PortedLibrary(std::shared_ptr<vkt::Clock> clock = std::make_shared<vkt::testing::FastRealClock>())
      : lib(std::move(clock), logger.backends()) {
    logger.silent_to("");
    lib->ensure_monitor();
    opened = link::com_open(*lib, 1);
  }
  ~PortedLibrary() { link::com_close(*lib); }

  link::MemoryLine& line() { return logger.line(); }
  // Puts `reply` into the port's receive buffer before the request, so that
  // the download reads it as one chunk.
  bool preload(const std::string& reply) {
    line().send(reply);
    return port_holds(*lib, static_cast<uint32_t>(reply.size()));
  }

  vkt::testing::ScriptedLogger logger;
  vkt::testing::TestLibrary lib;
  int32_t opened = -1;
};

// Plays the logger: answers the first request it sees with the reply.
class AnswerRequest {
 public:
  AnswerRequest(vkt::testing::ScriptedLogger& logger, std::string reply) : logger_(logger) {
    logger_.answer_prefix("", [this, reply = std::move(reply)](const std::string& command) {
      std::lock_guard lock(mu_);
      if (answered_) return std::string();
      answered_ = true;
      request_ = command;
      return reply;
    });
  }
  ~AnswerRequest() { logger_.silent_to(""); }
  AnswerRequest(const AnswerRequest&) = delete;
  AnswerRequest& operator=(const AnswerRequest&) = delete;

  // The request the logger saw (empty: none so far).
  std::string request() {
    std::lock_guard lock(mu_);
    return request_;
  }

 private:
  vkt::testing::ScriptedLogger& logger_;
  std::mutex mu_;
  bool answered_ = false;
  std::string request_;
};

// The two records of the worked example and their reply.
inline const std::string kFirst = "35EDB5E501FE4017192D";
inline const std::string kSecond = "18400050807F00FB0064";
inline const std::string kExampleReply = kFirst + "\r\n" + kSecond + "\r\n#\r\n";

}  // namespace vkt::records::test
