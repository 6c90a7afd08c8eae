#pragma once
// The program's exit codes and the failure that carries one to main().
#include <stdexcept>
#include <string>

namespace vktcli {

enum ExitCode : int {
  kExitOk = 0,
  kExitError = 1,           // anything not listed below
  kExitUsage = 2,           // bad command line
  kExitNoLibrary = 3,       // libvktcom.so cannot be loaded or lacks an export
  kExitNoLogger = 4,        // the port search found no logger
  kExitCannotOpen = 5,      // the port cannot be opened
  kExitNoAnswer = 6,        // the logger does not answer the handshake
  kExitTransferFailed = 7,  // a download, clock setting or command failed
  kExitOutput = 8,          // the output file cannot be written
  kExitSimulator = 9,       // the simulated logger cannot be started
  kExitOutputRefused = 10,  // -o names a folder, a block device or a socket
  kExitPartial = 11,        // the download failed; --partial wrote the records received
  kExitInterrupted = 130,   // SIGINT or SIGTERM during a command other than watch
};

// The table printed at the end of --help.
std::string exit_code_help();

// A failure with its exit code; main() prints "vkt: <what>" and exits.
class Failure : public std::runtime_error {
 public:
  Failure(ExitCode code, const std::string& what) : std::runtime_error(what), code_(code) {}
  ExitCode code() const { return code_; }

 private:
  ExitCode code_;
};

}  // namespace vktcli
