// The error of a text that should have spelled a number.
#pragma once

#include <string>

namespace buzonix {

// "'<text>' is not a valid integer value", as the conversions word it.
struct EConvertError {
  std::string message;
};

}  // namespace buzonix
