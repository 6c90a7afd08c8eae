#include "support/pty_pair.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace vkt::test {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void throw_system_error(const char* what) {
  throw std::system_error(errno, std::system_category(), what);
}

int remaining_ms(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

// Waits until `fd` is ready for `events` or the deadline passes. False on
// time-out; true also when the fd reports a hang-up (the next read or write
// then says what happened).
bool wait_ready(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int n = ::poll(&entry, 1, remaining_ms(deadline));
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) return false;
  }
}

constexpr const char* kDevRootVariable = "VKTCOM_DEV_ROOT";

}  // namespace

PtyPair::PtyPair() {
  master_fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (master_fd_ < 0) throw_system_error("posix_openpt");
  char name[128];
  if (::grantpt(master_fd_) != 0 || ::unlockpt(master_fd_) != 0 ||
      ::ptsname_r(master_fd_, name, sizeof name) != 0) {
    const int error = errno;
    ::close(master_fd_);
    master_fd_ = -1;
    errno = error;
    throw_system_error("pseudo-terminal slave");
  }
  ::fcntl(master_fd_, F_SETFD, FD_CLOEXEC);
  slave_path_ = name;
}

PtyPair::~PtyPair() { close_master(); }

std::size_t PtyPair::write(std::string_view data, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::size_t written = 0;
  while (written < data.size() && master_fd_ >= 0) {
    const ssize_t n = ::write(master_fd_, data.data() + written, data.size() - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) break;
    if (!wait_ready(master_fd_, POLLOUT, deadline)) break;
  }
  return written;
}

std::string PtyPair::read_some(std::size_t max, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::string buffer(max, '\0');
  while (master_fd_ >= 0 && max > 0) {
    const ssize_t n = ::read(master_fd_, buffer.data(), max);
    if (n > 0) {
      buffer.resize(static_cast<std::size_t>(n));
      return buffer;
    }
    if (n < 0 && errno == EINTR) continue;
    // EIO: the slave side is closed and nothing is left to read.
    if (n == 0 || errno != EAGAIN) break;
    if (!wait_ready(master_fd_, POLLIN, deadline)) break;
  }
  return {};
}

std::string PtyPair::read_exact(std::size_t count, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  std::string result;
  while (result.size() < count) {
    const std::string part =
        read_some(count - result.size(), std::chrono::milliseconds(remaining_ms(deadline)));
    if (part.empty()) break;
    result += part;
  }
  return result;
}

std::string PtyPair::read_until_quiet(std::chrono::milliseconds quiet,
                                      std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  std::string result;
  while (Clock::now() < deadline) {
    const auto wait = std::min(quiet, std::chrono::milliseconds(remaining_ms(deadline)));
    const std::string part = read_some(4096, wait);
    if (part.empty()) break;
    result += part;
  }
  return result;
}

void PtyPair::close_master() {
  if (master_fd_ >= 0) ::close(master_fd_);
  master_fd_ = -1;
}

int PtyPair::open_slave(int flags) const { return ::open(slave_path_.c_str(), flags | O_CLOEXEC); }

void PtyPair::make_slave_raw() const {
  const int fd = open_slave();
  if (fd < 0) throw_system_error("open pseudo-terminal slave");
  termios tio{};
  bool ok = ::tcgetattr(fd, &tio) == 0;
  if (ok) {
    ::cfmakeraw(&tio);
    ok = ::tcsetattr(fd, TCSANOW, &tio) == 0;
  }
  const int error = errno;
  ::close(fd);
  errno = error;
  if (!ok) throw_system_error("raw pseudo-terminal slave");
}

DevRoot::DevRoot() : env_(kDevRootVariable, path_) {}

void DevRoot::link(const std::string& name, const std::string& target) const {
  remove(name);
  std::filesystem::create_symlink(target, path_ + "/" + name);
}

void DevRoot::remove(const std::string& name) const {
  std::error_code ignored;
  std::filesystem::remove(path_ + "/" + name, ignored);
}

}  // namespace vkt::test
