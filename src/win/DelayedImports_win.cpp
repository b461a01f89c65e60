// Winsock and the common controls are bound on their first call (the lists in
// imports/), so that a start reaches its tray icon without loading them, and
// only from the system folder.
// Compiled into each program, as the loader's hooks must be.
#include <windows.h>
#include <delayimp.h>

#include <string>

#include "win/SystemLibrary_win.h"
#include "win/WinWindow.h"

namespace {

FARPROC WINAPI LoadDelayedLibrary(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary) return nullptr;
  const std::string name = info->szDll;  // the names in imports/ are ASCII
  const HMODULE module =
      buzonix::LoadFromSystemFolder(std::wstring(name.begin(), name.end()).c_str(), buzonix::WithoutSearchFlags::kLoaderSearch);
  if (module == nullptr) buzonix::EndOnFailedCall(("LoadLibrary " + name).c_str());
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(module));
}

// Without this hook the loader raises an exception, which ends the program
// with no word.
FARPROC WINAPI EndOnFailedImport(unsigned notification, PDelayLoadInfo info) {
  std::string call = notification == dliFailLoadLib ? "LoadLibrary " : "GetProcAddress ";
  call += info->szDll;
  if (notification == dliFailGetProc && info->dlp.fImportByName) call += std::string(" ") + info->dlp.szProcName;
  SetLastError(info->dwLastError);
  buzonix::EndOnFailedCall(call.c_str());
}

}  // namespace

extern "C" {
PfnDliHook __pfnDliNotifyHook2 = LoadDelayedLibrary;
PfnDliHook __pfnDliFailureHook2 = EndOnFailedImport;
}
