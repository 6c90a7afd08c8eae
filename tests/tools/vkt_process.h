#pragma once
// Runs the built `vkt` program as a user does, always with the module of
// this build (--library), and collects its exit code and output. Each run
// gets a temporary folder of its own as TMPDIR, so a test can see that the
// program cleaned up after itself.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "support/temp_folder.h"

extern char** environ;

namespace vkt::testing {

inline const char* kVktProgram = VKTCOM_TOOLS_DIR "/vkt/vkt";

inline std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct RunResult {
  int exit_code = -1;  // 128 + signal when killed by one
  std::string out;
  std::string err;
};

// A started program. Standard output goes to a file, or to a pipe that the
// test reads line by line (`piped_stdout`).
class VktProcess {
 public:
  // With `program` given, that program runs instead, left to find the
  // library itself (no --library). With `stderr_device` (a pseudo-terminal's
  // slave), standard error goes there instead of to a file.
  VktProcess(std::vector<std::string> args, std::map<std::string, std::string> env = {}, bool piped_stdout = false,
             const std::string& program = {}, const std::string& stderr_device = {})
      : tmp_() {
    env.emplace("TMPDIR", tmp_.path().string());
    std::vector<std::string> argv_text{kVktProgram, "--library", VKTCOM_MODULE_PATH};
    if (!program.empty()) argv_text = {program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());

    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (env.count(entry.substr(0, entry.find('='))) == 0) env_text.push_back(entry);
    }
    for (const auto& [name, value] : env) env_text.push_back(name + "=" + value);

    std::vector<char*> argv, envp;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (piped_stdout) {
      int fds[2];
      if (pipe(fds) != 0) throw std::system_error(errno, std::system_category(), "pipe");
      pipe_fd_ = fds[0];
      posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
      posix_spawn_file_actions_addclose(&actions, fds[0]);
      posix_spawn_file_actions_addclose(&actions, fds[1]);
      write_end_ = fds[1];
    } else {
      posix_spawn_file_actions_addopen(&actions, 1, out_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    if (stderr_device.empty()) {
      posix_spawn_file_actions_addopen(&actions, 2, err_path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    } else {
      posix_spawn_file_actions_addopen(&actions, 2, stderr_device.c_str(), O_WRONLY | O_NOCTTY, 0);
    }
    const int rc = posix_spawn(&pid_, argv_text.front().c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (write_end_ >= 0) close(write_end_);
    if (rc != 0) throw std::system_error(rc, std::system_category(), "posix_spawn");
  }
  ~VktProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    if (pipe_fd_ >= 0) close(pipe_fd_);
  }
  VktProcess(const VktProcess&) = delete;
  VktProcess& operator=(const VktProcess&) = delete;

  // The next line of a piped standard output; empty when the output ended
  // or nothing came within `limit` (a guard against a hung program only).
  std::string read_line(std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      if (const auto nl = pending_.find('\n'); nl != std::string::npos) {
        std::string line = pending_.substr(0, nl);
        pending_.erase(0, nl + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return {};
      pollfd p{pipe_fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(pipe_fd_, buffer, sizeof buffer);
      if (n <= 0) return {};
      pending_.append(buffer, static_cast<std::size_t>(n));
    }
  }

  void signal(int sig) { kill(pid_, sig); }

  // Closes the reading end of a piped standard output, as `head` does once
  // it has its lines.
  void close_output() {
    if (pipe_fd_ >= 0) close(pipe_fd_);
    pipe_fd_ = -1;
  }

  RunResult wait() {
    RunResult r;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (pipe_fd_ < 0 && write_end_ < 0) r.out = read_text(out_path());
    r.err = read_text(err_path());
    return r;
  }

  // What the program left in its TMPDIR (the output files of the runner aside).
  std::vector<std::string> leftovers() const {
    std::vector<std::string> names;
    for (const std::string& name : tmp_.entries())
      if (name != "stdout" && name != "stderr") names.push_back(name);
    return names;
  }

 private:
  std::string out_path() const { return tmp_ / "stdout"; }
  std::string err_path() const { return tmp_ / "stderr"; }

  TempFolder tmp_;
  pid_t pid_ = -1;
  int pipe_fd_ = -1;
  int write_end_ = -1;
  std::string pending_;
};

inline RunResult run_vkt(std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
  VktProcess process(std::move(args), std::move(env));
  return process.wait();
}

}  // namespace vkt::testing
