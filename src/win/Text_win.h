// Texts at the Windows boundary. The program keeps its texts and settings in
// Windows-1252 whatever code page the system runs with; Windows gets and gives
// them as UTF-16, converted here and nowhere else.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace buzonix {

std::wstring Wide(std::string_view western);
// Text that comes as UTF-8 (URLs); nullopt for bytes that are no UTF-8.
std::optional<std::wstring> WideFromUtf8(std::string_view utf8);
// A character Windows-1252 cannot hold becomes '?'.
std::string Western(std::wstring_view text);
// True when every character of `text` has its own Windows-1252 byte.
bool FitsWestern(std::wstring_view text);

std::wstring WideWindowText(HWND window);
std::string WindowText(HWND window);
void SetText(HWND window, std::string_view western);

}  // namespace buzonix
