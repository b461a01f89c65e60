#include "mailcheck/md5.h"

namespace buzonix {

std::string Md5Hex(const std::string& data) {
  char hex[33];
  Md5HexInto(data.data(), data.size(), hex);
  return hex;
}

}  // namespace buzonix
