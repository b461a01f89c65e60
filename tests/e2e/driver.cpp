// A console program that drives Buzonix from outside, as a user would: it
// finds windows and message boxes, reads their texts, presses buttons, posts
// the shell's mouse messages to the tray icon's window, picks menu items and
// reads and writes the registry. Run in the same Wine prefix as the program.
//
//   driver find CLASS|- TITLE|- [SECONDS]   print the window's handle, or fail
//   driver gone CLASS|- TITLE|- [SECONDS]   wait until no such window exists
//   driver text HWND                        print a window's text
//   driver settext HWND TEXT                set it (WM_SETTEXT)
//   driver child HWND CLASS INDEX           print the INDEX-th descendant of CLASS
//   driver item HWND ID                     print the descendant with control ID
//   driver count CLASS                      print how many top-level windows of CLASS are visible
//   driver click HWND                       press a button (BM_CLICK)
//   driver post HWND MSG WPARAM LPARAM      post a message (numbers may be 0x..)
//   driver send HWND MSG WPARAM LPARAM      send one and print the result
//   driver key HWND VK                      key down and up, posted
//   driver visible HWND                     print 1 when the window exists and is visible, else 0
//   driver style HWND                       print style and extended style
//   driver client HWND                      print the client area's width and height
//   driver rect HWND                        print the window's screen rectangle
//   driver rects HWND                       print CLASS ID LEFT TOP RIGHT BOTTOM of every descendant,
//                                           in the window's client coordinates
//   driver tray left|right|double           imitate the shell's callback
//   driver menu N                           open the tray menu and pick item N (0-based)
//   driver menu N TIMES                     the same TIMES over, each after the last has closed
//   driver launch EXE [ARGS]                start EXE, print the ms until a tray icon of it shows, and its pid
//   driver procstat PID                     print handles, GDI and USER objects, working set KiB
//   driver pid HWND                         print the process id of a window
//   driver kill PID                         end a process as a crash would (TerminateProcess)
//   driver modules PID                      print the base names of a process's loaded modules
//   driver trayicons                        print how many icons the notification area holds
//   driver box [SECONDS]                    wait for a message box; print caption, text; press its first button
//   driver nobox [SECONDS]                  fail if a message box shows within SECONDS
//   driver tooltip                          print the tray icons' tooltips, one a line
//   driver waittip TEXT [SECONDS]           "ready", then "seen" once a tooltip reads TEXT
//   driver pixel X Y                        print the screen pixel as RRGGBB
//   driver regset ROOT KEY NAME TYPE DATA   TYPE sz, raw (REG_SZ data in hex), repeat (COUNT:TEXT), dword, binary (hex), multi, expand
//   driver regget ROOT KEY NAME             print TYPE:DATA (type number, data in hex) or "missing"
//   driver regdel ROOT KEY [NAME]           delete a value, or the whole key tree
//   driver items HWND                       print a drop-down list's entries, one a line
//   driver seal ENTROPY TEXT                print TEXT sealed by DPAPI for this user with ENTROPY, in hex
//   driver trustca PEMFILE                  trust a CA inside this prefix (its root store)
//   driver reglock ROOT KEY on|off          on: everyone may only read the key, as a standard user
//                                           meets HKLM; off: everyone may do everything
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>
#include <sddl.h>
#include <shlwapi.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/RootStore_win.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "driver: %s\n", what);
  std::exit(1);
}

unsigned long long Number(const char* text) { return std::strtoull(text, nullptr, 0); }

HWND Handle(const char* text) { return reinterpret_cast<HWND>(static_cast<UINT_PTR>(Number(text))); }

const char* OrNull(const char* text) { return std::strcmp(text, "-") == 0 ? nullptr : text; }

// Waits up to `seconds` for `condition` to hold, checking every `step` ms.
template <typename F>
bool WaitForEvery(double seconds, DWORD step, F condition) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  for (;;) {
    if (condition()) return true;
    if (static_cast<LONG>(GetTickCount() - end) >= 0) return false;
    Sleep(step);
  }
}

template <typename F>
bool WaitFor(double seconds, F condition) {
  return WaitForEvery(seconds, 50, condition);
}

