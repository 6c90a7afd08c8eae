// The main of every cross-compiled suite. Under Wine a program's exit code
// says little (a 32-bit program can "succeed" without having run), so the
// program prints one marker line that the test script looks for:
//   VKTCOM-SUITE <program> PASSED <n> tests
//   VKTCOM-SUITE <program> FAILED
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string program = argc > 0 ? argv[0] : "suite";
  const auto slash = program.find_last_of("/\\");
  if (slash != std::string::npos) program.erase(0, slash + 1);
  const int result = RUN_ALL_TESTS();
  const auto* unit = ::testing::UnitTest::GetInstance();
  if (result == 0 && unit->test_to_run_count() > 0) {
    std::printf("VKTCOM-SUITE %s PASSED %d tests\n", program.c_str(), unit->successful_test_count());
  } else {
    std::printf("VKTCOM-SUITE %s FAILED\n", program.c_str());
  }
  std::fflush(stdout);
  return result;
}
