#pragma once
// The host's end of the simulator's line for the simulator tests: the pty
// slave opened with plain POSIX calls, raw, non-blocking.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "support/temp_folder.h"

namespace simtest {

using namespace std::chrono_literals;

class PtyHost {
 public:
  explicit PtyHost(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open " + path);
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
  }
  ~PtyHost() {
    if (fd_ >= 0) ::close(fd_);
  }
  PtyHost(const PtyHost&) = delete;
  PtyHost& operator=(const PtyHost&) = delete;

  void send(std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t k = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (k > 0) {
        done += static_cast<std::size_t>(k);
      } else if (k < 0 && errno != EAGAIN && errno != EINTR) {
        throw std::runtime_error("write to the pty failed");
      } else {
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      }
    }
  }

  // Reads until what has come ends with `end` (or contains it when
  // `anywhere`), the line hangs up, or `timeout` passes. Returns everything
  // read.
  std::string read_until(std::string_view end, std::chrono::milliseconds timeout = 5s, bool anywhere = false) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + timeout;
    auto done = [&] {
      return anywhere ? got.find(end) != std::string::npos
                      : got.size() >= end.size() && got.compare(got.size() - end.size(), end.size(), end) == 0;
    };
    while (!done()) {
      if (!read_some(got, until)) break;
    }
    return got;
  }

  // Reads until `n` bytes have come (or hang-up, or time-out).
  std::string read_bytes(std::size_t n, std::chrono::milliseconds timeout = 5s) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (got.size() < n && read_some(got, until)) {
    }
    return got;
  }

  // Everything that arrives within `window` (for checks that nothing comes).
  std::string read_for(std::chrono::milliseconds window) {
    std::string got;
    const auto until = std::chrono::steady_clock::now() + window;
    while (read_some(got, until)) {
    }
    return got;
  }

  // Sends a command and reads up to the read that brings its "#".
  std::string exchange(std::string_view command) {
    send(command);
    return read_until("#", 5s, true);
  }

  // True once the other side has hung up.
  bool hung_up() const { return hung_up_; }

 private:
  // Waits for bytes until `until`; false on time-out or hang-up.
  bool read_some(std::string& got, std::chrono::steady_clock::time_point until) {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t k = ::read(fd_, buffer, sizeof buffer);
      if (k > 0) {
        got.append(buffer, static_cast<std::size_t>(k));
        return true;
      }
      if (k == 0 || (errno != EAGAIN && errno != EINTR) || (p.revents & POLLHUP)) {
        hung_up_ = true;
        return false;
      }
    }
  }

  int fd_ = -1;
  bool hung_up_ = false;
};

using TempFolder = vkt::testing::TempFolder;

}  // namespace simtest
