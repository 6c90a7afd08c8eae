// The download: one request "D", a reply of record lines ending in "#", the
// line check, and the decoding of the record table.
//
// Waiting: the reply is collected until the first chunk that holds "#"; the
// bound is 3000 ms of silence, restarted at every arrival (the shared reply
// wait with the download's bound). Between polls the driver sleeps on the
// port's arrival signal for a short slice instead of spinning, so a paced
// transfer costs next to no CPU time. An overall bound on the bytes and the
// time from the request (download_bound.h) ends a reply that never stops
// being record lines; what the port holds then is discarded.
//
// The reply goes from the port straight into the growing reply text, in
// chunks of up to 32 KiB: with the port's direct reception the download's
// thread reads the device itself, as a plain reader of the device would,
// and goes on reading while the device has more, so that the window work
// of a chunk (the counts shown, the events let run) is done seldom.
//
// The rows come one way only, whatever the port's backend and however the
// reply was cut into chunks: from the reply's final text, trimmed, once its
// last chunk is in (check_lines). Nothing seen while the reply arrives is
// taken for a line of it, because the text is not final until then: a zero
// byte in the terminator's chunk cuts what came before the "#", and the
// trim then takes whatever blanks and line ends that leaves at the end, so
// a line that looked complete (its CR LF in) may end beyond the text that
// the rows and the memo keep.
#include "records/download.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/constants.h"
#include "base/text.h"
#include "link/port_error.h"
#include "link/serial_port.h"
#include "protocol/exchange.h"
#include "protocol/reply_wait.h"
#include "records/download_bound.h"
#include "records/record_decoder.h"
#include "records/record_table.h"

namespace vkt::records {
namespace {

// The most one poll takes (a port that receives into its ring hands over
// at most one ring's worth). It is also the most a reply that never stops
// can pass its byte bound by.
constexpr std::size_t kChunkLimit = 32768;
constexpr std::size_t kBytesPerRecord = 22;     // 20 digits and CR LF
// While the lines are checked, pending window events run at most this often
// (and for the last line): nobody sees a count change faster than a screen
// is drawn.
constexpr uint32_t kProgressIntervalMs = 10;

const char* const kReceiving = "データ取得中";
const char* const kChecking = "データ取得中.";

enum class Status { Ok, WrongLength, BadDigit, TimeOut, PortFailed, OverBound };

// Room for the reply's text: the lines of the records the logger's count
// begins with (none without one, at most the download's ceiling) and the
// terminator's. Unlike the download's bound, which takes the ceiling for a
// count it cannot read, room is only made for records the logger announced.
std::size_t expected_text_size(const std::string& param_count) {
  std::size_t count = 0;
  const auto [end, error] = std::from_chars(param_count.data(), param_count.data() + param_count.size(), count);
  (void)end;
  if (error != std::errc()) count = 0;
  return std::min(count, DownloadBound::kCeilingRecords) * kBytesPerRecord + 64;
}

// Marks the library's download as under way for its duration: a handler
// that the download lets run must not start a second one that would take
// the first one's bytes.
class RunningMark {
 public:
  explicit RunningMark(DownloadState& state) : state_(state) {
    state_.stop_requested = false;
    state_.download_running = true;
  }
  ~RunningMark() { state_.download_running = false; }
  RunningMark(const RunningMark&) = delete;
  RunningMark& operator=(const RunningMark&) = delete;

 private:
  DownloadState& state_;
};

// Direct reception on the download's port while the reply comes; off again
// at the end, unless the monitor window (and its port) went meanwhile.
class DirectReceive {
 public:
  DirectReceive(link::SerialPort& port, std::function<bool()> port_alive)
      : port_(port), port_alive_(std::move(port_alive)) {
    port_.set_direct_receive(true);
  }
  ~DirectReceive() {
    if (port_alive_()) port_.set_direct_receive(false);
  }
  DirectReceive(const DirectReceive&) = delete;
  DirectReceive& operator=(const DirectReceive&) = delete;

 private:
  link::SerialPort& port_;
  std::function<bool()> port_alive_;
};

// Thrown when the monitor window was released by a handler that ran while
// the download let window events run: nothing of the window may be touched
// any more.
struct WindowLost {};

class Download {
 public:
  Download(const DownloadContext& context, RecordParts& form, RecordTable& table)
      : context_(context), form_(&form), port_(form.port), grid_(form.grid), table_(table) {}

