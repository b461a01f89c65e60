#include "win/Instance_win.h"

#include <sddl.h>

namespace buzonix {
namespace {

// Posted to itself: a request is answered at once and carried out from the
// program's own loop, so that a slow dialog never keeps the second start
// waiting.
constexpr UINT kOpenConfigLater = WM_APP + 1;
constexpr LRESULT kTaken = 0x42757A;  // what a running copy answers
constexpr UINT kAnswerTimeoutMs = 2000;

// The user's SID as text: the same name for every start of this user, another
// for any other user of the session's namespace.
std::wstring UserSid() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return L"";
  const OwnedHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  std::string buffer(size, '\0');
  if (size == 0 || !GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return L"";
  wchar_t* text = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) return L"";
  std::wstring sid(text);
  LocalFree(text);
  return sid;
}

std::wstring UserName() {
  wchar_t name[257] = {};
  DWORD size = 257;
  return GetUserNameW(name, &size) ? name : L"";
}

std::wstring MutexName() {
  std::wstring user = UserSid();
  if (user.empty()) user = UserName();
  return L"Local\\Buzonix.Instancia." + user;
}

}  // namespace

WinInstanceChannel::WinInstanceChannel() : mutex_(CreateMutexW(nullptr, FALSE, MutexName().c_str())) {}

WinInstanceChannel::~WinInstanceChannel() {
  if (owned_) ReleaseMutex(mutex_.Get());
}

// A copy that crashed leaves its mutex abandoned, which the next wait takes.
bool WinInstanceChannel::Claim() {
  if (owned_) return true;
  if (mutex_.Get() == nullptr) return true;  // no lock to be had: run rather than refuse
  const DWORD result = WaitForSingleObject(mutex_.Get(), 0);
  owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
  return owned_;
}

// The running copy may bring its dialog to the front only with this start's
// leave: a program in the background cannot take the foreground itself.
bool WinInstanceChannel::AskRunningToOpenConfig() {
  const HWND running = FindWindowA(kInstanceWindowClass, nullptr);
  if (running == nullptr) return false;
  DWORD pid = 0;
  GetWindowThreadProcessId(running, &pid);
  if (pid == GetCurrentProcessId()) return false;
  AllowSetForegroundWindow(pid);
  DWORD_PTR answer = 0;
  const UINT message = RegisterWindowMessageW(kOpenConfigMessageName);
  return SendMessageTimeoutW(running, message, 0, 0, SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &answer) != 0 &&
         answer == static_cast<DWORD_PTR>(kTaken);
}

InstanceWindow::InstanceWindow(Requests requests)
    : requests_(std::move(requests)), open_config_message_(RegisterWindowMessageW(kOpenConfigMessageName)) {
  CreateHidden(kInstanceWindowClass);
}

LRESULT InstanceWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == open_config_message_ && message != 0) {
    PostMessageW(Handle(), kOpenConfigLater, 0, 0);
    return kTaken;
  }
  if (message == kOpenConfigLater) {
    requests_.openConfig();
    return 0;
  }
  if (message == WM_CLOSE) {  // not DefWindowProc's DestroyWindow: the program ends as a whole
    requests_.end();
    return 0;
  }
  return WinWindow::HandleMessage(message, wparam, lparam);
}

}  // namespace buzonix
