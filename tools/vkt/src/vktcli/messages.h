#pragma once
// What the program tells a person: the library's Japanese texts with their
// English meaning beside them, and the causes of failures with a hint.
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "vktcom_ext.h"

namespace vktcli {

// `text` with the English meaning put in brackets after each of the
// library's Japanese texts it holds ("切断" -> "切断 [disconnected]"); the
// Japanese text itself stays as the library wrote it.
std::string english_beside(std::string_view text);

// Where the package installs the udev rule that gives the logged-in user
// the logger's port.
inline constexpr const char* kUdevRulePath = "/usr/lib/udev/rules.d/70-vkt-logger.rules";

// The failure of opening `where` ("COM1 (/dev/ttyUSB0)", a device path) as
// the library reported it (vkt_open_error): the system's text for its
// error number (the library's own text when there is none) and a hint.
std::string open_failure_text(const std::string& where, int32_t code, int32_t system_errno,
                              const std::string& message);

// Why a download failed, from the library's report and its bad lines.
std::string download_failure_text(const vkt_download_report& report, const std::vector<int32_t>& bad_index,
                                  const std::vector<int32_t>& bad_length);

// Passes everything written to standard error (by the program and by the
// library's message boxes, "VKTCom: <text>") through english_beside, for as
// long as it lives. Whether standard error was a terminal, and its width,
// are taken before.
class StderrTranslator {
 public:
  StderrTranslator();
  ~StderrTranslator();
  StderrTranslator(const StderrTranslator&) = delete;
  StderrTranslator& operator=(const StderrTranslator&) = delete;

 private:
  int saved_ = -1;  // the real standard error
  int read_end_ = -1;
  std::thread thread_;
};

// Whether the real standard error is a terminal, and its width in columns
// (80 when unknown); valid whether or not a StderrTranslator is active.
// The width is read anew at each call, so that a resized terminal (its
// SIGWINCH) is seen at the next redraw.
bool stderr_is_terminal();
int stderr_columns();

// The status line (the download's progress bar) at the foot of a terminal
// on standard error: drawn over itself in place. Every other text written
// to standard error, through the translator or by write_stderr_now, first
// clears it, so that no message runs on after the bar; the bar's next
// redraw puts it back below the message.
void show_status_line(std::string_view line);
void clear_status_line();
// Writes `text` to the real standard error at once (from any thread; for
// a last word before _exit), clearing the status line first.
void write_stderr_now(std::string_view text);
// The descriptor of the real standard error (for a last word before _exit).
int real_stderr();

}  // namespace vktcli
