#include "vktsim/logger_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "line_writer.h"
#include "pty.h"
#include "transcript.h"
#include "vktsim/command_parser.h"

namespace vktsim {
namespace {

using Clock = std::chrono::steady_clock;

bool matches(const std::string& prefix, const std::string& command) {
  return prefix.empty() || command.compare(0, prefix.size(), prefix) == 0;
}

bool matches_any(const std::vector<std::string>& prefixes, const std::string& command) {
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](const std::string& p) { return !p.empty() && matches(p, command); });
}

std::string four_digits(int v) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d", v);
  return text;
}

std::string model_name(int type) {
  switch (type) {
    case 10:
    case 20:
      return "VKT-18";
    case 2:
    case 1:
      return "VKT-02";
    case 50:
      return "VKT-50";
    default:
      return "VKT";
  }
}

DateTime local_now() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
}

// The number in a command after its `skip` leading letters.
int number_after(const std::string& command, std::size_t skip) { return std::stoi(command.substr(skip)); }

}  // namespace

struct LoggerSim::Impl {
  explicit Impl(SimOptions o) : options(std::move(o)) {}

  SimOptions options;

  // State shared with the serving thread.
  mutable std::mutex mutex;
  mutable std::condition_variable changed;
  SimSettings settings;
  SimFaults faults;
  std::vector<SimRecord> records;
  std::vector<std::string> lines;
  std::vector<std::string> commands;
  std::string clock_text;
  std::optional<DateTime> clock_base;
  Clock::time_point clock_set_at{};
  std::string start_time;
  SimCounters counters;
  std::string slave_path;
  bool plugged = false;

  // The device tree; tree_mutex guards the folders on disk and tree_root.
  std::mutex tree_mutex;
  std::string tree_root;

  // The serving session. control_mutex serialises plug, unplug and tree
  // changes; the serving thread never takes it.
  std::mutex control_mutex;
  int wake_read = -1;
  int wake_write = -1;
  std::atomic<bool> stop{false};
  std::thread thread;
  Transcript transcript;

  void plug();
  void stop_session();
  void serve(PtyPair pty);
  void handle(const std::string& command, LineWriter& out);
  std::string reply_to(const std::string& command, const std::string& eol, const SimFaults& f);
  std::string parameter_reply(const std::string& eol) const;
  std::string download_reply(const std::string& eol, const SimFaults& f) const;
  DateTime logger_now() const;
  void lay_out_adapter(const std::string& target);
  void remove_adapter();
};

// ---------------------------------------------------------------- replies

DateTime LoggerSim::Impl::logger_now() const {
  if (!clock_base) return local_now();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clock_set_at);
  return add_milliseconds(*clock_base, elapsed.count());
}

std::string LoggerSim::Impl::parameter_reply(const std::string& eol) const {
  const int year = records.empty() ? logger_now().year : records.front().year;
  const SimSettings& s = settings;
  std::string r;
  r += "@Year=" + four_digits(year) + eol;
  r += "@Count= " + std::to_string(lines.size()) + " records" + eol;
  r += std::string("@Record=") + s.record + eol;
  r += std::string("@Interval=") + s.interval + eol;
  r += "@Type=" + four_digits(s.type) + eol;
  r += "@wait=" + four_digits(s.wait) + eol;
  r += "@My_ID=" + four_digits(s.my_id) + eol;
  r += "@detect=" + four_digits(s.detect) + eol;
  r += "@ADJ h=" + four_digits(s.adj_h1) + " " + four_digits(s.adj_h2) + " " + four_digits(s.adj_h3) + eol;
  r += "@gmenDR_A RLS=" + s.revision + eol;
  r += "#";
  return r;
}

std::string LoggerSim::Impl::download_reply(const std::string& eol, const SimFaults& f) const {
  std::string r;
  r.reserve(lines.size() * (20 + eol.size()) + 3);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    if (f.bad_length_record == i) {
      if (f.bad_length_delta < 0)
        line.resize(line.size() - std::min(line.size(), static_cast<std::size_t>(-f.bad_length_delta)));
      else
        line.append(static_cast<std::size_t>(f.bad_length_delta), '0');
    }
    if (f.non_hex_record == i && !line.empty()) line[std::min<std::size_t>(9, line.size() - 1)] = 'G';
    r += line;
    r += eol;
  }
  if (!f.no_download_terminator) r += "#" + eol;
  return r;
}

