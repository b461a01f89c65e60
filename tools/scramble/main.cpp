// Prints the scrambled form of a password, as the settings keep it, for
// scripts that lay out a configuration (the demo). The password is read from
// standard input, so that it never shows in a process list; one line end at
// its end is not part of it.
#include <iostream>
#include <iterator>
#include <string>

#include "config/scramble.h"

int main() {
  std::string clave((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
  if (!clave.empty() && clave.back() == '\n') clave.pop_back();
  if (!clave.empty() && clave.back() == '\r') clave.pop_back();
  std::cout << buzonix::CodificaClave(clave) << '\n';
  return std::cout ? 0 : 1;
}
