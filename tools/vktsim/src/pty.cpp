#include "pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vktsim {
namespace {

[[noreturn]] void fail(const char* what) { throw std::system_error(errno, std::generic_category(), what); }

}  // namespace

PtyPair open_pty() {
  PtyPair pty;
  pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (pty.master < 0) fail("posix_openpt");
  try {
    if (grantpt(pty.master) != 0) fail("grantpt");
    if (unlockpt(pty.master) != 0) fail("unlockpt");
    char name[128];
    if (ptsname_r(pty.master, name, sizeof name) != 0) fail("ptsname_r");
    pty.slave_path = name;
    pty.slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) fail("open pty slave");

    // Raw mode, so that the host's bytes and ours pass unchanged (no echo,
    // no CR/LF translation, no signals).
    termios tio{};
    if (tcgetattr(pty.slave, &tio) != 0) fail("tcgetattr");
    cfmakeraw(&tio);
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(pty.slave, TCSANOW, &tio) != 0) fail("tcsetattr");

    const int flags = fcntl(pty.master, F_GETFL);
    if (flags < 0 || fcntl(pty.master, F_SETFL, flags | O_NONBLOCK) != 0) fail("fcntl O_NONBLOCK");
  } catch (...) {
    close_pty(pty);
    throw;
  }
  return pty;
}

void close_pty(PtyPair& pty) {
  if (pty.master >= 0) close(pty.master);
  if (pty.slave >= 0) close(pty.slave);
  pty.master = pty.slave = -1;
}

}  // namespace vktsim
