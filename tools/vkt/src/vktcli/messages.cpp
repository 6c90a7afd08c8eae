#include "vktcli/messages.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <fmt/format.h>

namespace vktcli {
namespace {

struct Meaning {
  std::string_view japanese, english;
};

// The library's own texts (message boxes, the progress popup, the port
// watching, the reservation check); the longer ones first, so that a text
// holding a shorter one is matched whole.
constexpr Meaning kMeanings[] = {
    {"VKT が見つかりません", "VKT not found"},
    {"VKT と接続できません", "cannot connect to the VKT"},
    {"(有りえない日付)", "(impossible date)"},
    {"(30日以降)", "(30 days or more ahead)"},
    {"(過去)", "(in the past)"},
    {"データ取得中", "receiving data"},
    // The settings dialog's start items.
    {"即スタート", "start at once"},
    {"開始時のみマグネットトリガ", "magnet triggers the start only"},
    {"開始時マグネット、スタート後マグネットで測定停止", "magnet starts, magnet stops the recording"},
    {"開始時マグネット、スタート後マグネットで一時停止", "magnet starts, magnet pauses"},
    {"開始時マグネット、スタート後マグネット解除で一時停止、マグネットで再開",
     "magnet starts, magnet removed pauses, magnet resumes"},
    {"秒後 スタート(5～90秒)", "seconds, then start (5-90 s)"},
    {"接続", "connected"},
    {"切断", "disconnected"},
};

std::atomic<int> g_saved_stderr{-1};  // the real standard error while a translator runs
int g_is_terminal = -1;

// Guards the real standard error's writes and whether the status line shows.
std::mutex g_stderr_mu;
bool g_status_shown = false;

void take_terminal_facts() {
  if (g_is_terminal >= 0) return;
  g_is_terminal = isatty(STDERR_FILENO) == 1 ? 1 : 0;
}

void write_all(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

std::string english_beside(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const Meaning* found = nullptr;
    for (const Meaning& m : kMeanings) {
      if (text.substr(i).starts_with(m.japanese)) {
        found = &m;
        break;
      }
    }
    if (!found) {
      out += text[i++];
      continue;
    }
    out += found->japanese;
    i += found->japanese.size();
    // "データ取得中." and "接続 Port=1" keep their tail before the meaning.
    while (i < text.size() && text[i] == '.') out += text[i++];
    out += fmt::format(" [{}]", found->english);
  }
  return out;
}

std::string open_failure_text(const std::string& where, int32_t code, int32_t system_errno,
                              const std::string& message) {
  // The system's text for its error number; the library's own text only
  // where the system reported none.
  const std::string system = system_errno != 0 ? std::string(std::strerror(system_errno)) : message;
  if (code == -2001 || system_errno == ENOENT || system_errno == ENODEV || system_errno == ENXIO) {
    return fmt::format("cannot open {}: {}\n  hint: is the logger plugged in? `vkt ports` lists "
                       "the serial devices present",
                       where, system_errno != 0 ? system : std::string("no such device"));
  }
  if (system_errno == EACCES || system_errno == EPERM) {
    return fmt::format(
        "cannot open {}: {}\n  hint: the udev rule {} (package libvktcom1) lets the logged-in user open the "
        "logger's port; for another device join the dialout group (sudo usermod -aG dialout $USER, then log in "
        "again)",
        where, system, kUdevRulePath);
  }
  if (code == -2008 || system_errno == EBUSY || system_errno == EWOULDBLOCK) {
    return fmt::format("cannot open {}: {}\n  hint: another program holds it (a terminal "
                       "program, ModemManager, another vkt); close it and try again",
                       where, system_errno != 0 ? system : std::string("the device is busy"));
  }
  if (system_errno == ENOTTY) {
    return fmt::format("cannot open {}: {}\n  hint: the device is not a serial port", where, system);
  }
  if (code == -2011) return fmt::format("cannot open {}: no port selected", where);
  return fmt::format("cannot open {}: {}", where, system.empty() ? std::string("unknown cause") : system);
}

std::string download_failure_text(const vkt_download_report& r, const std::vector<int32_t>& bad_index,
                                  const std::vector<int32_t>& bad_length) {
  const std::string received = fmt::format("{} bytes and {} lines", r.bytes, r.lines);
  switch (r.status) {
    case VKT_DOWNLOAD_TIME_OUT:
      return fmt::format("the download failed: time-out, the logger fell silent for 3 s after {}", received);
    case VKT_DOWNLOAD_HUNG_UP:
      return fmt::format("the download failed: the device hung up (unplugged?) after {}", received);
    case VKT_DOWNLOAD_BAD_LINE: {
      std::string text = fmt::format("the download failed: {} of the lines received ({}) {} not a record line",
                                     r.bad_lines, received, r.bad_lines == 1 ? "is" : "are");
      for (std::size_t i = 0; i < bad_index.size() && i < bad_length.size() && i < 5; ++i) {
        text += bad_length[i] == 20
                    ? fmt::format("\n  line {} holds a character that is not a hexadecimal digit", bad_index[i] + 1)
                    : fmt::format("\n  line {} has {} characters, a record line has 20", bad_index[i] + 1,
                                  bad_length[i]);
      }
      if (r.bad_lines > 5) text += fmt::format("\n  ... and {} more", r.bad_lines - 5);
      return text;
    }
    default:
      return fmt::format("the download failed after {}", received);
  }
}

StderrTranslator::StderrTranslator() {
  take_terminal_facts();
  int fds[2];
  if (pipe(fds) != 0) return;
  saved_ = dup(STDERR_FILENO);
  if (saved_ < 0 || dup2(fds[1], STDERR_FILENO) < 0) {
    close(fds[0]);
    close(fds[1]);
    if (saved_ >= 0) close(saved_);
    saved_ = -1;
    return;
  }
  close(fds[1]);
  read_end_ = fds[0];
  g_saved_stderr = saved_;
  thread_ = std::thread([in = read_end_, out = saved_] {
    // Each message is written whole; a Japanese text split across two reads
    // would only lose its translation, never a byte.
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(in, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      const std::string text = english_beside(std::string_view(buffer, static_cast<std::size_t>(n)));
      std::lock_guard lock(g_stderr_mu);
      if (g_status_shown) write_all(out, "\r\x1b[K");
      g_status_shown = false;
      write_all(out, text);
    }
  });
}

StderrTranslator::~StderrTranslator() {
  if (saved_ < 0) return;
  std::fflush(stderr);
  dup2(saved_, STDERR_FILENO);  // closes the pipe's last write end: the thread sees its end
  thread_.join();
  close(read_end_);
  g_saved_stderr = -1;
  close(saved_);
}

bool stderr_is_terminal() {
  take_terminal_facts();
  return g_is_terminal == 1;
}

int real_stderr() {
  const int fd = g_saved_stderr.load();
  return fd >= 0 ? fd : STDERR_FILENO;
}

int stderr_columns() {
  struct winsize size {};
  return ioctl(real_stderr(), TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

void show_status_line(std::string_view line) {
  std::lock_guard lock(g_stderr_mu);
  write_all(real_stderr(), "\r" + std::string(line) + "\x1b[K");
  g_status_shown = true;
}

void clear_status_line() {
  std::lock_guard lock(g_stderr_mu);
  if (g_status_shown) write_all(real_stderr(), "\r\x1b[K");
  g_status_shown = false;
}

void write_stderr_now(std::string_view text) {
  std::lock_guard lock(g_stderr_mu);
  if (g_status_shown) write_all(real_stderr(), "\r\x1b[K");
  g_status_shown = false;
  write_all(real_stderr(), text);
}

}  // namespace vktcli
