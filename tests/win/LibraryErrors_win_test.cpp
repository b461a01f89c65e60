// The standard library's own faults, as the Windows program reports them.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller/errors.h"
#include "win/LibraryErrors_win.h"

namespace buzonix {
namespace {

std::string WhatTheProgramShows(void (*fault)()) {
  try {
    fault();
  } catch (const LibraryError&) {
    return ErrorMessage(std::current_exception());
  } catch (...) {
    return "not a LibraryError";
  }
  return "nothing thrown";
}

TEST(LibraryErrorTest, KeepsTheLibrarysTextWithItsNumbers) {
  EXPECT_EQ(WhatTheProgramShows([] { (void)std::string("abc").substr(5); }),
            "basic_string::substr: __pos (which is 5) > this->size() (which is 3)");
  EXPECT_EQ(WhatTheProgramShows([] { (void)std::vector<int>(2).at(4294967295u); }),
            "vector::_M_range_check: __n (which is 4294967295) >= this->size() (which is 2)");
  EXPECT_EQ(WhatTheProgramShows([] { std::string().reserve(std::string().max_size() + 1); }),
            "basic_string::_M_create");
}

}  // namespace
}  // namespace buzonix

#endif  // _WIN32
