#pragma once
// The simulated logger (vktsim::LoggerCore, the same logic the pty
// simulator serves) at the far end of an in-memory line, found through a
// registry made in memory: no terminal device, no device folder, no
// environment variable.
//
// What the port writes before it goes idle arrives as one burst; the burst
// is fed to the logger at a time of the line's own that moves on by a second
// a burst, and the logger's quiet time is let pass after it, so that a
// command written at once (a digit run included) is complete when it
// arrives. Replies become readable at once; a chunked reply's pauses are
// waited out on a sender thread of the line, in order. The hang-up fault
// cuts the line once the logger has sent that many bytes since it was
// plugged in: the port sees a hang-up, the registry no longer shows the
// adapter, and replug() brings both back.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/memory_line.h"
#include "link/port_discovery.h"
#include "link/registry_reader.h"
#include "vktsim/logger_core.h"
#include "windows/monitor_window.h"

namespace vkt::testing {

class SimulatedLogger {
 public:
  explicit SimulatedLogger(const vktsim::SimOptions& options = unpaced(), uint16_t port_number = 1)
      : core_(options), port_number_(port_number), line_(link::MemoryLine::make(port_number)) {
    core_.plugged_in();
    line_->set_far_side([this](link::MemoryLine&, const std::string& burst) { on_burst(burst); });
    sender_ = std::thread([this] { send_loop(); });
  }
  ~SimulatedLogger() {
    line_->set_far_side(nullptr);
    {
      std::lock_guard lock(mu_);
      stop_ = true;
    }
    wake_.notify_all();
    sender_.join();
  }
  SimulatedLogger(const SimulatedLogger&) = delete;
  SimulatedLogger& operator=(const SimulatedLogger&) = delete;

  static vktsim::SimOptions unpaced() {
    vktsim::SimOptions options;
    options.paced = false;
    return options;
  }

  // The logger: its state, commands, faults and counters.
  vktsim::LoggerCore& core() { return core_; }
  vktsim::LoggerCore* operator->() { return &core_; }
  link::MemoryLine& line() { return *line_; }

  // The serial backends of a library whose port is this line.
  windows::SerialBackendFactory backends() {
    return [line = line_] { return line->make_backend(); };
  }
  // A machine with the logger's adapter on the line's port number while the
  // logger is plugged in, and no serial device otherwise.
  windows::RegistryFactory registry() {
    return [this] {
      auto tree = std::make_unique<link::RegistryTree>();
      if (core_.plugged()) {
        const std::string port = "COM" + std::to_string(port_number_);
        tree->set_text(link::kDeviceMapKey, "\\Device\\VCP0", port);
        tree->set_text(std::string(link::kAdapterKey) + "\\" + std::string(link::kLoggerAdapterId) + "+VKT00001A" +
                           std::string(link::kParametersSubkey),
                       "PortName", port);
      }
      return tree;
    };
  }

  // The logger is unplugged: the port sees a hang-up, the adapter leaves
  // the registry. Replies not sent yet are dropped.
  void unplug() { cut(/*by_fault=*/false); }
  // Plugged in again: the port may open the line anew.
  void replug() {
    {
      std::lock_guard lock(mu_);
      pending_.clear();
      sent_since_plug_ = 0;
      core_.new_session();
    }
    line_->replug();
    core_.plugged_in();
  }

 private:
  struct Due {
    std::string bytes;
    std::chrono::steady_clock::time_point at;
  };

  // On the port's I/O thread.
  void on_burst(const std::string& burst) {
    std::vector<vktsim::ReplyPiece> replies;
    {
      std::lock_guard lock(mu_);
      if (!core_.plugged()) return;
      now_ += std::chrono::seconds(1);
      core_.count_received(burst.size());
      core_.receive(burst.data(), burst.size(), now_, replies);
      core_.idle(now_ + std::chrono::milliseconds(500), replies);
      if (replies.empty()) return;
      // Pieces without a pause go at once unless others are still waiting.
      std::size_t i = 0;
      if (pending_.empty()) {
        for (; i < replies.size() && replies[i].pause.count() == 0; ++i) {
          if (!send_counted(replies[i].bytes)) return;
        }
      }
      auto at = std::chrono::steady_clock::now();
      for (; i < replies.size(); ++i) {
        at += replies[i].pause;
        pending_.push_back({std::move(replies[i].bytes), at});
      }
    }
    wake_.notify_all();
  }

  void send_loop() {
    std::unique_lock lock(mu_);
    while (!stop_) {
      if (pending_.empty()) {
        wake_.wait(lock);
        continue;
      }
      const auto at = pending_.front().at;
      if (std::chrono::steady_clock::now() < at) {
        wake_.wait_until(lock, at);
        continue;
      }
      const std::string bytes = std::move(pending_.front().bytes);
      pending_.pop_front();
      send_counted(bytes);
    }
  }

  // Sends what the hang-up fault lets through; false when it cut the line.
  // Called with mu_ held.
  bool send_counted(const std::string& bytes) {
    const std::optional<std::size_t> limit = core_.faults().hang_up_after_bytes;
    std::size_t n = bytes.size();
    if (limit) n = std::min(n, *limit - std::min(*limit, sent_since_plug_));
    if (n > 0) {
      line_->send(std::string_view(bytes).substr(0, n));
      sent_since_plug_ += n;
      core_.count_sent(n);
    }
    if (limit && sent_since_plug_ >= *limit) {
      pending_.clear();
      line_->hang_up();
      core_.unplugged(/*by_fault=*/true);
      return false;
    }
    return true;
  }

  void cut(bool by_fault) {
    {
      std::lock_guard lock(mu_);
      pending_.clear();
    }
    line_->hang_up();
    core_.unplugged(by_fault);
  }

  vktsim::LoggerCore core_;
  const uint16_t port_number_;
  std::shared_ptr<link::MemoryLine> line_;

  std::mutex mu_;
  std::condition_variable wake_;
  std::deque<Due> pending_;
  std::size_t sent_since_plug_ = 0;
  std::chrono::steady_clock::time_point now_{};
  bool stop_ = false;
  std::thread sender_;
};

}  // namespace vkt::testing
