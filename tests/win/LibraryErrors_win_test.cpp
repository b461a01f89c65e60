// The standard library's own faults, as the Windows program tells them.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "win/LibraryErrors_win.h"
#include "win/WinWindow.h"

namespace buzonix {
namespace {

// In the child of a death test: what the program would show, on stderr.
void TellOnStderr(const std::string& text) {
  std::fprintf(stderr, "told: %s\n", text.c_str());
  std::fflush(stderr);
}

TEST(LibraryFaultDeathTest, EndsTheProgramWithTheLibrarysTextAndItsNumbers) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        SetSystemFailureHandler(TellOnStderr);
        (void)std::string("abc").substr(5);
      },
      ::testing::ExitedWithCode(1), "told: basic_string::substr: __pos \\(which is 5\\) > this->size\\(\\) \\(which is 3\\)");
  EXPECT_EXIT(
      {
        SetSystemFailureHandler(TellOnStderr);
        (void)std::vector<int>(2).at(4294967295u);
      },
      ::testing::ExitedWithCode(1),
      "told: vector::_M_range_check: __n \\(which is 4294967295\\) >= this->size\\(\\) \\(which is 2\\)");
  EXPECT_EXIT(
      {
        SetSystemFailureHandler(TellOnStderr);
        std::string().reserve(std::string().max_size() + 1);
      },
      ::testing::ExitedWithCode(1), "told: basic_string::_M_create");
}

}  // namespace
}  // namespace buzonix

#endif  // _WIN32