  ~Download() {
    // Every outcome, a thrown one included: the popup goes, and the terminal
    // switch works again, the view following its tick.
    if (popup_) context_.popups.close_progress(*popup_);
    if (window_alive()) {
      form_->terminal_switch.set_enabled(true);
      form_->terminal.set_active(form_->terminal_switch.checked());
    }
  }
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;

  bool run() {
    bool ok = false;
    try {
      ok = run_steps();
    } catch (const WindowLost&) {
      ok = false;
    }
    fill_report(ok);
    return ok;
  }

 private:
  bool window_alive() const { return context_.parts() == form_; }

  // Lets pending window events run once; they may release the monitor window.
  void dispatch() {
    context_.dispatcher.dispatch_messages();
    if (!window_alive()) throw WindowLost{};
  }

  void fill_report(bool ok) {
    DownloadReport& report = context_.state.last_download;
    report.bytes = bytes_;
    report.lines = static_cast<std::size_t>(lf_count_);
    if (reply_) {
      report.head = head_;
      report.body = reply_;
      report.tail = tail_;
    } else {
      report.body = std::make_shared<const std::string>(std::move(text_));
    }
    if (ok) {
      report.status = DownloadReport::Status::Ok;
    } else if (stopped_) {
      report.status = DownloadReport::Status::Stopped;
    } else if (status_ == Status::PortFailed || hung_up_) {
      report.status = DownloadReport::Status::HungUp;
    } else if (status_ == Status::WrongLength || status_ == Status::BadDigit) {
      report.status = DownloadReport::Status::BadLine;
    } else {
      report.status = DownloadReport::Status::TimeOut;
    }
    // The port (and its trace) went with a released window.
    Trace* trace = window_alive() ? port_.trace() : nullptr;
    if (trace && trace->on()) {
      static constexpr const char* kStatus[] = {"none", "complete", "timed out", "bad line", "hung up", "stopped"};
      trace->event("download: " + std::string(kStatus[static_cast<int>(report.status)]) + ", " +
                   std::to_string(report.bytes) + " bytes, " + std::to_string(report.lines) + " lines, " +
                   std::to_string(report.bad_line_count) + " bad lines");
    }
  }

  void note_bad_line(int index, std::size_t length) {
    DownloadReport& report = context_.state.last_download;
    ++report.bad_line_count;
    if (report.bad_lines.size() < DownloadReport::kMaxBadLines) {
      report.bad_lines.push_back({index, static_cast<int>(length)});
    }
  }

  void show(int line, std::string text) { popup_->set_progress_line(line, std::move(text)); }

  // An error text stays up for 3000 ms, but only the first one of a
  // download holds the caller: a reply full of bad lines must not freeze it.
  void pause_once() {
    if (paused_) return;
    paused_ = true;
    context_.clock.sleep_ms(kDisplayMs);
  }