// Applies the command to the logger's state and builds its reply. Called
// with `mutex` held.
std::string LoggerSim::Impl::reply_to(const std::string& command, const std::string& eol, const SimFaults& f) {
  static const std::string ok = "OK#";
  SimSettings& s = settings;
  switch (command[0]) {
    case 'm':
      return model_name(s.type) + " RLS=" + s.revision + "#";
    case 'p':
      return parameter_reply(eol);
    case 's':
      clock_text = command.substr(1);
      if (const std::optional<DateTime> t = parse_date_time(clock_text)) {
        clock_base = t;
        clock_set_at = Clock::now();
      }
      return ok;
    case 't':
      return ok;
    case 'l':
      start_time = command.substr(1);
      return ok;
    case 'D':
      ++counters.downloads;
      return download_reply(eol, f);
    case 'j':
      s.record = command[1];
      return ok;
    case 'i':
      s.interval = command[1];
      return ok;
    case 'w':
      s.wait = number_after(command, 1);
      return ok;
    case 'O':
      (command[1] == 'x' ? s.adj_h1 : s.adj_h3) = number_after(command, 2);
      return ok;
    case 'N':
      s.my_id = number_after(command, 1);
      return ok;
    case 'd':
      s.detect = number_after(command, 1);
      return ok;
    default:  // the two-digit model codes
      s.type = std::stoi(command);
      return ok;
  }
}

void LoggerSim::Impl::handle(const std::string& command, LineWriter& out) {
  SimFaults f;
  std::string reply;
  {
    std::lock_guard lock(mutex);
    commands.push_back(command);
    ++counters.commands;
    f = faults;
    if (f.silent || matches_any(f.no_answer, command)) {
      ++counters.unanswered;
    } else {
      reply = reply_to(command, f.lf_cr ? "\n\r" : "\r\n", f);
      ++counters.replies;
    }
  }
  changed.notify_all();
  if (reply.empty()) {
    transcript.note("no answer to " + command);
    return;
  }

  if (f.nul_in_reply && matches(f.nul_only_for, command)) {
    const std::size_t terminator = reply.rfind('#');
    const std::size_t limit = terminator == std::string::npos ? reply.size() : terminator;
    reply.insert(std::min(f.nul_offset, limit), 1, '\0');
  }
  if (!f.extra_after_terminator.empty() && matches(f.extra_only_for, command)) reply += f.extra_after_terminator;
  if (!f.stale_before_reply.empty() && matches(f.stale_only_for, command))
    reply.insert(0, f.stale_before_reply);

  if (f.chunk_bytes == 0) {
    out.push(std::move(reply));
    return;
  }
  for (std::size_t from = 0; from < reply.size(); from += f.chunk_bytes)
    out.push(reply.substr(from, f.chunk_bytes), from == 0 ? std::chrono::milliseconds(0) : f.chunk_pause);
}

// ---------------------------------------------------------------- serving

