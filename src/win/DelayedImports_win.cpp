// Winsock is bound on its first call (the list in imports/), so that a start
// reaches its tray icon without loading it, and only from the system folder.
// Compiled into each program, as the loader's hooks must be.
#include <windows.h>
#include <delayimp.h>

#include <string>

#include "win/WinWindow.h"

namespace {

FARPROC WINAPI LoadFromSystemFolder(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary) return nullptr;
  if (HMODULE module = LoadLibraryExA(info->szDll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32))
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(module));
  // A system without the search flags refuses them: its own search then,
  // as for a DLL the program imports, with the current folder left out.
  if (GetLastError() == ERROR_INVALID_PARAMETER) return nullptr;
  buzonix::EndOnFailedCall((std::string("LoadLibrary ") + info->szDll).c_str());
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
PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;
PfnDliHook __pfnDliFailureHook2 = EndOnFailedImport;
}