  bool run_steps() {
    Clock& clock = context_.clock;
    uint32_t last_activity = clock.now_ms();

    form_->terminal_switch.set_enabled(false);
    form_->terminal.set_active(false);  // the view must not take the reply's bytes

    popup_ = &context_.popups.open_progress();
    show(1, kReceiving);
    show(3, "");
    dispatch();

    table_.clear_records();
    grid_.rows_changed(1, grid_.row_count() - 1);
    form_->reply.clear();
    result_ = true;
    status_ = Status::Ok;
    lf_count_ = 0;
    show(3, "Total=" + context_.logger.param_count);

    text_.reserve(expected_text_size(context_.logger.param_count));
    budget_.emplace(DownloadBound::records_of_count(context_.logger.param_count), last_activity);
    try {
      DirectReceive direct(port_, [this] { return window_alive(); });
      port_.WriteString("D");
      receive(last_activity);
    } catch (const link::PortError&) {
      // A closed port (or one closed by a handler meanwhile): nothing more
      // can come.
      status_ = Status::PortFailed;
      result_ = false;
    }

    if (status_ == Status::OverBound) {
      // A logger that never stops sending: its text is no record table and
      // no reply to keep.
      show(1, budget_->message());
      std::string().swap(text_);
      dispatch();
      clock.sleep_ms(kDisplayMs);
      // What it sent meanwhile goes too, so that a logger that falls silent
      // now leaves nothing behind for the next download.
      if (port_.is_open()) port_.FlushInput();
    }
    if (status_ == Status::TimeOut || status_ == Status::PortFailed || status_ == Status::OverBound) {
      // The record rows were emptied before the request; none of them is a
      // record now.
      grid_.set_row_count(1);
    }
    if (stopped_) {
      // The host ended the download: no time-out to show, and what the
      // logger sent meanwhile goes, as after a bound.
      if (port_.is_open()) port_.FlushInput();
    } else if (status_ == Status::TimeOut) {
      show(1, "TIME OUT");
      dispatch();
      clock.sleep_ms(kDisplayMs);
    }

    // The memo shows the trimmed reply; the record rows point into the same
    // text.
    const std::string_view kept = trimmed(text_);
    const std::size_t kept_end = static_cast<std::size_t>(kept.data() + kept.size() - text_.data());
    tail_ = text_.substr(kept_end);
    text_.erase(kept_end);
    head_ = text_.substr(0, static_cast<std::size_t>(kept.data() - text_.data()));
    text_.erase(0, head_.size());
    const auto reply = std::make_shared<const std::string>(std::move(text_));
    reply_ = reply;
    form_->reply.share_text(reply);

    if (status_ == Status::Ok) check_lines(reply);
    if (status_ == Status::Ok) decode_record_rows(grid_, context_.logger.param_year, context_.last_year_tag, 1, grid_.row_count() - 1);
    return result_;
  }

  // Collects the reply until a chunk holds "#" or the line stays silent for
  // 3000 ms.
  void receive(uint32_t last_activity) {
    protocol::PortReplySource source(port_, &context_.state.stop_requested);
    const protocol::WaitEnd end =
        protocol::wait_for_reply(source, context_.clock, protocol::kDownloadBound, last_activity, [&] {
          // The chunk is read into a buffer of its own and only the bytes
          // that came are appended: reading into the text would first have
          // to fill a whole chunk's room of it at every poll.
          const std::size_t count = port_.TakeAvailable(chunk_.data(), chunk_.size());
          if (count == 0) return protocol::PollResult{false, false};
          const std::size_t from = text_.size();
          text_.append(chunk_.data(), count);
          form_->waiting.set_text(std::to_string(count));
          dispatch();
          if (!port_.is_open()) {
            // A handler closed the port: what it held was discarded.
            text_.resize(from);
            throw link::ECommNotOpen();
          }
          const bool terminated = take_chunk(from, count);
          if (!terminated && budget_->spend(count, text_, context_.clock.now_ms())) {
            status_ = Status::OverBound;
            result_ = false;
            return protocol::PollResult{true, true};
          }
          return protocol::PollResult{true, terminated};
        });
    hung_up_ = end == protocol::WaitEnd::Exhausted;
    stopped_ = end == protocol::WaitEnd::Stopped;
    if (end != protocol::WaitEnd::Complete && status_ != Status::OverBound) {
      // Run out, or ended by an unplugged device whose silence is final:
      // the download has timed out either way.
      status_ = Status::TimeOut;
      result_ = false;
    }
  }

  // Takes the chunk at the end of the reply text (from `from`, `count`
  // bytes) into the reply: the text keeps it up to its first zero byte. Counts
  // its line ends up to the terminator "#"; returns true when the chunk
  // holds it. The popup shows the count the chunk ends with.
  bool take_chunk(std::size_t from, std::size_t count) {
    bytes_ += count;
    const char* chunk = text_.data() + from;
    const char* hash = static_cast<const char*>(std::memchr(chunk, '#', count));
    const char* end = hash ? hash : chunk + count;
    const auto line_ends = std::count(chunk, end, '\n');
    if (const void* zero = std::memchr(chunk, '\0', count)) {
      text_.resize(from + static_cast<std::size_t>(static_cast<const char*>(zero) - chunk));
    }
    if (line_ends > 0) {
      lf_count_ += static_cast<int>(line_ends);
      show(2, std::to_string(lf_count_));
    }
    return hash != nullptr;
  }

