#include "win/SystemBrowser_win.h"

#include <windows.h>
#include <shellapi.h>

#include <optional>

#include "signin/Provider.h"
#include "win/Text_win.h"

namespace buzonix {

bool WinSystemBrowser::Open(const std::string& url) {
  if (!EndpointAllowed(url)) return false;
  const std::optional<std::wstring> wide = WideFromUtf8(url);
  if (!wide) return false;
  const HINSTANCE result = ShellExecuteW(nullptr, L"open", wide->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace buzonix