double Seconds(int argc, char** argv, int index, double fallback) {
  return argc > index ? std::atof(argv[index]) : fallback;
}

std::string WindowText(HWND hwnd) {
  char buffer[4096];
  const LRESULT n = SendMessageA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return std::string(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

void PrintHandle(HWND hwnd) { std::printf("0x%llx\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd))); }

struct ChildSearch {
  const char* className;
  int index;
  HWND found;
};

BOOL CALLBACK CountChild(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<ChildSearch*>(param);
  char name[256];
  GetClassNameA(hwnd, name, sizeof name);
  if (lstrcmpiA(name, search->className) == 0 && search->index-- == 0) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

HWND FindChild(HWND parent, const char* className, int index) {
  ChildSearch search{className, index, nullptr};
  EnumChildWindows(parent, CountChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct IdSearch {
  int id;
  HWND found;
};

BOOL CALLBACK MatchId(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<IdSearch*>(param);
  if (GetDlgCtrlID(hwnd) != search->id) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND FindItem(HWND parent, int id) {
  IdSearch search{id, nullptr};
  EnumChildWindows(parent, MatchId, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

int CountVisible(const char* className) {
  int n = 0;
  for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, className, nullptr)) != nullptr;) n += IsWindowVisible(w) ? 1 : 0;
  return n;
}

HWND TrayWindow() {
  HWND tray = FindWindowA("BuzonixTrayIconWindow", nullptr);
  if (tray == nullptr) Fail("the tray icon's window is not there");
  return tray;
}

void PostTray(UINT mouseMessage) { PostMessageA(TrayWindow(), WM_USER + 1, 0, mouseMessage); }

// A message box of any process: a top-level dialog with a static text 0xFFFF.
HWND FindMessageBox() {
  HWND box = nullptr;
  while ((box = FindWindowExA(nullptr, box, "#32770", nullptr)) != nullptr) {
    if (IsWindowVisible(box) && GetDlgItem(box, 0xFFFF) != nullptr) return box;
  }
  return nullptr;
}

void AnswerMessageBox(double seconds) {
  HWND box = nullptr;
  if (!WaitFor(seconds, [&] { return (box = FindMessageBox()) != nullptr; })) Fail("no message box");
  char caption[512], text[2048];
  GetWindowTextA(box, caption, sizeof caption);
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  std::printf("%s\n%s\n", caption, text);
  std::fflush(stdout);
  for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
    if (HWND button = GetDlgItem(box, id)) {
      PostMessageA(button, BM_CLICK, 0, 0);
      break;
    }
  }
  WaitFor(5, [&] { return !IsWindow(box) || !IsWindowVisible(box); });
}

void PickMenuItem(int index) {
  PostTray(WM_RBUTTONUP);
  HWND menu = nullptr;
  if (!WaitFor(5, [&] { return (menu = FindWindowA("#32768", nullptr)) != nullptr && IsWindowVisible(menu); }))
    Fail("the menu did not open");
  for (int i = 0; i <= index; ++i) PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
  WaitFor(5, [&] { return !IsWindowVisible(menu); });
}

// How many tray icons the shell holds: one tool each in its tooltip windows.
int TrayToolCount() {
  int tools = 0;
  for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, TOOLTIPS_CLASSA, nullptr)) != nullptr;)
    tools += static_cast<int>(SendMessageA(w, TTM_GETTOOLCOUNT, 0, 0));
  return tools;
}

void LaunchToTray(const char* exe, const char* arguments) {
  const int before = TrayToolCount();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  std::string command = std::string("\"") + exe + "\" " + arguments;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    Fail("cannot start the program");
  // Every 2 ms: the other waits' 50 ms would round a start of 100 ms or so.
  if (!WaitForEvery(30, 2, [&] { return TrayToolCount() > before; })) Fail("no tray icon appeared");
  QueryPerformanceCounter(&now);
  std::printf("%.1f %lu\n", 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
              static_cast<unsigned long>(info.dwProcessId));
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
}

void ProcessStatistics(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (process == nullptr) Fail("no such process");
  DWORD handles = 0;
  GetProcessHandleCount(process, &handles);
  PROCESS_MEMORY_COUNTERS memory{};
  GetProcessMemoryInfo(process, &memory, sizeof memory);
  std::printf("%lu %lu %lu %lu\n", static_cast<unsigned long>(handles),
              static_cast<unsigned long>(GetGuiResources(process, GR_GDIOBJECTS)),
              static_cast<unsigned long>(GetGuiResources(process, GR_USEROBJECTS)),
              static_cast<unsigned long>(memory.WorkingSetSize / 1024));
  CloseHandle(process);
}

DWORD WindowProcess(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

// Ends a process as a crash would: nothing of it runs.
void KillProcess(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) Fail("no such process");
  TerminateProcess(process, 9);
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
}

// The base names of the modules a process has loaded, one a line.
void PrintModules(DWORD pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (process == nullptr) Fail("no such process");
  HMODULE modules[512];
  DWORD bytes = 0;
  if (EnumProcessModules(process, modules, sizeof modules, &bytes)) {
    for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
      char name[MAX_PATH] = {};
      if (GetModuleBaseNameA(process, modules[i], name, sizeof name)) std::printf("%s\n", name);
    }
  }
  CloseHandle(process);
}

// The tooltips are held by the shell's process: read them through a buffer
// allocated there.
struct RemoteBuffer {
  HANDLE process;
  char* address;
  RemoteBuffer(HANDLE p, size_t size)
      : process(p), address(static_cast<char*>(VirtualAllocEx(p, nullptr, size, MEM_COMMIT, PAGE_READWRITE))) {}
  ~RemoteBuffer() {
    if (address != nullptr) VirtualFreeEx(process, address, 0, MEM_RELEASE);
  }
};

// Appends each tray tooltip and a line feed to the std::string at `out`.
BOOL CALLBACK CollectToolTips(HWND hwnd, LPARAM out) {
  char name[64];
  GetClassNameA(hwnd, name, sizeof name);
  if (lstrcmpiA(name, TOOLTIPS_CLASSA) != 0) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == GetCurrentProcessId()) return TRUE;
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (process == nullptr) return TRUE;
  {
    RemoteBuffer remote(process, 8192);
    const LRESULT count = SendMessageA(hwnd, TTM_GETTOOLCOUNT, 0, 0);
    for (LRESULT i = 0; remote.address != nullptr && i < count; ++i) {
      TTTOOLINFOA info{};
      info.cbSize = sizeof info;
      info.lpszText = remote.address + 4096;
      SIZE_T moved = 0;
      WriteProcessMemory(process, remote.address, &info, sizeof info, &moved);
      if (!SendMessageA(hwnd, TTM_ENUMTOOLSA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.address))) continue;
      ReadProcessMemory(process, remote.address, &info, sizeof info, &moved);
      info.lpszText = remote.address + 4096;
      WriteProcessMemory(process, remote.address, &info, sizeof info, &moved);
      const char zero = 0;
      WriteProcessMemory(process, remote.address + 4096, &zero, 1, &moved);
      SendMessageA(hwnd, TTM_GETTEXTA, 4000, reinterpret_cast<LPARAM>(remote.address));
      char text[4097] = {};
      ReadProcessMemory(process, remote.address + 4096, text, 4096, &moved);
      reinterpret_cast<std::string*>(out)->append(text).append("\n");
    }
  }
  CloseHandle(process);
  return TRUE;
}