  // Splits the reply at CR LF and puts each line into the table (row number
  // and raw line), checking that it is a record line. `text` is the whole
  // reply as kept, trimmed: every row points into it, and only into it (see
  // the top of this file). The last line holds the terminator: what
  // precedes its "#" is examined like any other line (a record the logger
  // sent on the terminator's line, or a line cut short by a zero byte), the
  // "#" itself never is.
  //
  // The popup's second line shows the index of the line under examination:
  // for the first line, then at most every kProgressIntervalMs, and for the
  // last line, each time letting pending window events run.
  void check_lines(const std::shared_ptr<const std::string>& text) {
    show(1, kChecking);
    dispatch();
    const std::string_view whole = *text;
    std::string_view reply = whole;
    int index = 0;
    last_progress_ = context_.clock.now_ms();
    table_.attach_text(text, static_cast<std::size_t>(lf_count_) + 1);
    for (;;) {
      const std::size_t end = reply.find("\r\n");
      const bool last = end == std::string_view::npos;
      std::string_view line = last ? reply : reply.substr(0, end);
      if (last) {
        line = trimmed(line.substr(0, line.find('#')));
        if (line.empty()) break;
      }
      line = trimmed(line);
      check_line(text, index, line, static_cast<std::size_t>(line.data() - whole.data()));
      ++index;
      if (last) break;
      reply.remove_prefix(end + 2);
    }
    if (index > 0 && shown_index_ != index - 1) {
      show(2, std::to_string(index - 1));
      dispatch();
    }
    grid_.set_row_count(index + 1);
    grid_.rows_changed(1, index);
  }

  void check_line(const std::shared_ptr<const std::string>& text, int index, std::string_view line,
                  std::size_t offset) {
    // The clock is read every few lines only: a line takes far less than a
    // millisecond.
    if ((index == 0 && shown_index_ != 0) || (index % 64 == 0 && context_.clock.now_ms() - last_progress_ >= kProgressIntervalMs)) {
      last_progress_ = context_.clock.now_ms();
      shown_index_ = index;
      show(2, std::to_string(index));
      dispatch();
    }
    const int row = index + 1;
    const bool record_line = table_.set_line(row, text, offset, line.size());
    if (!record_line) note_bad_line(index, line.size());  // a line of another length is never a record line
    if (line.size() != kRecordLineLength) {
      status_ = Status::WrongLength;
      result_ = false;
      show(1, "DATA ERROR len=" + std::to_string(index) + " " + std::to_string(line.size()));
      dispatch();
      pause_once();
    } else if (!record_line) {
      status_ = Status::BadDigit;
      result_ = false;
      show(1, "DATA ERROR hex=" + std::to_string(index));
      dispatch();
      pause_once();
    }
  }

  const DownloadContext& context_;
  RecordParts* form_;
  link::SerialPort& port_;
  ui::TextGrid& grid_;
  RecordTable& table_;
  ProgressPopup* popup_ = nullptr;
  std::string text_;  // the reply collected so far
  std::shared_ptr<const std::string> reply_;  // the trimmed reply, once the memo shares it
  std::string head_, tail_;                   // what the trim took off
  int lf_count_ = 0;
  Status status_ = Status::Ok;
  bool result_ = true;
  bool paused_ = false;
  std::vector<char> chunk_ = std::vector<char>(kChunkLimit);  // one read of the reply
  std::size_t bytes_ = 0;  // bytes received, for the report
  bool hung_up_ = false;   // the line went silent for good: the device is gone
  bool stopped_ = false;   // the host asked the download to end
  uint32_t last_progress_ = 0;  // when the line check last let events run
  int shown_index_ = -1;        // the line index the popup shows
  std::optional<DownloadBudget> budget_;  // the overall bound, from the request on
};

}  // namespace

bool DownloadDriver(const DownloadContext& context) {
  RecordParts* form = context.parts();
  if (!form) context.state.last_download = {};
  if (!form || context.state.download_running) return false;
  RecordTable* table = RecordTable::of(form->grid);
  if (!table) return false;
  RunningMark mark(context.state);
  context.state.last_download = {};
  Download download(context, *form, *table);
  return download.run();
}

bool vkt_inputdata(const DownloadContext& context) { return DownloadDriver(context); }

}  // namespace vkt::records
