#include "vktsim/logger_core.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "vktsim/command_parser.h"

namespace vktsim {
namespace {

using Clock = LoggerCore::Clock;

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
  // std::localtime's result is shared: the simulator's own readings take turns.
  static std::mutex mutex;
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  {
    std::lock_guard lock(mutex);
    tm = *std::localtime(&now);
  }
  return DateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, 0};
}

// The number in a command after its `skip` leading letters.
int number_after(const std::string& command, std::size_t skip) { return std::stoi(command.substr(skip)); }

}  // namespace

struct LoggerCore::State {
  State(const SimOptions& o, Note n) : parser(o.idle_gap), base_year_tag(o.base_year_tag), note(std::move(n)) {}

  // The serving thread's own.
  CommandParser parser;
  std::size_t discarded_seen = 0;
  const unsigned base_year_tag;
  const Note note;

  // Shared with every other thread.
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
  bool plugged = false;

  // Called with `mutex` held.
  DateTime logger_now() const;
  std::string parameter_reply(const std::string& eol) const;
  std::string download_reply(const std::string& eol, const SimFaults& f) const;
  std::string reply_to(const std::string& command, const std::string& eol, const SimFaults& f);
};

// ---------------------------------------------------------------- replies

DateTime LoggerCore::State::logger_now() const {
  if (!clock_base) return local_now();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - clock_set_at);
  return add_milliseconds(*clock_base, elapsed.count());
}