// Wide: a Unicode list hands its entries across processes as UTF-16.
void PrintItems(HWND list) {
  const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[512] = {};
    if (SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) >= 512) Fail("entry too long");
    SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    char western[1024] = {};
    WideCharToMultiByte(1252, 0, text, -1, western, sizeof western, "?", nullptr);
    std::printf("%s\n", western);
  }
}

// What a program sealing with other entropy (or another program) would leave.
void PrintSealed(const char* entropy, const char* text) {
  DATA_BLOB in{static_cast<DWORD>(std::strlen(text)), reinterpret_cast<BYTE*>(const_cast<char*>(text))};
  DATA_BLOB extra{static_cast<DWORD>(std::strlen(entropy)), reinterpret_cast<BYTE*>(const_cast<char*>(entropy))};
  DATA_BLOB out{};
  if (!CryptProtectData(&in, L"", &extra, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out)) Fail("sealing failed");
  for (DWORD i = 0; i < out.cbData; ++i) std::printf("%02X", out.pbData[i]);
  std::printf("\n");
  LocalFree(out.pbData);
}

HKEY Root(const char* name) {
  if (std::strcmp(name, "HKCU") == 0) return HKEY_CURRENT_USER;
  if (std::strcmp(name, "HKLM") == 0) return HKEY_LOCAL_MACHINE;
  Fail("root must be HKCU or HKLM");
}

