#pragma once
// A logger played in memory, at the far end of a MemoryLine: no terminal
// device, no device folder, no environment. It answers each command the
// port writes (one burst is one command) by the first rule whose command is
// the burst exactly or, for a prefix rule, begins it; by default it answers
// as the simulated logger does ("m", "p", "D", and "OK#" to the rest).
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/memory_line.h"
#include "support/fakes.h"

namespace vkt::testing {

class ScriptedLogger {
 public:
  // A reply to a command; an empty reply leaves it unanswered.
  using Reply = std::function<std::string(const std::string& command)>;

  explicit ScriptedLogger(uint16_t port_number = 1) : line_(link::MemoryLine::make(port_number)) {
    line_->set_far_side([this](link::MemoryLine& line, const std::string& burst) { on_burst(line, burst); });
  }
  ~ScriptedLogger() { line_->set_far_side(nullptr); }
  ScriptedLogger(const ScriptedLogger&) = delete;
  ScriptedLogger& operator=(const ScriptedLogger&) = delete;

  link::MemoryLine& line() { return *line_; }
  // The serial backends of a library whose port is this line.
  windows::SerialBackendFactory backends() {
    return [line = line_] { return line->make_backend(); };
  }

  // Rules are tried newest first, before the default answers.
  void answer(std::string command, std::string reply) {
    std::lock_guard lock(mu_);
    rules_.insert(rules_.begin(), {std::move(command), false, [reply = std::move(reply)](const std::string&) {
                                     return reply;
                                   }});
  }
  void answer_prefix(std::string prefix, Reply reply) {
    std::lock_guard lock(mu_);
    rules_.insert(rules_.begin(), {std::move(prefix), true, std::move(reply)});
  }
  void silent_to(std::string prefix) {
    answer_prefix(std::move(prefix), [](const std::string&) { return std::string(); });
  }

  // The logger's memory for "D": record lines, each sent with CR LF, then "#" CR LF.
  void set_records(std::vector<std::string> lines) {
    std::lock_guard lock(mu_);
    records_ = std::move(lines);
  }
  // The parameter lines "p" sends (CR LF after each, then "#").
  void set_parameters(std::vector<std::string> lines) {
    std::lock_guard lock(mu_);
    parameters_ = std::move(lines);
  }

  std::vector<std::string> commands() const {
    std::lock_guard lock(mu_);
    return commands_;
  }
  void clear_commands() {
    std::lock_guard lock(mu_);
    commands_.clear();
  }

 private:
  struct Rule {
    std::string command;
    bool prefix;
    Reply reply;
  };

  std::string default_reply(const std::string& command) const {
    if (command == "m") return "VKT-18 RLS=1.07#";
    if (command == "p") {
      std::string r;
      for (const auto& l : parameters_) r += l + "\r\n";
      return r + "#";
    }
    if (command == "D") {
      std::string r;
      for (const auto& l : records_) r += l + "\r\n";
      return r + "#\r\n";
    }
    return "OK#";
  }

  void on_burst(link::MemoryLine& line, const std::string& burst) {
    std::string reply;
    {
      std::lock_guard lock(mu_);
      commands_.push_back(burst);
      bool ruled = false;
      for (const Rule& rule : rules_) {
        if (rule.prefix ? burst.rfind(rule.command, 0) == 0 : burst == rule.command) {
          reply = rule.reply(burst);
          ruled = true;
          break;
        }
      }
      if (!ruled) reply = default_reply(burst);
    }
    if (!reply.empty()) line.send(reply);
  }

  std::shared_ptr<link::MemoryLine> line_;
  mutable std::mutex mu_;
  std::vector<Rule> rules_;
  std::vector<std::string> commands_;
  std::vector<std::string> records_;
  std::vector<std::string> parameters_ = {
      "@Year=2023", "@Count= 3 records", "@Record=A", "@Interval=6", "@Type=0010", "@wait=0000",
      "@My_ID=0001", "@detect=0005", "@ADJ h=0000 0000 0000", "@gmenDR_A RLS=1.07"};
};

}  // namespace vkt::testing
