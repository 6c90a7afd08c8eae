// The vktsim program: prints where to connect, serves, stops on SIGTERM.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sim/pty_host.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

std::string program_path() {
#ifdef VKTCOM_TOOLS_DIR
  return std::string(VKTCOM_TOOLS_DIR) + "/vktsim/vktsim";
#else
  return {};
#endif
}

// Runs the program with its stdout on a pipe.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    args.insert(args.begin(), program_path());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) throw std::runtime_error("posix_spawn");
    out_ = fdopen(fds[0], "r");
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_) fclose(out_);
  }
  std::string line() {
    char buffer[512];
    if (!fgets(buffer, sizeof buffer, out_)) return {};
    std::string s(buffer);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    return s;
  }
  // Sends SIGTERM and returns the exit status.
  int stop() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  FILE* out_ = nullptr;
};

TEST(VktsimProgram, ServesRecordsFromAFileOnTheTreeItPrints) {
  if (!std::filesystem::exists(program_path())) GTEST_SKIP() << "vktsim not built";
  simtest::TempFolder folder;
  const std::string records = (folder.path() / "records.txt").string();
  std::ofstream(records) << "35EDB5E501FE4017192D\n18400050807F00FB0064\n";

  Program program({"--unpaced", "--file", records, "--first-year", "2009", "--tree", folder.path().string(),
                   "--no-answer", "t", "--extra", "\\x21"});
  const std::string slave = program.line();
  const std::string dev_root = program.line();
  const std::string sys_root = program.line();
  const std::string root = std::filesystem::canonical(folder.path()).string();
  EXPECT_THAT(slave, testing::StartsWith("/dev/pts/"));
  EXPECT_EQ(dev_root, "VKTCOM_DEV_ROOT=" + root + "/dev");
  EXPECT_EQ(sys_root, "VKTCOM_SYSFS_ROOT=" + root + "/sys");
  {
    simtest::PtyHost host(root + "/dev/ttyUSB0");
    host.send("tp");  // "t" goes unanswered
    EXPECT_THAT(host.read_until("#!"), testing::StartsWith("@Year=2009\r\n@Count= 2 records\r\n"));
    host.send("D");
    EXPECT_EQ(host.read_until("#\r\n!"), "35EDB5E501FE4017192D\r\n18400050807F00FB0064\r\n#\r\n!");
  }
  EXPECT_EQ(program.stop(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(root + "/dev/ttyUSB0")));
}

}  // namespace
