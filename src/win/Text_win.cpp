#include "win/Text_win.h"

namespace buzonix {
namespace {

constexpr UINT kWesternCodePage = 1252;

}  // namespace

std::wstring Wide(std::string_view western) {
  if (western.empty()) return {};
  const int size = static_cast<int>(western.size());
  std::wstring wide(western.size(), L'\0');  // one UTF-16 unit for each byte
  const int length =
      MultiByteToWideChar(kWesternCodePage, 0, western.data(), size, wide.data(), size);
  wide.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return wide;
}

std::optional<std::wstring> WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = static_cast<int>(utf8.size());
  std::wstring wide(utf8.size(), L'\0');  // never more UTF-16 units than bytes
  const int length =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), size);
  if (length <= 0) return std::nullopt;
  wide.resize(static_cast<std::size_t>(length));
  return wide;
}

std::string Western(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  std::string western(text.size(), '\0');  // one byte for each UTF-16 unit at most
  const int length = WideCharToMultiByte(kWesternCodePage, WC_NO_BEST_FIT_CHARS, text.data(), size,
                                         western.data(), size, "?", nullptr);
  western.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return western;
}

bool FitsWestern(std::wstring_view text) {
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  std::string western(text.size(), '\0');
  BOOL lost = FALSE;
  const int length = WideCharToMultiByte(kWesternCodePage, WC_NO_BEST_FIT_CHARS, text.data(), size,
                                         western.data(), size, "?", &lost);
  return length == size && !lost;
}

std::wstring WideWindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return text;
}

std::string WindowText(HWND window) { return Western(WideWindowText(window)); }

void SetText(HWND window, std::string_view western) {
  SetWindowTextW(window, Wide(western).c_str());
}

}  // namespace buzonix
