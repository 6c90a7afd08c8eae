// The download over a real pseudo-terminal, on the POSIX backend's direct
// reception (the download's thread reads the device itself): the logger's
// reply is written on the master side in pieces, with pauses, and what the
// download leaves behind must be what the model of support/download_oracle.h
// works out from the reads the download made.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "link/port_control.h"
#include "link/serial_backend.h"
#include "record_fixture.h"
#include "records/download.h"
#include "support/download_oracle.h"
#include "support/pty_pair.h"

namespace vkt::records::test {
namespace {

using vkt::testing::RecordingBackend;

class DownloadOverPty : public ::testing::Test {
 protected:
  void SetUp() override {
    lib->ensure_monitor();
    ASSERT_EQ(link::com_open(*lib, 1), 1);
    lib->logger.param_year = "2009";
    lib->logger.param_count = "2";
  }
  void TearDown() override { link::com_close(*lib); }

  // Downloads while the logger answers "D" with `pieces`, each written after
  // its pause; the difference from the model, or nothing.
  std::string download(const std::vector<std::string>& pieces, const std::vector<int>& pauses_ms = {}) {
    std::thread logger([&] {
      if (pty.read_exact(1, 5s) != "D") return;
      for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i < pauses_ms.size()) std::this_thread::sleep_for(std::chrono::milliseconds(pauses_ms[i]));
        pty.write(pieces[i]);
      }
    });
    const std::string year = lib->logger.param_year;
    log->take();
    const bool ok = vkt_inputdata(lib->download_context());
    logger.join();
    std::size_t others = 0;
    const std::vector<std::string> reads = vkt::testing::reads_of_this_thread(*log, &others);
    if (others > 0) return "the port's own thread read the reply";
    return vkt::testing::check_download(*lib, *reference, ok, reads, year);
  }

  vkt::testing::TestLibrary reference;  // where the model's lines are decoded
  vkt::test::PtyPair pty;
  std::shared_ptr<RecordingBackend::Log> log = std::make_shared<RecordingBackend::Log>();
  vkt::testing::TestLibrary lib{std::make_shared<vkt::testing::FastRealClock>(), [this] {
                                  return std::make_unique<RecordingBackend>(link::make_platform_serial_backend(), log,
                                                                            pty.slave_path());
                                }};
};

// Once a crash of the host: a zero byte after a line end, in the read that
// also holds the "#", cut the text before the "#", the trim took the line
// end, and rows made while the reply arrived reached past the text.
TEST_F(DownloadOverPty, AZeroByteAfterALineEndInTheTerminatorsReadEndsTheReplyThere) {
  ASSERT_EQ(download({kFirst + "\r\n" + std::string(1, '\0') + "#"}), "");
  EXPECT_EQ(vkt_datacount(lib->record_parts()), 1);
  EXPECT_EQ(table(*lib).cell(kData, 1), kFirst);
  EXPECT_EQ(lib->download_state.last_download.status, DownloadReport::Status::Ok);

  // The simulator's shape: 50 records, the zero byte after the first line
  // or just before the "#".
  std::string reply;
  for (int i = 0; i < 50; ++i) reply += (i % 2 ? kSecond : kFirst) + "\r\n";
  reply += "#\r\n";
  for (const std::size_t at : {std::size_t{22}, reply.size() - 3}) {
    std::string with_zero = reply;
    with_zero.insert(at, 1, '\0');
    lib->logger.param_year = "2009";
    EXPECT_EQ(download({with_zero.substr(0, with_zero.find('#') + 1)}), "") << "zero byte at " << at;
  }
}

// Replies of record lines with bytes put in around line ends and the "#",
// written in pieces of random sizes after pauses of 0 to 20 ms.
TEST_F(DownloadOverPty, RepliesCutAtRandomReadAsTheirModelSays) {
  std::mt19937 random(20261209);
  auto below = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const char kBytes[] = {'\0', '\r', '\n', '#', 'G', ' ', '\xC8', '\x7F'};
  const auto deadline = std::chrono::steady_clock::now() + 8s;
  int round = 0;
  for (; round < 80 && std::chrono::steady_clock::now() < deadline; ++round) {
    const int lines = below(120);
    std::string reply;
    for (int i = 0; i < lines; ++i) {
      std::string line = i % 2 ? kSecond : kFirst;
      line[1] = "0123456789ABCDEF"[below(16)];
      reply += line + "\r\n";
    }
    reply += "#\r\n";
    for (int n = below(4); n > 0; --n) {
      // Mostly at a line end or near the "#".
      const int kind = below(3);
      std::size_t at = static_cast<std::size_t>(below(static_cast<int>(reply.size()) + 1));
      if (kind == 0) at = reply.size() - 3 - static_cast<std::size_t>(below(static_cast<int>(std::min<std::size_t>(reply.size() - 3, 4)) + 1));
      if (kind == 1) at = at / 22 * 22 + 20 + static_cast<std::size_t>(below(3));
      reply.insert(std::min(at, reply.size()), 1, kBytes[below(sizeof kBytes)]);
    }
    // Every fourth reply has a zero byte just before its first "#" (the shape
    // that once crashed the host), and nothing comes after that "#": the
    // next round must find the line empty.
    if (round % 4 == 0) reply.insert(reply.find('#'), 1, '\0');
    reply.resize(reply.find('#') + 1);
    std::vector<std::string> pieces;
    std::vector<int> pauses;
    for (std::size_t at = 0; at < reply.size();) {
      const std::size_t size = 1 + static_cast<std::size_t>(below(below(2) ? 40 : 400));
      pieces.push_back(reply.substr(at, size));
      pauses.push_back(below(2) ? 0 : below(21));
      at += size;
    }
    const char* counts[] = {"2", "", "100"};
    lib->logger.param_count = counts[below(3)];
    lib->logger.param_year = "2009";
    EXPECT_EQ(download(pieces, pauses), "") << "round " << round;
  }
  EXPECT_GE(round, 10);
}

}  // namespace
}  // namespace vkt::records::test
