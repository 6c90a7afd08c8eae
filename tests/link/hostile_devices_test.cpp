// Hostile devices on a real serial line (a pseudo-terminal, or the logger
// simulator on one): device nodes that are no terminal, floods without "#",
// bursts above the port's ring, NUL floods, and a soak of a few hundred
// sessions whose descriptors and threads must stay flat.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "link/port_control.h"
#include "protocol/connect.h"
#include "protocol/exchange.h"
#include "records/accessors.h"
#include "records/download.h"
#include "records/download_bound.h"
#include "support/fakes.h"
#include "support/pty_pair.h"
#include "vktsim/logger_sim.h"

namespace vkt::protocol {
namespace {

using namespace std::chrono_literals;
using testing::FakeClock;
using testing::FastRealClock;
using testing::TestLibrary;

std::size_t entries_of(const char* folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

// Writes to the master side of a pty until stopped: a device that never
// stops sending.
class Flood {
 public:
  Flood(test::PtyPair& pty, std::string piece)
      : thread_([this, &pty, piece = std::move(piece)] {
          while (!stop_) pty.write(piece, 20ms);
        }) {}
  ~Flood() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A library whose monitor window has COM1 open on the slave side of a pty
// the test plays.
struct OnAPty : ::testing::Test {
  test::PtyPair pty;
  test::DevRoot dev;
  std::unique_ptr<TestLibrary> lib;

  void open_with(std::shared_ptr<Clock> clock) {
    dev.link("ttyUSB0", pty.slave_path());
    lib = std::make_unique<TestLibrary>(std::move(clock));
    (*lib)->ensure_monitor();
    ASSERT_EQ(link::com_open(**lib, 1), 1);
  }
  void TearDown() override {
    if (lib) link::com_close(**lib);
  }
  Library& library() { return **lib; }
};

TEST_F(OnAPty, FloodsOfTextOrNulsWithoutTerminatorEndTheReplyWaitAtItsBound) {
  // Each reading of the clock is 5 ms: the 3000 ms bound passes after 600
  // polls, however fast the bytes come.
  open_with(std::make_shared<FakeClock>(0xFFFFF000u, 5));
  for (const std::string& piece : {std::string(512, 'A'), std::string(512, '\0')}) {
    Flood flood(pty, piece);
    EXPECT_EQ(exchange(library().channel(), "m"), "");
  }
  // The line is still usable: the next exchange flushes the flood away.
  pty.read_until_quiet(50ms);
  std::thread answer([this] {
    pty.read_exact(1, 2s);
    pty.write("OK#");
  });
  const std::string reply = exchange(library().channel(), "m");
  answer.join();
  EXPECT_EQ(reply.substr(reply.size() - 3), "OK#");
}

TEST_F(OnAPty, ABurstAboveThePortsRingArrivesWholeAndInOrder) {
  open_with(std::make_shared<FastRealClock>());
  std::string burst;
  for (int i = 0; burst.size() < 20000; ++i) burst += std::to_string(i) + ",";
  std::thread answer([&] {
    pty.read_exact(1, 2s);
    pty.write(burst + "#", 5s);
  });
  const std::string reply = exchange(library().channel(), "p");
  answer.join();
  EXPECT_EQ(reply, burst + "#");
}

TEST_F(OnAPty, FloodsOfTextOrNulsEndTheDownloadAtItsByteBound) {
  open_with(std::make_shared<FastRealClock>());
  library().logger.param_count = "0";
  const std::size_t limit = records::DownloadBound::for_count("0").max_bytes;
  for (const std::string& piece : {std::string(1024, 'A') + "\r\n", std::string(1024, '\0')}) {
    Flood flood(pty, piece);
    EXPECT_FALSE(records::DownloadDriver(library().download_context()));
    const std::string last = lib->popup_texts().back();
    EXPECT_EQ(last.rfind("Label1=DATA ERROR over=", 0), 0u) << last;
    EXPECT_LE(std::stoul(last.substr(23)), limit + 32768);
    EXPECT_EQ(library().monitor()->Memo1.text(), "");
  }
}

TEST(BadDeviceNodes, ARegularFileADirectoryAFifoOrADanglingLinkIsRefusedAtOnce) {
  test::DevRoot dev;
  const std::filesystem::path root(dev.path());
  std::ofstream(root / "file") << "not a terminal";
  std::filesystem::create_directory(root / "folder");
  ASSERT_EQ(::mkfifo((root / "fifo").c_str(), 0600), 0);
  TestLibrary lib;
  lib->ensure_monitor();
  for (const char* target : {"file", "folder", "fifo", "nowhere"}) {
    dev.link("ttyUSB0", (root / target).string());
    EXPECT_EQ(link::com_open(*lib, 1), -1) << target;
    EXPECT_FALSE(lib->monitor()->ApdComPort1.is_open()) << target;
    EXPECT_FALSE(lib->connect()) << target;
  }
  // A real device at the same place afterwards opens as usual.
  test::PtyPair pty;
  dev.link("ttyUSB0", pty.slave_path());
  EXPECT_EQ(link::com_open(*lib, 1), 1);
  link::com_close(*lib);
}

// The logger simulator, unpaced, as COM1.
struct SimOnTheLine : ::testing::Test {
  std::unique_ptr<vktsim::LoggerSim> sim;
  test::DevRoot dev;
  TestLibrary lib;

  void plug(vktsim::SimOptions options) {
    options.paced = false;
    sim = std::make_unique<vktsim::LoggerSim>(options);
    dev.link("ttyUSB0", sim->slave_path());
    lib->ensure_monitor();
  }
  void TearDown() override { link::com_close(*lib); }

  static std::vector<vktsim::SimRecord> records(std::size_t n) {
    vktsim::SimRecord r;
    r.year = 2024;
    return std::vector<vktsim::SimRecord>(n, r);
  }
};

TEST_F(SimOnTheLine, AFewHundredSessionsLeaveDescriptorsAndThreadsFlat) {
  vktsim::SimOptions options;
  options.records = records(20);
  plug(options);
  auto session = [&] {
    ASSERT_EQ(link::com_open(*lib, 1), 1);
    ASSERT_TRUE(lib->connect());
    ASSERT_TRUE(records::DownloadDriver(lib->download_context()));
    ASSERT_EQ(records::vkt_datacount(lib->record_parts()), 20);
    link::com_close(*lib);
  };
  session();
  const std::size_t fds = entries_of("/proc/self/fd");
  const std::size_t threads = entries_of("/proc/self/task");
  for (int i = 0; i < 300; ++i) {
    session();
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_EQ(entries_of("/proc/self/fd"), fds);
  EXPECT_EQ(entries_of("/proc/self/task"), threads);
}

}  // namespace
}  // namespace vkt::protocol
