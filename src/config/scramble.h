// The password is kept in the registry scrambled: each byte is combined with a
// fixed key by exclusive or and written as two upper-case hexadecimal digits.
#pragma once

#include <string>

namespace buzonix {

// The fixed key. Byte i of a password (counted from 0) uses key byte
// i % 28, so passwords longer than the key still round-trip.
inline constexpr char kScrambleKey[] = "DoLuMeA&RwJ593RwJ&DoLuMeA593";

// Two digits per byte of `clave`; empty for an empty text.
std::string CodificaClave(const std::string& clave);

// Undoes CodificaClave. Never fails: a character outside "0123456789ABCDEF"
// (lower-case letters included) counts as -1, the byte is taken modulo 256, and
// a last unpaired character is dropped, so stored texts of earlier versions,
// and the default "Error", decode the way they always did.
std::string DecodificaClave(const std::string& codigo);

}  // namespace buzonix