void LoggerSim::Impl::serve(PtyPair session) {
  CommandParser parser(options.idle_gap);
  LineWriter out(options.paced ? options.baud / 10 : 0);
  std::vector<std::string> done;
  std::size_t sent_this_session = 0;
  std::size_t discarded_seen = 0;
  bool blocked = false;  // the pty took less than offered; wait for POLLOUT
  bool hung_up = false;
  char buffer[4096];

  auto handle_done = [&] {
    for (const std::string& c : done) handle(c, out);
    done.clear();
    if (parser.discarded_bytes() != discarded_seen) {
      std::lock_guard lock(mutex);
      counters.discarded_bytes += parser.discarded_bytes() - discarded_seen;
      discarded_seen = parser.discarded_bytes();
    }
  };

  while (!stop.load()) {
    Clock::time_point now = Clock::now();
    parser.on_idle(now, done);
    handle_done();

    std::optional<std::size_t> limit;
    {
      std::lock_guard lock(mutex);
      limit = faults.hang_up_after_bytes;
    }
    if (limit && sent_this_session >= *limit) {
      hung_up = true;
      break;
    }

    out.advance(now);
    if (!blocked) {
      std::size_t n = out.allowed(now);
      if (limit) n = std::min(n, *limit - sent_this_session);
      if (n > 0) {
        const ssize_t k = write(session.master, out.head(), n);
        if (k > 0) {
          const auto written = static_cast<std::size_t>(k);
          transcript.sent(out.head(), written);
          out.sent(written);
          sent_this_session += written;
          {
            std::lock_guard lock(mutex);
            counters.bytes_sent += written;
          }
          if (written < n) blocked = true;
          continue;  // look again: more may be due, or the hang-up limit reached
        }
        if (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
          transcript.note(std::string("write failed: ") + std::strerror(errno));
        }
        blocked = true;
      }
    }

    // Sleep until a byte comes, the parser's gap ends or the schedule lets
    // more bytes out.
    std::optional<Clock::time_point> wake_at = parser.deadline();
    if (!blocked) {
      if (const auto t = out.next_time(now)) wake_at = wake_at ? std::min(*wake_at, *t) : *t;
    }
    timespec timeout{};
    timespec* timeout_ptr = nullptr;
    if (wake_at) {
      const auto wait = std::max(Clock::duration::zero(), *wake_at - now);
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
      timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
      timeout_ptr = &timeout;
    }
    pollfd fds[2] = {{session.master, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                     {wake_read, POLLIN, 0}};
    const int ready = ppoll(fds, 2, timeout_ptr, nullptr);
    if (ready < 0) {
      if (errno == EINTR) continue;
      transcript.note(std::string("poll failed: ") + std::strerror(errno));
      break;
    }
    if (fds[1].revents & POLLIN) {
      char drain[64];
      while (read(wake_read, drain, sizeof drain) > 0) {
      }
      continue;  // the loop condition looks at `stop`
    }
    if (fds[0].revents & POLLOUT) {
      blocked = false;
      out.restart(Clock::now());
    }
    if (fds[0].revents & POLLIN) {
      const ssize_t k = read(session.master, buffer, sizeof buffer);
      if (k > 0) {
        const auto got = static_cast<std::size_t>(k);
        transcript.received(buffer, got);
        {
          std::lock_guard lock(mutex);
          counters.bytes_received += got;
        }
        now = Clock::now();
        for (std::size_t i = 0; i < got; ++i) parser.feed(buffer[i], now, done);
        handle_done();
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      // Cannot happen while our own slave descriptor is open; never spin.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  close_pty(session);
  if (hung_up) {
    transcript.note("hang-up after " + std::to_string(sent_this_session) + " bytes");
    {
      std::lock_guard lock(mutex);
      plugged = false;
      ++counters.hang_ups;
    }
    remove_adapter();
    changed.notify_all();
  }
}

// ---------------------------------------------------------------- tree

void LoggerSim::Impl::lay_out_adapter(const std::string& target) {
  std::lock_guard lock(tree_mutex);
  if (tree_root.empty()) return;
  UsbSerialAdapter adapter = options.adapter;
  adapter.device_node_target = target;
  lay_out_usb_serial(tree_root, adapter);
}

void LoggerSim::Impl::remove_adapter() {
  std::lock_guard lock(tree_mutex);
  if (tree_root.empty()) return;
  try {
    remove_usb_serial(tree_root, options.adapter);
  } catch (const std::filesystem::filesystem_error& e) {
    transcript.note(std::string("cannot remove the adapter from the tree: ") + e.what());
  }
}

// ---------------------------------------------------------------- sessions

void LoggerSim::Impl::plug() {
  PtyPair session = open_pty();
  {
    std::lock_guard lock(mutex);
    slave_path = session.slave_path;
    plugged = true;
    ++counters.plugs;
  }
  transcript.note("plugged in at " + session.slave_path);
  stop.store(false);
  thread = std::thread(&Impl::serve, this, session);
}

void LoggerSim::Impl::stop_session() {
  if (!thread.joinable()) return;
  stop.store(true);
  const char byte = 1;
  while (write(wake_write, &byte, 1) < 0 && errno == EINTR) {
  }
  thread.join();
  char drain[64];
  while (read(wake_read, drain, sizeof drain) > 0) {
  }
  stop.store(false);
}

// ---------------------------------------------------------------- public

LoggerSim::LoggerSim(SimOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
  Impl& d = *impl_;
  d.settings = d.options.settings;
  d.faults = d.options.faults;
  d.records = d.options.records;
  d.lines = d.options.record_lines.empty() ? encode_records(d.records, d.options.base_year_tag)
                                           : d.options.record_lines;
  if (!d.options.transcript_path.empty()) d.transcript.open(d.options.transcript_path);

  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) throw std::system_error(errno, std::generic_category(), "pipe2");
  d.wake_read = fds[0];
  d.wake_write = fds[1];

  try {
    std::lock_guard control(d.control_mutex);
    d.plug();
  } catch (...) {
    close(d.wake_read);
    close(d.wake_write);
    throw;
  }
  if (d.options.tree_root.empty()) return;
  try {
    lay_out_tree(d.options.tree_root);
  } catch (...) {
    {
      std::lock_guard control(d.control_mutex);
      d.stop_session();
    }
    d.remove_adapter();
    close(d.wake_read);
    close(d.wake_write);
    throw;
  }
}

LoggerSim::~LoggerSim() {
  Impl& d = *impl_;
  {
    std::lock_guard control(d.control_mutex);
    d.stop_session();
  }
  d.remove_adapter();
  close(d.wake_read);
  close(d.wake_write);
}

std::string LoggerSim::slave_path() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->slave_path;
}

void LoggerSim::lay_out_tree(const std::string& root) {
  Impl& d = *impl_;
  std::lock_guard control(d.control_mutex);
  d.remove_adapter();  // from an earlier root
  {
    std::lock_guard lock(d.tree_mutex);
    d.tree_root = std::filesystem::absolute(root).lexically_normal().string();
  }
  if (plugged()) d.lay_out_adapter(slave_path());
}

std::string LoggerSim::dev_root() const {
  std::lock_guard lock(impl_->tree_mutex);
  return impl_->tree_root.empty() ? std::string() : impl_->tree_root + "/dev";
}

std::string LoggerSim::sys_root() const {
  std::lock_guard lock(impl_->tree_mutex);
  return impl_->tree_root.empty() ? std::string() : impl_->tree_root + "/sys";
}

std::string LoggerSim::device_path() const {
  std::lock_guard lock(impl_->tree_mutex);
  return impl_->tree_root.empty() ? std::string() : impl_->tree_root + "/dev/" + impl_->options.adapter.tty_name;
}

void LoggerSim::unplug() {
  Impl& d = *impl_;
  std::lock_guard control(d.control_mutex);
  d.stop_session();
  bool was_plugged;
  {
    std::lock_guard lock(d.mutex);
    was_plugged = d.plugged;
    d.plugged = false;
  }
  d.remove_adapter();
  if (was_plugged) d.transcript.note("unplugged");
  d.changed.notify_all();
}

void LoggerSim::replug() {
  Impl& d = *impl_;
  std::lock_guard control(d.control_mutex);
  d.stop_session();
  {
    std::lock_guard lock(d.mutex);
    d.plugged = false;
  }
  d.remove_adapter();
  d.plug();
  d.lay_out_adapter(slave_path());
}

bool LoggerSim::plugged() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->plugged;
}

bool LoggerSim::wait_for_unplug(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return !impl_->plugged; });
}

