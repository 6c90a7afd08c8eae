#pragma once
// The little the bottom layer needs of the operating system; one file per
// platform implements it (platform_posix.cpp, platform_win32.cpp), and the
// build picks the file.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

#include "base/services.h"

namespace vkt::platform {

// The local calendar time of `t` by the machine's time zone.
void local_calendar(std::time_t t, std::tm& out);

// Hands memory that the heap holds free back to the system, where the heap
// keeps it otherwise (after a large table was released).
void release_free_memory();
// A millisecond tick count that wraps at 2^32 (Win32: timeGetTime).
uint32_t millisecond_ticks();

// The message boxes of the platform: real modal boxes where there is a
// window system of the library's own (Win32), else one line on standard error.
std::shared_ptr<Notifier> make_notifier();

// Runs the calling thread's own window-message pump until it is empty (Win32;
// nothing elsewhere), so that the host's windows are served while the
// library waits. A quit request met on the way is left for the host's loop.
void pump_thread_messages();

// Keeps `tick` running from the host's message loop, every `interval_ms`,
// on the calling thread, for as long as the returned object lives (Win32: a
// hidden message-only window with a system timer). Where a host drives the
// library's messages itself (Linux: vkt_process_messages), returns nullptr.
// `tick` must not throw; it is never entered while it runs.
class HostLoopTimer {
 public:
  virtual ~HostLoopTimer() = default;
};
std::unique_ptr<HostLoopTimer> start_host_loop_timer(uint32_t interval_ms, std::function<void()> tick);

// Files of the library's trace (base/trace.h).
// The value of an environment variable in UTF-8, empty when it is not set.
std::string environment_text(const char* name);
// Opens `path` (UTF-8) for writing, made anew; nullptr when it cannot be.
// `regular` tells whether it is a plain file (only those are ever renamed).
std::FILE* open_new_file(const std::string& path, bool& regular);
// Moves `from` to `to`, replacing `to`.
bool replace_file(const std::string& from, const std::string& to);
// Tells the user that no trace could be written to `path` (Linux: one line
// on standard error; Windows: nothing, the host has no console to show it).
void report_trace_failure(const std::string& path);

}  // namespace vkt::platform
