#include <chrono>

#include "base/platform.h"

#include <cstdlib>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vkt::platform {

void local_calendar(std::time_t t, std::tm& out) { localtime_r(&t, &out); }

void release_free_memory() {
  // glibc keeps freed heap pages resident until the top of the heap is free;
  // other C libraries return them on their own.
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

uint32_t millisecond_ticks() {
  using namespace std::chrono;
  auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

std::shared_ptr<Notifier> make_notifier() { return std::make_shared<StderrNotifier>(); }

void pump_thread_messages() {}

std::unique_ptr<HostLoopTimer> start_host_loop_timer(uint32_t, std::function<void()>) { return nullptr; }

std::string environment_text(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::FILE* open_new_file(const std::string& path, bool& regular) {
  // Not truncated before it is known to be a plain file: a trace pointed at
  // a device or a pipe writes there and leaves the node alone.
  // A pipe without a reader is refused at once instead of blocking the host.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
  if (fd < 0) return nullptr;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  struct stat st {};
  regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (regular && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "w");
  if (!file) ::close(fd);
  return file;
}

bool replace_file(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }

void report_trace_failure(const std::string& path) {
  const int error = errno;
  std::fprintf(stderr, "vktcom: no trace: cannot write %s: %s\n", path.c_str(), std::strerror(error));
}

}  // namespace vkt::platform
