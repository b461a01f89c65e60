// The load and the save over the real registry, as the Windows program runs
// them. Each test starts from a store without HKCU\Software\Buzonix and
// without the Run entry, and checks what landed through advapi32 directly.
#ifdef _WIN32

#include <windows.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "config/RecordingHost.h"
#include "config/SettingsStoreContract.h"
#include "config/scramble.h"
#include "config/settings.h"
#include "win/Registry_win.h"
#include "win/SecretSealer_win.h"

namespace buzonix {
namespace {

std::wstring Widened(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                         wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(length));
  return wide;
}

// A non-empty text is written with its length as the size; the registry
// counts the terminating zero that follows it in memory, as NT always has.
std::wstring StoredForm(const std::string& text) {
  return text.empty() ? std::wstring() : Widened(text) + L'\0';
}

using testing::kFirstRunCalls;
using testing::NormalStartCalls;
using testing::RecordingHost;

constexpr char kStore[] = "Software\\Buzonix";
constexpr char kVersion[] = "Software\\Buzonix\\Version";
constexpr char kConfig[] = "Software\\Buzonix\\Configuracion";
constexpr char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunValue[] = "Buzonix Electronico";

// A value exactly as the registry holds it: read through the wide-character
// call, which reports the stored size as it is (the ANSI call adds a
// terminating zero to the data it returns when there is room for one).
struct RawValue {
  DWORD type;
  std::wstring data;
};

std::optional<RawValue> RawQuery(HKEY root, const char* path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
  RawValue value{REG_NONE, std::wstring(1024, L'\0')};
  DWORD size = static_cast<DWORD>(value.data.size() * sizeof(wchar_t));
  const LONG status = RegQueryValueExW(key, Widened(name).c_str(), nullptr, &value.type,
                                       reinterpret_cast<BYTE*>(value.data.data()), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  value.data.resize(size / sizeof(wchar_t));
  return value;
}

void RawSet(HKEY root, const char* path, const char* name, DWORD type, const std::string& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const LONG status = RegSetValueExA(key, name, 0, type,
                                     reinterpret_cast<const BYTE*>(data.data()),
                                     static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  ASSERT_EQ(status, ERROR_SUCCESS);
}

bool KeyExists(HKEY root, const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// Deletes a key with everything below it.
void DeleteTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  char child[256];
  DWORD length = sizeof child;
  while (RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS) {
    DeleteTree(key, child);
    length = sizeof child;
  }
  RegCloseKey(key);
  RegDeleteKeyA(root, path.c_str());
}

class WindowsSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(HKEY_CURRENT_USER, kStore);
    HKEY run = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRun, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
      RegDeleteValueA(run, kRunValue);
      RegCloseKey(run);
    }
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kStore));
  }
  void Load() {
    RecordingHost recorder(ProgramFullPath());
    LoadSettings(registry, settings, recorder);
    calls = recorder.calls;
  }

  Win32Registry registry;
  Settings settings;
  std::vector<std::string> calls;
};

TEST_F(WindowsSettings, ProgramPathIsTheModuleFileName) {
  const std::string path = ProgramFullPath();
  ASSERT_GT(path.size(), 3u);
  EXPECT_EQ(path.substr(1, 2), ":\\");
  EXPECT_EQ(path.find('"'), std::string::npos);
  EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WindowsSettings, FirstRunWritesTheRunEntryAndNoVersion) {
  Load();
  EXPECT_EQ(calls, kFirstRunCalls);
  EXPECT_TRUE(settings.EjecutarSiempre);
  const auto run = RawQuery(HKEY_LOCAL_MACHINE, kRun, kRunValue);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(run->data, StoredForm(ProgramFullPath()));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kStore));
  EXPECT_FALSE(RawQuery(HKEY_CURRENT_USER, kVersion, "Numero"));
}

