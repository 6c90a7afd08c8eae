#pragma once
// `vkt -v` shows what went over the serial line: the library writes every
// byte it sends and receives into its trace, and this follows that file as
// it grows and writes the lines about the line (the port opened and closed,
// input flushed, bytes written, bytes received, each reply wait) to
// standard error, shortened to one readable line each. The whole lines stay
// in the file (`--trace FILE` keeps it).
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace vktcli {

// The line of the serial line's traffic to show for one trace line
// ("0.749 T1 write 1 bytes: 6D | m"), without its time and thread, bytes as
// text only ("write 1 bytes: m") and at most `width` characters long;
// nothing for a line about anything else (an exported call, a message box).
std::optional<std::string> line_event(std::string_view trace_line, std::size_t width = 160);

class TraceEcho {
 public:
  using Sink = std::function<void(const std::string&)>;
  // Follows `path` from its start every 20 ms, giving each event to `sink`
  // (on the follower's thread). A file the trace moved aside when full is
  // followed into its successor.
  TraceEcho(std::string path, Sink sink);
  // Reads what is left, then stops.
  ~TraceEcho();
  TraceEcho(const TraceEcho&) = delete;
  TraceEcho& operator=(const TraceEcho&) = delete;

 private:
  void run();
  // Follows the file to its successor when the trace began a new one.
  void follow();
  // Hands on the complete lines added since the last read; false when none.
  bool read_lines();

  std::string path_;
  Sink sink_;
  std::FILE* file_ = nullptr;
  unsigned long long inode_ = 0;
  std::string partial_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace vktcli
