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

namespace vktsim {
namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

struct LoggerSim::Impl {
  Impl(SimOptions o, LoggerCore& c) : options(std::move(o)), core(c) {}

  SimOptions options;
  Transcript transcript;
  LoggerCore& core;

  // The pty's path; guarded by `mutex`.
  mutable std::mutex mutex;
  std::string slave_path;

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

  void plug();
  void stop_session();
  void serve(PtyPair pty);
  void lay_out_adapter(const std::string& target);
  void remove_adapter();
};

// ---------------------------------------------------------------- serving

void LoggerSim::Impl::serve(PtyPair session) {
  core.new_session();
  LineWriter out(options.paced ? options.baud / 10 : 0);
  std::vector<ReplyPiece> replies;
  std::size_t sent_this_session = 0;
  bool blocked = false;  // the pty took less than offered; wait for POLLOUT
  bool hung_up = false;
  char buffer[4096];

  auto queue_replies = [&] {
    for (ReplyPiece& piece : replies) out.push(std::move(piece.bytes), piece.pause);
    replies.clear();
  };

  while (!stop.load()) {
    Clock::time_point now = Clock::now();
    core.idle(now, replies);
    queue_replies();

    const std::optional<std::size_t> limit = core.faults().hang_up_after_bytes;
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
          core.count_sent(written);
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
    std::optional<Clock::time_point> wake_at = core.deadline();
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
        core.count_received(got);
        core.receive(buffer, got, Clock::now(), replies);
        queue_replies();
      }
    } else if (fds[0].revents & (POLLHUP | POLLERR)) {
      // Cannot happen while our own slave descriptor is open; never spin.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  close_pty(session);
  if (hung_up) {
    transcript.note("hang-up after " + std::to_string(sent_this_session) + " bytes");
    remove_adapter();
    core.unplugged(/*by_fault=*/true);
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
  }
  core.plugged_in();
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

LoggerSim::LoggerSim(SimOptions options)
    : LoggerCore(options, [this](const std::string& text) { impl_->transcript.note(text); }),
      impl_(std::make_unique<Impl>(std::move(options), static_cast<LoggerCore&>(*this))) {
  Impl& d = *impl_;
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
  const bool was_plugged = d.core.plugged();
  d.remove_adapter();
  if (was_plugged) d.transcript.note("unplugged");
  d.core.unplugged(/*by_fault=*/false);
}

void LoggerSim::replug() {
  Impl& d = *impl_;
  std::lock_guard control(d.control_mutex);
  d.stop_session();
  d.core.unplugged(/*by_fault=*/false);
  d.remove_adapter();
  d.plug();
  d.lay_out_adapter(slave_path());
}

}  // namespace vktsim