std::string FromHex(const char* hex) {
  std::string bytes;
  for (size_t i = 0; hex[i] != 0 && hex[i + 1] != 0; i += 2) {
    const char pair[3] = {hex[i], hex[i + 1], 0};
    bytes.push_back(static_cast<char>(std::strtoul(pair, nullptr, 16)));
  }
  return bytes;
}

// The driver is built with the program, so both see the same registry view.
constexpr REGSAM kView = 0;

void RegSet(char** argv) {
  HKEY key;
  if (RegCreateKeyExA(Root(argv[2]), argv[3], 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, &key, nullptr) != ERROR_SUCCESS)
    Fail("cannot create the key");
  const std::string type = argv[5];
  std::string data = argv[6];
  DWORD kind = REG_SZ;
  if (type == "dword") {
    const DWORD value = static_cast<DWORD>(Number(argv[6]));
    data.assign(reinterpret_cast<const char*>(&value), sizeof value);
    kind = REG_DWORD;
  } else if (type == "binary") {
    data = FromHex(argv[6]);
    kind = REG_BINARY;
  } else if (type == "multi") {
    data.append(2, '\0');
    kind = REG_MULTI_SZ;
  } else if (type == "expand") {
    data.push_back('\0');
    kind = REG_EXPAND_SZ;
  } else if (type == "repeat") {  // DATA is COUNT:TEXT, the text repeated COUNT times
    const char* colon = std::strchr(argv[6], ':');
    if (colon == nullptr) Fail("repeat wants COUNT:TEXT");
    data.clear();
    for (unsigned long long i = Number(argv[6]); i > 0; --i) data += colon + 1;
  } else if (type == "raw") {  // REG_SZ data given in hex, byte for byte
    data = FromHex(argv[6]);
  }
  const LONG status = RegSetValueExA(key, argv[4], 0, kind, reinterpret_cast<const BYTE*>(data.data()),
                                     static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) Fail("cannot set the value");
}

void RegGet(char** argv) {
  HKEY key;
  if (RegOpenKeyExA(Root(argv[2]), argv[3], 0, KEY_READ | kView, &key) != ERROR_SUCCESS) {
    std::printf("missing\n");
    return;
  }
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, argv[4], nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
    RegCloseKey(key);
    std::printf("missing\n");
    return;
  }
  std::vector<BYTE> data(size + 1);
  RegQueryValueExA(key, argv[4], nullptr, &type, data.data(), &size);
  RegCloseKey(key);
  std::printf("%lu:", static_cast<unsigned long>(type));
  for (DWORD i = 0; i < size; ++i) std::printf("%02X", data[i]);
  std::printf("\n");
}

void RegDel(int argc, char** argv) {
  if (argc > 4) {
    HKEY key;
    if (RegOpenKeyExA(Root(argv[2]), argv[3], 0, KEY_ALL_ACCESS | kView, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, argv[4]);
      RegCloseKey(key);
    }
    return;
  }
  HKEY parent;
  std::string path = argv[3];
  const size_t slash = path.rfind('\\');
  if (RegOpenKeyExA(Root(argv[2]), path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | kView, &parent) == ERROR_SUCCESS) {
    SHDeleteKeyA(parent, path.substr(slash + 1).c_str());
    RegCloseKey(parent);
  }
}

