// The serial port's device access on POSIX systems: a terminal device opened
// non-blocking, held exclusively through TIOCEXCL and flock, configured raw
// through termios, waited on with poll() together with a wake-up pipe.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <system_error>

#include "link/port_error.h"
#include "link/port_names.h"
#include "link/serial_backend.h"

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace vkt::link {
namespace {

std::string system_text(int error) { return std::system_category().message(error); }

[[noreturn]] void throw_io_error(int error) { throw PortIoError(error, system_text(error)); }

// The port's own error, carrying the system's error number behind it.
template <class E>
[[noreturn]] void throw_with_errno(E e, int error) {
  e.set_system_errno(error);
  throw e;
}

// The termios speed constant for a rate in bits per second; B0 when the
// platform has none for it.
speed_t speed_for_baud(int32_t baud) {
  switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
#ifdef B57600
    case 57600: return B57600;
#endif
#ifdef B115200
    case 115200: return B115200;
#endif
#ifdef B230400
    case 230400: return B230400;
#endif
#ifdef B460800
    case 460800: return B460800;
#endif
#ifdef B500000
    case 500000: return B500000;
#endif
#ifdef B576000
    case 576000: return B576000;
#endif
#ifdef B921600
    case 921600: return B921600;
#endif
#ifdef B1000000
    case 1000000: return B1000000;
#endif
#ifdef B1152000
    case 1152000: return B1152000;
#endif
#ifdef B1500000
    case 1500000: return B1500000;
#endif
#ifdef B2000000
    case 2000000: return B2000000;
#endif
#ifdef B2500000
    case 2500000: return B2500000;
#endif
#ifdef B3000000
    case 3000000: return B3000000;
#endif
#ifdef B3500000
    case 3500000: return B3500000;
#endif
#ifdef B4000000
    case 4000000: return B4000000;
#endif
    default: return B0;
  }
}

// A refusal of a modem-control or driver-tuning request that only says the
// device has no such control (a pseudo-terminal, a USB modem).
bool is_unsupported_control(int error) {
  return error == ENOTTY || error == EINVAL || error == ENOTSUP || error == EOPNOTSUPP ||
         error == ENOSYS;
}

class PosixSerialBackend final : public SerialBackend {
 public:
  ~PosixSerialBackend() override { close(); }

  std::string device_path(uint16_t port_number) const override {
    return device_path_for_port(port_number);
  }

  void open(const std::string& path) override {
    close();
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      if (error == ENOENT || error == ENODEV || error == ENXIO) throw_with_errno(EBadId(), error);
      // EBUSY: the terminal is held with TIOCEXCL by another program.
      if (error == EBUSY) throw_with_errno(EAlreadyOpen(), error);
      throw_io_error(error);
    }
    // TIOCEXCL keeps other non-root openers out; root passes it, so the
    // advisory lock is what stops a second opener running as root (and any
    // other program that locks serial devices the same way).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      if (error == EWOULDBLOCK) throw_with_errno(EAlreadyOpen(), error);
      throw_io_error(error);
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
      const int error = errno;
      ::close(fd);  // also releases the lock
      throw_io_error(error);
    }
    int pipe_fds[2];
    if (!open_wake_pipe(pipe_fds)) {
      const int error = errno;
      ::ioctl(fd, TIOCNXCL);
      ::close(fd);
      throw_io_error(error);
    }
    fd_ = fd;
    wake_read_fd_ = pipe_fds[0];
    wake_write_fd_ = pipe_fds[1];
  }

  void configure(const LineSettings& settings) override {
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) throw_io_error(errno);
    ::cfmakeraw(&tio);

    const speed_t speed = speed_for_baud(settings.baud);
    if (speed == B0) throw_io_error(EINVAL);
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) throw_io_error(errno);

    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
    tio.c_cflag &= ~static_cast<tcflag_t>(CMSPAR);
#endif
#ifdef CRTSCTS
    tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
