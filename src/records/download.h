#pragma once
// The download of every record into the record table.
#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <functional>

#include "base/dispatcher.h"
#include "base/services.h"
#include "protocol/channel.h"
#include "records/record_parts.h"

namespace vkt::records {

// The progress popup as the download sees it: three lines of text.
class ProgressPopup {
 public:
  virtual ~ProgressPopup() = default;
  // Sets line 1, 2 or 3 and shows it.
  virtual void set_progress_line(int line, std::string text) = 0;
};

// What the last download saw, for a host that wants to say why it failed
// or keep what came.
struct DownloadReport {
  enum class Status { None, Ok, TimeOut, BadLine, HungUp, Stopped };
  struct BadLine {
    int index = 0;   // 0 for the first line of the reply
    int length = 0;  // its length (20 for a line holding a non-hexadecimal character)
  };
  static constexpr std::size_t kMaxBadLines = 4096;  // more are counted, not listed

  Status status = Status::None;  // None: no download has run (or it had no window)
  std::size_t bytes = 0;         // bytes received
  std::size_t lines = 0;         // line ends received
  std::size_t bad_line_count = 0;
  std::vector<BadLine> bad_lines;  // the first kMaxBadLines of them
  // The reply as received, up to the terminator's chunk: the record table
  // and the memo share its trimmed middle, so it is kept in three parts.
  std::string head;  // blanks and line ends trimmed off the start
  std::shared_ptr<const std::string> body;
  std::string tail;  // blanks and line ends trimmed off the end
  // The reply as received, in its three pieces, without joining them.
  std::array<std::string_view, 3> text_pieces() const {
    return {head, body ? std::string_view(*body) : std::string_view(), tail};
  }
  // The text goes with the monitor window that received it.
  void forget_text() {
    head.clear();
    body.reset();
    tail.clear();
  }
};

// The library's progress popups as the download uses them: one made for
// each download (shown at once) and closed (hidden, released) when it ends.
class ProgressPopups {
 public:
  virtual ~ProgressPopups() = default;
  virtual ProgressPopup& open_progress() = 0;
  virtual void close_progress(ProgressPopup& popup) = 0;
};

// The download's own state, kept by the library between downloads.
struct DownloadState {
  DownloadReport last_download;   // filled by every download that starts
  // A download is under way (a handler must not start another); read by
  // other threads that ask it to stop.
  std::atomic<bool> download_running{false};
  // Another thread asked the running download to end (request_stop); each
  // download starts with it clear.
  std::atomic<bool> stop_requested{false};

  // Asks the running download to end at its next poll of the port, as if
  // the logger had gone silent: the text received so far is kept. Safe
  // from any thread. False when no download runs.
  bool request_stop() {
    if (!download_running.load()) return false;
    stop_requested.store(true);
    return true;
  }
};

// What the download works with.
struct DownloadContext {
  // The monitor window's parts now: nullptr without a monitor window, and
  // other parts (or none) once a handler that the download let run has
  // released it.
  std::function<RecordParts*()> parts;
  Clock& clock;
  Dispatcher& dispatcher;
  ProgressPopups& popups;
  // The logger's count bounds the download and its year dates the records
  // (advanced by the decoder, with the year tag of the record before).
  protocol::LoggerValues& logger;
  int32_t& last_year_tag;
  DownloadState& state;
};

// Sends "D", collects the reply up to the first chunk holding "#", checks
// every line, fills the record table and decodes every row, with the
// progress popup showing the progress. Used by vkt_inputdata and the monitor
// window's "inputdata_block" button.
//
// True when the reply came complete and every line was a record line of 20
// hexadecimal digits, now decoded. False after 3000 ms of silence ("TIME
// OUT": the table keeps only its header row), a reply that passes the
// overall bound of download_bound.h, counted from the request ("DATA ERROR
// over=<bytes received>" or "TIME OUT total=<ms>": the table keeps only its
// header row, Memo1 is left empty and what the port holds then is
// discarded), a line of another length
// ("DATA ERROR len=<index> <length>"), a 20-character line holding a
// character that is not a hexadecimal digit ("DATA ERROR hex=<index>"), a
// failure of the port (closed, or closed while the download let window
// events run: the table keeps only its header row), without a monitor
// window, or when the monitor window was released while the download let
// window events run. After a bad line the table holds every line in columns
// 0 and 1 and nothing decoded; the popup shows each error, and the download
// pauses 3000 ms for the first one only. A download started while another
// one of the same library is running (from a handler it let run) returns
// false at once and touches nothing.
//
// Progress: while the reply arrives the popup's second line shows the count
// of line ends received, once per chunk read; while the lines are checked it
// shows the index of the line under examination for the first line, at most
// every 10 ms after it, and for the last line, letting pending window events
// run each time it changes.
bool DownloadDriver(const DownloadContext& context);

bool vkt_inputdata(const DownloadContext& context);

}  // namespace vkt::records