void RegLock(char** argv) {
  const char* rights = std::strcmp(argv[4], "on") == 0 ? "D:P(A;;KR;;;WD)" : "D:P(A;;KA;;;WD)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(rights, SDDL_REVISION_1, &descriptor, nullptr))
    Fail("cannot build the security descriptor");
  HKEY key;
  LONG status = RegOpenKeyExA(Root(argv[2]), argv[3], 0, WRITE_DAC | kView, &key);
  if (status == ERROR_SUCCESS) {
    status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    RegCloseKey(key);
  }
  LocalFree(descriptor);
  if (status != ERROR_SUCCESS) Fail("cannot set the key's rights");
}

void PrintRect(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
}

struct RectList {
  HWND form;
};

BOOL CALLBACK PrintChildRect(HWND hwnd, LPARAM param) {
  const auto* list = reinterpret_cast<const RectList*>(param);
  char cls[64] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  RECT r;
  GetWindowRect(hwnd, &r);
  MapWindowPoints(nullptr, list->form, reinterpret_cast<POINT*>(&r), 2);
  std::printf("%s %ld %ld %ld %ld %ld\n", cls, static_cast<long>(GetWindowLongPtrA(hwnd, GWLP_ID)), r.left, r.top,
              r.right, r.bottom);
  return TRUE;
}