#endif
    tio.c_cflag |= CLOCAL | CREAD;
    switch (settings.data_bits) {
      case 5: tio.c_cflag |= CS5; break;
      case 6: tio.c_cflag |= CS6; break;
      case 7: tio.c_cflag |= CS7; break;
      case 8: tio.c_cflag |= CS8; break;
      default: throw_io_error(EINVAL);
    }
    switch (settings.parity) {
      case Parity::pNone: break;
      case Parity::pOdd: tio.c_cflag |= PARENB | PARODD; break;
      case Parity::pEven: tio.c_cflag |= PARENB; break;
#ifdef CMSPAR
      case Parity::pMark: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
      case Parity::pSpace: tio.c_cflag |= PARENB | CMSPAR; break;
#else
      case Parity::pMark:
      case Parity::pSpace: throw_io_error(EINVAL);
#endif
    }
    switch (settings.stop_bits) {
      case 1: break;
      case 2: tio.c_cflag |= CSTOPB; break;
      default: throw_io_error(EINVAL);
    }

    // Parity errors are not checked and NUL bytes and 0xFF arrive as data:
    // cfmakeraw already cleared IGNBRK, BRKINT, PARMRK, ISTRIP, INLCR, IGNCR,
    // ICRNL and IXON; INPCK and IGNPAR stay off as well.
    tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | IGNPAR | IXON | IXOFF | IXANY);
    if (settings.sw_flow == SWFlow::swfReceive || settings.sw_flow == SWFlow::swfBoth) {
      tio.c_iflag |= IXOFF;
    }
    if (settings.sw_flow == SWFlow::swfTransmit || settings.sw_flow == SWFlow::swfBoth) {
      tio.c_iflag |= IXON;
    }
    // A read with nothing waiting answers EAGAIN (the descriptor is
    // non-blocking) and a read of 0 bytes means the device hung up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0) throw_io_error(errno);

    set_modem_line(TIOCM_DTR, settings.dtr);
    set_modem_line(TIOCM_RTS, settings.rts);
    request_low_latency();
    // The kernel sizes its own queues; in_size and out_size have nothing to
    // set here.
  }

  IoResult read(void* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n > 0) return {IoResult::Status::Ok, static_cast<std::size_t>(n), 0};
      if (n == 0) return {IoResult::Status::Gone, 0, 0};  // hung up
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
      return {IoResult::Status::Gone, 0, errno};
    }
  }

  IoResult write(const void* data, std::size_t size) override {
    for (;;) {
      const ssize_t n = ::write(fd_, data, size);
      if (n > 0) return {IoResult::Status::Ok, static_cast<std::size_t>(n), 0};
      if (n == 0) return {};
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
      return {IoResult::Status::Gone, 0, errno};
    }
  }

  Readiness wait(bool want_read, bool want_write, bool watch_device) override {
    pollfd fds[2] = {};
    fds[0].fd = wake_read_fd_;
    fds[0].events = POLLIN;
    // A negative descriptor is skipped by poll(): hang-up events of a device
    // that is gone can then not end the wait over and over.
    fds[1].fd = watch_device ? fd_ : -1;
    fds[1].events = static_cast<short>((want_read ? POLLIN : 0) | (want_write ? POLLOUT : 0));
    Readiness ready;
    if (::poll(fds, 2, -1) < 0) return ready;  // EINTR: the caller looks again
    if ((fds[0].revents & POLLIN) != 0) {
      ready.woken = true;
      drain_wake_pipe();
    }
    const short events = fds[1].revents;
    ready.readable = (events & POLLIN) != 0;
    ready.writable = (events & POLLOUT) != 0;
    ready.hangup = (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    return ready;
  }

  bool reads_on_host_thread() const override { return true; }

  bool wait_readable(std::chrono::milliseconds timeout) override {
    pollfd device{fd_, POLLIN, 0};
    const auto ms = std::min<std::chrono::milliseconds::rep>(timeout.count(), std::numeric_limits<int>::max());
    // EINTR counts as a wake-up: the caller looks again.
    return ::poll(&device, 1, static_cast<int>(std::max<std::chrono::milliseconds::rep>(ms, 0))) != 0;
  }

  void wake() override {
    const unsigned char byte = 1;
    // A full pipe already holds a pending wake-up; nothing more is needed.
    while (::write(wake_write_fd_, &byte, 1) < 0 && errno == EINTR) {
    }
  }

  void flush_input() override {
    if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
  }

  void flush_output() override {
    if (fd_ >= 0) ::tcflush(fd_, TCOFLUSH);
  }

  void close() override {
    if (fd_ >= 0) {
      ::ioctl(fd_, TIOCNXCL);
      ::close(fd_);  // releases the flock as well
      fd_ = -1;
    }
    close_fd(wake_read_fd_);
    close_fd(wake_write_fd_);
  }

  bool is_open() const override { return fd_ >= 0; }

 private:
  static void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }

  // A non-blocking pipe through which wake() ends a wait in poll().
  static bool open_wake_pipe(int (&fds)[2]) {
    if (::pipe(fds) != 0) return false;
    for (const int fd : fds) {
      const int status_flags = ::fcntl(fd, F_GETFL);
      if (status_flags < 0 || ::fcntl(fd, F_SETFL, status_flags | O_NONBLOCK) != 0 ||
          ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
        const int error = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        errno = error;
        return false;
      }
    }
    return true;
  }

  void drain_wake_pipe() {
    unsigned char sink[64];
    while (::read(wake_read_fd_, sink, sizeof sink) > 0) {
    }
  }

  void set_modem_line(int line, bool asserted) {
    if (::ioctl(fd_, asserted ? TIOCMBIS : TIOCMBIC, &line) != 0) {
      const int error = errno;
      // Pseudo-terminals and some USB devices have no modem lines.
      if (!is_unsupported_control(error)) throw_io_error(error);
    }
  }

  // USB-serial adapters hold short replies back for up to 16 ms unless the
  // driver is asked for low latency. Drivers that do not know the request
  // (pseudo-terminals, USB modems) refuse it; the port works without it.
  void request_low_latency() {
#if defined(__linux__) && defined(TIOCGSERIAL) && defined(ASYNC_LOW_LATENCY)
    serial_struct serial{};
    if (::ioctl(fd_, TIOCGSERIAL, &serial) == 0 && (serial.flags & ASYNC_LOW_LATENCY) == 0) {
      serial.flags |= ASYNC_LOW_LATENCY;
      ::ioctl(fd_, TIOCSSERIAL, &serial);
    }
#endif
  }

  int fd_ = -1;
  int wake_read_fd_ = -1;
  int wake_write_fd_ = -1;
};

}  // namespace

std::unique_ptr<SerialBackend> make_platform_serial_backend() {
  return std::make_unique<PosixSerialBackend>();
}

}  // namespace vkt::link