std::vector<std::string> LoggerSim::commands() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->commands;
}

bool LoggerSim::wait_for_commands(std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(impl_->mutex);
  return impl_->changed.wait_for(lock, timeout, [&] { return impl_->commands.size() >= n; });
}

void LoggerSim::clear_commands() {
  std::lock_guard lock(impl_->mutex);
  impl_->commands.clear();
}

SimSettings LoggerSim::settings() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->settings;
}

void LoggerSim::set_settings(const SimSettings& settings) {
  std::lock_guard lock(impl_->mutex);
  impl_->settings = settings;
}

SimFaults LoggerSim::faults() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->faults;
}

void LoggerSim::set_faults(const SimFaults& faults) {
  std::lock_guard lock(impl_->mutex);
  impl_->faults = faults;
}

std::string LoggerSim::clock_text() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->clock_text;
}

std::string LoggerSim::logger_time() const {
  std::lock_guard lock(impl_->mutex);
  return format_date_time(impl_->logger_now());
}

std::string LoggerSim::start_time() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->start_time;
}

std::vector<SimRecord> LoggerSim::records() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->records;
}

std::vector<std::string> LoggerSim::record_lines() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->lines;
}

void LoggerSim::set_records(std::vector<SimRecord> records, std::vector<std::string> lines) {
  std::lock_guard lock(impl_->mutex);
  impl_->lines = lines.empty() ? encode_records(records, impl_->options.base_year_tag) : std::move(lines);
  impl_->records = std::move(records);
}

SimCounters LoggerSim::counters() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->counters;
}

}  // namespace vktsim
