// The Linux port table: which device each COM number names, and back.
#include "link/port_names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace vkt::link {
namespace {

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (previous_) {
      ::setenv(name_, previous_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

TEST(PortTable, FamiliesCoverTheirRangesAndStopAtTheirEdges) {
  ScopedEnv root("VKTCOM_DEV_ROOT", nullptr);
  EXPECT_EQ(device_path_for_port(1), "/dev/ttyUSB0");
  EXPECT_EQ(device_path_for_port(20), "/dev/ttyUSB19");
  EXPECT_EQ(device_path_for_port(21), "/dev/ttyACM0");
  EXPECT_EQ(device_path_for_port(40), "/dev/ttyACM19");
  EXPECT_EQ(device_path_for_port(41), "/dev/ttyS0");
  EXPECT_EQ(device_path_for_port(72), "/dev/ttyS31");
  for (uint16_t none : {0, 73, 100, 65535}) {
    EXPECT_EQ(device_path_for_port(none), "") << none;
    EXPECT_EQ(device_name_for_port(none), "") << none;
  }
}

TEST(PortTable, EveryNumberRoundTripsThroughItsName) {
  for (int com = 1; com <= 72; ++com) {
    const std::string name = device_name_for_port(static_cast<uint16_t>(com));
    ASSERT_FALSE(name.empty()) << com;
    EXPECT_EQ(port_for_device_name(name), com) << name;
    EXPECT_EQ(port_for_device_name("/dev/" + name), com) << name;
  }
}

TEST(PortTable, NamesOutsideTheTableHaveNoNumber) {
  for (const char* name : {"", "ttyUSB", "ttyUSB20", "ttyACM20", "ttyS32", "ttyUSB01", "ttyS1x",
                           "ttyUSB-1", "ttyS+1", "tty0", "ttyAMA0", "usb/ttyUSB", "/dev/"}) {
    EXPECT_EQ(port_for_device_name(name), 0) << name;
  }
}

TEST(PortTable, RootsFollowTheEnvironmentAtEachCall) {
  {
    ScopedEnv dev("VKTCOM_DEV_ROOT", nullptr);
    ScopedEnv sys("VKTCOM_SYSFS_ROOT", nullptr);
    EXPECT_EQ(dev_root(), "/dev");
    EXPECT_EQ(sysfs_root(), "/sys");
  }
  {
    ScopedEnv dev("VKTCOM_DEV_ROOT", "/tmp/devs/");
    ScopedEnv sys("VKTCOM_SYSFS_ROOT", "/tmp/sysfs");
    EXPECT_EQ(dev_root(), "/tmp/devs");
    EXPECT_EQ(sysfs_root(), "/tmp/sysfs");
    EXPECT_EQ(device_path_for_port(42), "/tmp/devs/ttyS1");
  }
  {
    ScopedEnv dev("VKTCOM_DEV_ROOT", "");  // empty counts as unset
    EXPECT_EQ(dev_root(), "/dev");
  }
}

}  // namespace
}  // namespace vkt::link