void PrintChildRects(HWND form) {
  RectList list{form};
  EnumChildWindows(form, &PrintChildRect, reinterpret_cast<LPARAM>(&list));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) Fail("no command");
  const std::string command = argv[1];
  if (command == "find" && argc >= 4) {
    HWND hwnd = nullptr;
    if (!WaitFor(Seconds(argc, argv, 4, 10), [&] { return (hwnd = FindWindowA(OrNull(argv[2]), OrNull(argv[3]))) != nullptr; }))
      Fail("no such window");
    PrintHandle(hwnd);
  } else if (command == "gone" && argc >= 4) {
    if (!WaitFor(Seconds(argc, argv, 4, 10), [&] { return FindWindowA(OrNull(argv[2]), OrNull(argv[3])) == nullptr; }))
      Fail("the window is still there");
  } else if (command == "text" && argc >= 3) {
    std::printf("%s\n", WindowText(Handle(argv[2])).c_str());
  } else if (command == "settext" && argc >= 4) {
    SendMessageA(Handle(argv[2]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
  } else if (command == "child" && argc >= 5) {
    HWND child = FindChild(Handle(argv[2]), argv[3], std::atoi(argv[4]));
    if (child == nullptr) Fail("no such control");
    PrintHandle(child);
  } else if (command == "item" && argc >= 4) {
    HWND item = FindItem(Handle(argv[2]), std::atoi(argv[3]));
    if (item == nullptr) Fail("no such control");
    PrintHandle(item);
  } else if (command == "count" && argc >= 3) {
    std::printf("%d\n", CountVisible(argv[2]));
  } else if (command == "click" && argc >= 3) {
    PostMessageA(Handle(argv[2]), BM_CLICK, 0, 0);
  } else if ((command == "post" || command == "send") && argc >= 6) {
    const UINT message = static_cast<UINT>(Number(argv[3]));
    const WPARAM wparam = static_cast<WPARAM>(Number(argv[4]));
    const LPARAM lparam = static_cast<LPARAM>(Number(argv[5]));
    if (command == "post")
      PostMessageA(Handle(argv[2]), message, wparam, lparam);
    else
      std::printf("%lld\n", static_cast<long long>(SendMessageA(Handle(argv[2]), message, wparam, lparam)));
  } else if (command == "key" && argc >= 4) {
    const WPARAM vk = static_cast<WPARAM>(Number(argv[3]));
    PostMessageA(Handle(argv[2]), WM_KEYDOWN, vk, 1);
    PostMessageA(Handle(argv[2]), WM_KEYUP, vk, 0xC0000001);
  } else if (command == "visible" && argc >= 3) {
    std::printf("%d\n", IsWindow(Handle(argv[2])) && IsWindowVisible(Handle(argv[2])) ? 1 : 0);
  } else if (command == "style" && argc >= 3) {
    std::printf("0x%08lx 0x%08lx\n", static_cast<unsigned long>(GetWindowLongA(Handle(argv[2]), GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongA(Handle(argv[2]), GWL_EXSTYLE)));
  } else if (command == "client" && argc >= 3) {
    RECT r;
    GetClientRect(Handle(argv[2]), &r);
    std::printf("%ld %ld\n", r.right - r.left, r.bottom - r.top);
  } else if (command == "rect" && argc >= 3) {
    PrintRect(Handle(argv[2]));
  } else if (command == "rects" && argc >= 3) {
    PrintChildRects(Handle(argv[2]));
  } else if (command == "tray" && argc >= 3) {
    const std::string button = argv[2];
    if (button == "left") {
      PostTray(WM_LBUTTONDOWN);
      PostTray(WM_LBUTTONUP);
    } else if (button == "right") {
      PostTray(WM_RBUTTONDOWN);
      PostTray(WM_RBUTTONUP);
    } else {
      PostTray(WM_LBUTTONDBLCLK);
    }
  } else if (command == "menu" && argc >= 3) {
    for (int i = argc > 3 ? std::atoi(argv[3]) : 1; i > 0; --i) {
      PickMenuItem(std::atoi(argv[2]));
      Sleep(20);  // the picked command runs once the menu's loop has ended
    }
  } else if (command == "launch" && argc >= 3) {
    LaunchToTray(argv[2], argc > 3 ? argv[3] : "");
  } else if (command == "pid" && argc >= 3) {  // the process of a window
    std::printf("%lu\n", static_cast<unsigned long>(WindowProcess(Handle(argv[2]))));
  } else if (command == "kill" && argc >= 3) {
    KillProcess(static_cast<DWORD>(Number(argv[2])));
  } else if (command == "modules" && argc >= 3) {
    PrintModules(static_cast<DWORD>(Number(argv[2])));
  } else if (command == "trayicons") {
    std::printf("%d\n", TrayToolCount());
  } else if (command == "procstat" && argc >= 3) {
    ProcessStatistics(static_cast<DWORD>(Number(argv[2])));
  } else if (command == "box") {
    AnswerMessageBox(Seconds(argc, argv, 2, 10));
  } else if (command == "nobox") {
    if (WaitFor(Seconds(argc, argv, 2, 2), [] { return FindMessageBox() != nullptr; })) Fail("a message box showed");
  } else if (command == "tooltip") {
    std::string tips;
    EnumWindows(CollectToolTips, reinterpret_cast<LPARAM>(&tips));
    std::printf("%s", tips.c_str());
  } else if (command == "waittip" && argc >= 3) {
    // For timings: "ready" once watching, "seen" (or "late") when the tray
    // shows argv[2], checked every millisecond or so.
    std::printf("ready\n");
    std::fflush(stdout);
    const std::string wanted = "\n" + std::string(argv[2]) + "\n";
    const bool seen = WaitForEvery(Seconds(argc, argv, 3, 10), 1, [&] {
      std::string tips = "\n";
      EnumWindows(CollectToolTips, reinterpret_cast<LPARAM>(&tips));
      return tips.find(wanted) != std::string::npos;
    });
    std::printf(seen ? "seen\n" : "late\n");
  } else if (command == "pixel" && argc >= 4) {
    HDC screen = GetDC(nullptr);
    const COLORREF c = GetPixel(screen, std::atoi(argv[2]), std::atoi(argv[3]));
    ReleaseDC(nullptr, screen);
    std::printf("%02X%02X%02X\n", GetRValue(c), GetGValue(c), GetBValue(c));
  } else if (command == "regset" && argc >= 7) {
    RegSet(argv);
  } else if (command == "regget" && argc >= 5) {
    RegGet(argv);
  } else if (command == "items" && argc >= 3) {
    PrintItems(Handle(argv[2]));
  } else if (command == "seal" && argc >= 4) {
    PrintSealed(argv[2], argv[3]);
  } else if (command == "trustca" && argc >= 3) {
    if (!buzonix::testing::AddToRootStore(argv[2])) Fail("the CA was not added");
  } else if (command == "reglock" && argc >= 5) {
    RegLock(argv);
  } else if (command == "regdel" && argc >= 4) {
    RegDel(argc, argv);
  } else {
    Fail("unknown command or missing arguments");
  }
  return 0;
}