std::string LoggerCore::State::parameter_reply(const std::string& eol) const {
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

std::string LoggerCore::State::download_reply(const std::string& eol, const SimFaults& f) const {
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

// Applies the command to the logger's state and builds its reply.
std::string LoggerCore::State::reply_to(const std::string& command, const std::string& eol, const SimFaults& f) {
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

// ---------------------------------------------------------------- the line side

LoggerCore::LoggerCore(const SimOptions& options, Note note)
    : state_(std::make_unique<State>(options, std::move(note))) {
  State& d = *state_;
  d.settings = options.settings;
  d.faults = options.faults;
  d.records = options.records;
  d.lines = options.record_lines.empty() ? encode_records(d.records, options.base_year_tag) : options.record_lines;
}

LoggerCore::~LoggerCore() = default;

void LoggerCore::handle(const std::string& command, std::vector<ReplyPiece>& out) {
  State& d = *state_;
  SimFaults f;
  std::string reply;
  {
    std::lock_guard lock(d.mutex);
    d.commands.push_back(command);
    ++d.counters.commands;
    f = d.faults;
    if (f.silent || matches_any(f.no_answer, command)) {
      ++d.counters.unanswered;
    } else {
      reply = d.reply_to(command, f.lf_cr ? "\n\r" : "\r\n", f);
      ++d.counters.replies;
    }
  }
  d.changed.notify_all();
  if (reply.empty()) {
    if (d.note) d.note("no answer to " + command);
    return;
  }

  if (f.nul_in_reply && matches(f.nul_only_for, command)) {
    const std::size_t terminator = reply.rfind('#');
    const std::size_t limit = terminator == std::string::npos ? reply.size() : terminator;
    reply.insert(std::min(f.nul_offset, limit), 1, '\0');
  }
  if (!f.extra_after_terminator.empty() && matches(f.extra_only_for, command)) reply += f.extra_after_terminator;
  if (!f.stale_before_reply.empty() && matches(f.stale_only_for, command)) reply.insert(0, f.stale_before_reply);

  if (f.chunk_bytes == 0) {
    out.push_back({std::move(reply), std::chrono::milliseconds(0)});
    return;
  }
  for (std::size_t from = 0; from < reply.size(); from += f.chunk_bytes)
    out.push_back({reply.substr(from, f.chunk_bytes), from == 0 ? std::chrono::milliseconds(0) : f.chunk_pause});
}

void LoggerCore::take_discarded() {
  State& d = *state_;
  const std::size_t discarded = d.parser.discarded_bytes();
  if (discarded == d.discarded_seen) return;
  std::lock_guard lock(d.mutex);
  d.counters.discarded_bytes += discarded - d.discarded_seen;
  d.discarded_seen = discarded;
}

void LoggerCore::receive(const char* data, std::size_t size, Clock::time_point now, std::vector<ReplyPiece>& out) {
  std::vector<std::string> done;
  for (std::size_t i = 0; i < size; ++i) state_->parser.feed(data[i], now, done);
  for (const std::string& command : done) handle(command, out);
  take_discarded();
}

void LoggerCore::idle(Clock::time_point now, std::vector<ReplyPiece>& out) {
  std::vector<std::string> done;
  state_->parser.on_idle(now, done);
  for (const std::string& command : done) handle(command, out);
  take_discarded();
}

std::optional<Clock::time_point> LoggerCore::deadline() const { return state_->parser.deadline(); }

void LoggerCore::new_session() {
  take_discarded();
  state_->parser.reset();
}

// ---------------------------------------------------------------- the carrier's reports

void LoggerCore::count_received(std::size_t bytes) {
  std::lock_guard lock(state_->mutex);
  state_->counters.bytes_received += bytes;
}

void LoggerCore::count_sent(std::size_t bytes) {
  std::lock_guard lock(state_->mutex);
  state_->counters.bytes_sent += bytes;
}

void LoggerCore::plugged_in() {
  {
    std::lock_guard lock(state_->mutex);
    state_->plugged = true;
    ++state_->counters.plugs;
  }
  state_->changed.notify_all();
}

void LoggerCore::unplugged(bool by_fault) {
  {
    std::lock_guard lock(state_->mutex);
    state_->plugged = false;
    if (by_fault) ++state_->counters.hang_ups;
  }
  state_->changed.notify_all();
}

// ---------------------------------------------------------------- state

bool LoggerCore::plugged() const {
  std::lock_guard lock(state_->mutex);
  return state_->plugged;
}

bool LoggerCore::wait_for_unplug(std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] { return !state_->plugged; });
}

std::vector<std::string> LoggerCore::commands() const {
  std::lock_guard lock(state_->mutex);
  return state_->commands;
}

bool LoggerCore::wait_for_commands(std::size_t n, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(state_->mutex);
  return state_->changed.wait_for(lock, timeout, [&] { return state_->commands.size() >= n; });
}

void LoggerCore::clear_commands() {
  std::lock_guard lock(state_->mutex);
  state_->commands.clear();
}

SimSettings LoggerCore::settings() const {
  std::lock_guard lock(state_->mutex);
  return state_->settings;
}

void LoggerCore::set_settings(const SimSettings& settings) {
  std::lock_guard lock(state_->mutex);
  state_->settings = settings;
}

SimFaults LoggerCore::faults() const {
  std::lock_guard lock(state_->mutex);
  return state_->faults;
}

void LoggerCore::set_faults(const SimFaults& faults) {
  std::lock_guard lock(state_->mutex);
  state_->faults = faults;
}

std::string LoggerCore::clock_text() const {
  std::lock_guard lock(state_->mutex);
  return state_->clock_text;
}

std::string LoggerCore::logger_time() const {
  std::lock_guard lock(state_->mutex);
  return format_date_time(state_->logger_now());
}

std::string LoggerCore::start_time() const {
  std::lock_guard lock(state_->mutex);
  return state_->start_time;
}

std::vector<SimRecord> LoggerCore::records() const {
  std::lock_guard lock(state_->mutex);
  return state_->records;
}

std::vector<std::string> LoggerCore::record_lines() const {
  std::lock_guard lock(state_->mutex);
  return state_->lines;
}

void LoggerCore::set_records(std::vector<SimRecord> records, std::vector<std::string> lines) {
  std::lock_guard lock(state_->mutex);
  state_->lines = lines.empty() ? encode_records(records, state_->base_year_tag) : std::move(lines);
  state_->records = std::move(records);
}

SimCounters LoggerCore::counters() const {
  std::lock_guard lock(state_->mutex);
  return state_->counters;
}

}  // namespace vktsim
