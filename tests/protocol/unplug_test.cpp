// The logger unplugged in the middle of a reply and of a download: the call
// ends with a failure, nothing half-received is kept, and once the logger is
// plugged in again the port opens, connects and downloads as before. The
// simulated logger on the in-memory line, hanging up after a given number
// of bytes.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "link/port_control.h"
#include "protocol/connect.h"
#include "records/accessors.h"
#include "records/download.h"
#include "support/fakes.h"
#include "support/simulated_logger.h"

namespace vkt::protocol {
namespace {

using namespace std::chrono_literals;

struct Unplugged : ::testing::Test {
  static vktsim::SimOptions records(std::size_t n) {
    vktsim::SimOptions options = testing::SimulatedLogger::unpaced();
    vktsim::SimRecord r;
    r.year = 2024;
    options.records.assign(n, r);
    return options;
  }

  testing::SimulatedLogger logger{records(200)};
  testing::TestLibrary lib{std::make_shared<testing::FastRealClock>(), logger.backends(), logger.registry()};
  std::size_t sent_at_plug = 0;

  Unplugged() { lib->ensure_monitor(); }
  ~Unplugged() override { link::com_close(*lib); }

  void replug() {
    logger->set_faults({});
    logger.replug();
    sent_at_plug = logger->counters().bytes_sent;
  }
  // Bytes the logger sent since it was last plugged in.
  std::size_t sent_since_plug() { return logger->counters().bytes_sent - sent_at_plug; }
};

TEST_F(Unplugged, MidReplyAndMidDownloadEndTheCallAndTheReplugRecovers) {
  for (int cycle = 0; cycle < 5; ++cycle) {
    const bool mid_download = cycle % 2 == 1;
    ASSERT_EQ(link::com_open(*lib, 1), 1) << cycle;
    ASSERT_TRUE(lib->connect()) << cycle;
    vktsim::SimFaults faults;
    // Cut after a part of the next reply: the parameter lines, or a
    // download of about 4400 bytes.
    faults.hang_up_after_bytes = sent_since_plug() + (mid_download ? 2000 : 40);
    logger->set_faults(faults);
    if (mid_download) {
      EXPECT_FALSE(records::DownloadDriver(lib->download_context())) << cycle;
      EXPECT_EQ(records::vkt_datacount(lib->record_parts()), 0) << cycle;
    } else {
      EXPECT_FALSE(lib->connect()) << cycle;
    }
    ASSERT_TRUE(logger->wait_for_unplug(5s));
    link::com_close(*lib);
    EXPECT_EQ(link::com_open(*lib, 1), -1) << "an unplugged logger does not open";

    replug();
    ASSERT_EQ(link::com_open(*lib, 1), 1) << cycle;
    ASSERT_TRUE(lib->connect()) << cycle;
    EXPECT_EQ(lib->logger.param_count, "200");
    EXPECT_TRUE(records::DownloadDriver(lib->download_context())) << cycle;
    EXPECT_EQ(records::vkt_datacount(lib->record_parts()), 200) << cycle;
    link::com_close(*lib);
  }
  EXPECT_EQ(logger->counters().hang_ups, 5u);
}

}  // namespace
}  // namespace vkt::protocol
