#include "vktcli/exit_codes.h"

namespace vktcli {

std::string exit_code_help() {
  return "Exit codes:\n"
         "  0    success\n"
         "  1    unexpected error\n"
         "  2    bad command line\n"
         "  3    libvktcom.so cannot be loaded (see --library, VKTCOM_LIBRARY)\n"
         "  4    no logger found by the port search\n"
         "  5    the port cannot be opened\n"
         "  6    the logger does not answer\n"
         "  7    the download, clock setting or a command failed\n"
         "  8    the output file cannot be written\n"
         "  9    the simulated logger cannot be started\n"
         "  10   -o names a folder, a block device or a socket (refused)\n"
         "  11   the download failed; --partial wrote the records received\n"
         "  130  interrupted (SIGINT or SIGTERM; watch exits with 0;\n"
         "       download --partial wrote the records received first)\n";
}

}  // namespace vktcli