TEST_F(WindowsSettings, MigrationScramblesThePlainPassword) {
  RawSet(HKEY_CURRENT_USER, kVersion, "Numero", REG_SZ, std::string("1.00\0", 5));
  RawSet(HKEY_CURRENT_USER, kConfig, "clave", REG_SZ, std::string("vieja\0", 6));
  Load();
  EXPECT_EQ(calls, NormalStartCalls(60000));
  EXPECT_EQ(settings.Clave, "vieja");
  const auto numero = RawQuery(HKEY_CURRENT_USER, kVersion, "Numero");
  ASSERT_TRUE(numero);
  EXPECT_EQ(numero->data, StoredForm("1.01"));
  EXPECT_FALSE(RawQuery(HKEY_CURRENT_USER, kConfig, "clave"));
  const auto codigo = RawQuery(HKEY_CURRENT_USER, kConfig, "Codigo");
  ASSERT_TRUE(codigo);
  EXPECT_EQ(codigo->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(codigo->data, StoredForm("3206291F2C"));
}

TEST_F(WindowsSettings, SavedValuesHoldTheTextAndAnEmptyPasswordIsEmpty) {
  settings = testing::SettingsOf("pop.ejemplo.es", "Jos\xE9", "", "720", "Beep", "Si", false, "1.01");
  EXPECT_FALSE(RegistryStore(registry).Save(settings, ProgramFullPath()));
  const auto host = RawQuery(HKEY_CURRENT_USER, kConfig, "Host");
  ASSERT_TRUE(host);
  EXPECT_EQ(host->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(host->data, StoredForm("pop.ejemplo.es"));
  EXPECT_EQ(RawQuery(HKEY_CURRENT_USER, kConfig, "usuario")->data, StoredForm("Jos\xE9"));
  const auto codigo = RawQuery(HKEY_CURRENT_USER, kConfig, "Codigo");
  ASSERT_TRUE(codigo);
  EXPECT_EQ(codigo->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(codigo->data.size(), 0u);

  settings = Settings{};
  Load();
  EXPECT_EQ(settings.Clave, "");
  EXPECT_EQ(settings.Usuario, "Jos\xE9");
  EXPECT_EQ(calls, NormalStartCalls(720u * 60000));
}

TEST_F(WindowsSettings, RunEntryIsComparedByteForByte) {
  RawSet(HKEY_CURRENT_USER, kVersion, "Numero", REG_SZ, "1.01");
  std::string otherCase = ProgramFullPath();
  for (char& c : otherCase) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  ASSERT_NE(otherCase, ProgramFullPath());
  RawSet(HKEY_LOCAL_MACHINE, kRun, kRunValue, REG_SZ, otherCase);
  Load();
  EXPECT_FALSE(settings.EjecutarSiempre);

  RawSet(HKEY_LOCAL_MACHINE, kRun, kRunValue, REG_SZ, ProgramFullPath() + '\0');
  Load();
  EXPECT_TRUE(settings.EjecutarSiempre);

  settings.EjecutarSiempre = false;
  EXPECT_FALSE(RegistryStore(registry).Save(settings, ProgramFullPath()));
  EXPECT_FALSE(RawQuery(HKEY_LOCAL_MACHINE, kRun, kRunValue));
}

TEST_F(WindowsSettings, ValueOfAnotherTypeIsAnErrorOutsideTheLoad) {
  RawSet(HKEY_CURRENT_USER, kVersion, "Numero", REG_SZ, "1.01");
  RawSet(HKEY_CURRENT_USER, kConfig, "frecuencia", REG_DWORD, std::string("\x05\0\0\0", 4));
  RawSet(HKEY_CURRENT_USER, kConfig, "Animacion", REG_EXPAND_SZ, std::string("Si\0", 3));
  const OrFailure<std::string> read = LeeClave(registry, kStore, "Configuracion", "frecuencia");
  ASSERT_TRUE(read.Failed());
  EXPECT_EQ(read.Why().message, "Invalid data type for 'frecuencia'");
  Load();
  EXPECT_EQ(settings.Frecuencia, "Error");
  EXPECT_EQ(settings.Animacion, "Si");
  EXPECT_EQ(calls, NormalStartCalls(60000));
}

constexpr wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Buzonix";

void WideSet(HKEY root, const wchar_t* path, const wchar_t* name, const std::wstring& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  const LONG status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  ASSERT_EQ(status, ERROR_SUCCESS);
}

std::wstring WideGet(HKEY root, const wchar_t* path, const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  std::wstring text(1024, L'\0');
  DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  const LONG status = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return {};
  text.resize(size / sizeof(wchar_t));
  return text.substr(0, text.find(L'\0'));
}

// A copy the installer put in place, as the registry of a real Windows holds it.
class InstalledWindowsSettings : public WindowsSettings {
 protected:
  void SetUp() override {
    WindowsSettings::SetUp();
    CleanUp();
  }
  void TearDown() override { CleanUp(); }
  void CleanUp() {
    RegDeleteKeyW(HKEY_CURRENT_USER, kUninstall);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      HKEY run = nullptr;
      if (RegOpenKeyExA(root, kRun, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, kRunValue);
        RegCloseKey(run);
      }
    }
    if (!folder_.empty()) {
      DeleteFileW((folder_ + L"\\Buzonix.exe").c_str());
      RemoveDirectoryW(folder_.c_str());
    }
  }
  // A folder of the temporary one with a Cyrillic name, holding a program file.
  std::wstring MakeCyrillicFolder() {
    wchar_t temp[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp, length) + L"\x041F\x0440\x043E\x0433\x0440\x0430\x043C\x043C\x044B";
    CreateDirectoryW(folder_.c_str(), nullptr);
    HANDLE file = CreateFileW((folder_ + L"\\Buzonix.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(file);
    return folder_;
  }

  std::wstring folder_;
};

TEST_F(InstalledWindowsSettings, TheInstalledCopyKeepsItsEntryInTheUsersRunKeyOnly) {
  const std::wstring program = WideProgramPath();
  WideSet(HKEY_CURRENT_USER, kUninstall, L"InstallLocation", program.substr(0, program.rfind(L'\\')));
  RawSet(HKEY_LOCAL_MACHINE, kRun, kRunValue, REG_SZ, "C:\\viejo\\Buzonix.exe");
  EXPECT_EQ(RunEntryPlaceFor(registry, ProgramFullPath()), RunEntryPlace::kUserOnly);
  settings.EjecutarSiempre = true;
  EXPECT_FALSE(RegistryStore(registry).Save(settings, ProgramFullPath()));
  EXPECT_EQ(WideGet(HKEY_CURRENT_USER, Widened(kRun).c_str(), Widened(kRunValue).c_str()), program);
  EXPECT_FALSE(RawQuery(HKEY_LOCAL_MACHINE, kRun, kRunValue));
}

TEST_F(InstalledWindowsSettings, AFolderNameOutsideWindows1252IsRecognisedAndItsEntryKept) {
  const std::wstring folder = MakeCyrillicFolder();
  const std::wstring program = folder + L"\\Buzonix.exe";
  const std::string spelled = WesternPath(program);
  ASSERT_EQ(spelled.find('?'), std::string::npos) << spelled;
  // As the installer writes them: the long path, in the registry's UTF-16.
  WideSet(HKEY_CURRENT_USER, kUninstall, L"InstallLocation", folder);
  WideSet(HKEY_CURRENT_USER, Widened(kRun).c_str(), Widened(kRunValue).c_str(), program);
  RawSet(HKEY_CURRENT_USER, kVersion, "Numero", REG_SZ, "1.01");

  EXPECT_EQ(RunEntryPlaceFor(registry, spelled), RunEntryPlace::kUserOnly);
  EXPECT_FALSE(RegistryStore(registry).Read(settings, spelled));
  EXPECT_TRUE(settings.EjecutarSiempre);
  EXPECT_FALSE(RegistryStore(registry).Save(settings, spelled));
  EXPECT_EQ(WideGet(HKEY_CURRENT_USER, Widened(kRun).c_str(), Widened(kRunValue).c_str()), program);
  EXPECT_FALSE(RawQuery(HKEY_LOCAL_MACHINE, kRun, kRunValue));
}

// The registry store over the real registry, from an empty store.
struct Win32RegistryPlace {
  Win32RegistryPlace() {
    DeleteTree(HKEY_CURRENT_USER, kStore);
    HKEY run = nullptr;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      if (RegOpenKeyExA(root, kRun, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, kRunValue);
        RegCloseKey(run);
      }
    }
  }
  Win32Registry registry;
  DpapiSealer sealer;  // the program's own: the token is sealed as the program seals it
  RegistryStore store{registry, sealer};
  RegistryStore reopened{registry, sealer};
  SettingsStore& Store() { return store; }
  SettingsStore& Reopened() { return reopened; }
  std::string ProgramPath() { return ProgramFullPath(); }
};
}  // namespace

namespace testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32Registry, SettingsStoreContract, ::testing::Types<Win32RegistryPlace>);
}  // namespace testing
}  // namespace buzonix

#endif  // _WIN32
