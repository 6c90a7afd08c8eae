#pragma once
// Pseudo-terminals for tests that need a real terminal device. The code under
// test opens the slave side by its path, as it would open a serial port; the
// test plays the device on the master side.
#include <fcntl.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "support/temp_folder.h"

namespace vkt::test {

class PtyPair {
 public:
  static constexpr std::chrono::milliseconds kDefaultTimeout{2000};

  // Opens a new pair (posix_openpt, grantpt, unlockpt). The slave side keeps
  // the system's default line settings until someone configures it. Throws
  // std::runtime_error when the system has no pseudo-terminals to give.
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // The slave's device path ("/dev/pts/3").
  const std::string& slave_path() const { return slave_path_; }
  // The master side, non-blocking; -1 after close_master().
  int master_fd() const { return master_fd_; }

  // Writes `data` to the master side (it arrives at the slave), waiting up
  // to `timeout` in all for room. Returns the number of bytes written.
  std::size_t write(std::string_view data, std::chrono::milliseconds timeout = kDefaultTimeout);

  // Waits up to `timeout` for bytes written on the slave side and returns
  // those waiting, at most `max`. Empty when none came or the slave side is
  // closed.
  std::string read_some(std::size_t max = 4096,
                        std::chrono::milliseconds timeout = kDefaultTimeout);
  // Reads until `count` bytes came or `timeout` passed; returns what came.
  std::string read_exact(std::size_t count, std::chrono::milliseconds timeout = kDefaultTimeout);
  // Reads until nothing has come for `quiet`, or until `limit` passed in all.
  std::string read_until_quiet(std::chrono::milliseconds quiet,
                               std::chrono::milliseconds limit = kDefaultTimeout);

  // Closes the master side: the slave side is hung up, as when a USB-serial
  // adapter is unplugged.
  void close_master();

  // Opens the slave side once more (to read back its line settings, to
  // stop its output with tcflow, to write into it). Returns the descriptor,
  // which the caller closes; -1 with errno set on failure.
  int open_slave(int flags = O_RDWR | O_NOCTTY | O_NONBLOCK) const;
  // Puts the slave side into raw mode, for tests that use it directly.
  void make_slave_raw() const;

 private:
  int master_fd_ = -1;
  std::string slave_path_;
};

// A temporary device folder: creates an empty folder, points the library's
// VKTCOM_DEV_ROOT at it, and on destruction removes the folder and restores
// the variable's previous value. Port numbers then name links in it
// (COM1 -> "ttyUSB0").
class DevRoot {
 public:
  DevRoot();
  DevRoot(const DevRoot&) = delete;
  DevRoot& operator=(const DevRoot&) = delete;

  const std::string& path() const { return path_; }
  // Makes `name` a symbolic link to `target`, replacing what was there.
  void link(const std::string& name, const std::string& target) const;
  // Removes `name` if it exists.
  void remove(const std::string& name) const;

 private:
  vkt::testing::TempFolder folder_{"vktcom-dev"};
  std::string path_ = folder_.path().string();
  vkt::testing::ScopedEnv env_;
};

}  // namespace vkt::test
