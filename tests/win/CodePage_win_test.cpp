// Texts at the Windows boundary under a system code page other than
// Windows-1252: the menu, the dialog, the help, the registry and typed
// characters that Windows-1252 cannot hold. Run in a Cyrillic locale.
#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "config/RecordingConfHost.h"
#include "config/settings.h"
#include "text/HelpTopics.h"
#include "support/PumpUntil_win.h"
#include "win/HelpWindow_win.h"
#include "win/PopupMenu_win.h"
#include "win/Registry_win.h"
#include "win/Text_win.h"
#include "win/configur_win.h"

namespace buzonix {
namespace {

using testing::PumpUntil;
using testing::RecordingConfHost;

constexpr wchar_t kTestKey[] = L"Software\\Buzonix\\CodePageTest";

std::wstring Text(HWND window) { return WideWindowText(window); }

class CodePage : public ::testing::Test {
 protected:
  // Under Windows-1252 itself these tests prove nothing: the run in a
  // Cyrillic locale insists on another code page, the others skip.
  void SetUp() override {
    if (std::getenv("BUZONIX_FOREIGN_CODE_PAGE") != nullptr)
      ASSERT_NE(GetACP(), 1252u) << "the locale's code page is Windows-1252";
    else if (GetACP() == 1252)
      GTEST_SKIP() << "needs a system code page other than Windows-1252";
  }
};

TEST_F(CodePage, EveryByteGoesAcrossAndBack) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Western(Wide(all)), all);
  EXPECT_EQ(Wide("Configuraci\xF3n \x80 \x95"), L"Configuraci\u00F3n \u20AC \u2022");
  EXPECT_TRUE(FitsWestern(L"Jos\u00E9 \u20AC"));
  EXPECT_FALSE(FitsWestern(L"\u043F\u043E\u0447\u0442\u0430"));
  EXPECT_EQ(Western(L"a\u043Fb"), "a?b");
}

TEST_F(CodePage, MenuItemsReadRight) {
  WinPopupMenu menu;
  menu.AddItem("&Configuraci\xF3n", [] {});
  wchar_t text[64] = {};
  GetMenuStringW(menu.Handle(), 1, text, 64, MF_BYCOMMAND);
  EXPECT_STREQ(text, L"&Configuraci\u00F3n");
}

TEST_F(CodePage, RegistryTextsReadBackByteForByte) {
  Win32Registry registry;
  const KeyHandle root = registry.Root(RegistryRoot::kCurrentUser);
  {
    RegKey key = registry.CreateKey(root, "Software\\Buzonix\\CodePageTest", KeyAccess::kWrite);
    ASSERT_TRUE(key.IsOpen());
    ASSERT_TRUE(registry.SetTextValue(key.Handle(), "usuario", "Jos\xE9 \x80"));
  }
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  wchar_t stored[32] = {};
  DWORD size = sizeof stored;
  ASSERT_EQ(RegQueryValueExW(key, L"usuario", nullptr, nullptr, reinterpret_cast<BYTE*>(stored), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(stored, L"Jos\u00E9 \u20AC");
  // As an earlier version left it on a Western system.
  const wchar_t earlier[] = L"Mu\u00F1oz";
  RegSetValueExW(key, L"Host", 0, REG_SZ, reinterpret_cast<const BYTE*>(earlier), sizeof earlier);
  RegCloseKey(key);
  RegistryValue value;
  RegKey opened = registry.OpenKey(root, "Software\\Buzonix\\CodePageTest", KeyAccess::kRead);
  ASSERT_EQ(registry.QueryValue(opened.Handle(), "Host", value), QueryResult::kFound);
  EXPECT_EQ(TextOfValueData(value.data), "Mu\xF1oz");
  opened.Close();
  RegDeleteKeyW(HKEY_CURRENT_USER, kTestKey);
}

class CodePageDialog : public CodePage {
 protected:
  void SetUp() override {
    CodePage::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    owner = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"owner", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
    TConf::Open(unit, host, owner, GetModuleHandleW(nullptr));
    form = TConf::Current()->Handle();
    PumpUntil([] { return false; }, 100);
  }
  void TearDown() override {
    TConf::CloseAll();
    HelpWindow::CloseAll();
    DestroyWindow(owner);
  }

  Pop3Unit unit;
  RecordingConfHost host;
  HWND owner = nullptr;
  HWND form = nullptr;
};

BOOL CALLBACK CollectText(HWND window, LPARAM texts) {
  *reinterpret_cast<std::wstring*>(texts) += Text(window) + L"|";
  return TRUE;
}

TEST_F(CodePageDialog, DialogAndHelpReadRight) {
  EXPECT_EQ(Text(form), L"Buzonix Electr\u00F3nico");
  std::wstring texts;
  EnumChildWindows(form, &CollectText, reinterpret_cast<LPARAM>(&texts));
  EXPECT_NE(texts.find(L"|Frecuencia de Comprobaci\u00F3n de Correo:|"), std::wstring::npos);
  EXPECT_NE(texts.find(L"|Animaci\u00F3n|"), std::wstring::npos);
  EXPECT_EQ(SendMessageW(TConf::Current()->Control(ConfControl::dclave), EM_GETPASSWORDCHAR, 0, 0), 0x2022);

  HelpWindow::ShowTopic(14, owner);
  const HWND help = FindWindowW(L"BuzonixHelp", nullptr);
  ASSERT_NE(help, nullptr);
  std::wstring shown;
  EnumChildWindows(help, &CollectText, reinterpret_cast<LPARAM>(&shown));
  EXPECT_EQ(shown, Wide(FindHelpTopic(14).text) + L"|");
  EXPECT_EQ(Text(help), L"Ayuda - " + Wide(FindHelpTopic(14).title));
}

// Presses OK in the message box the dialog raises, and keeps its text.
std::wstring g_boxText;
void CALLBACK AnswerBox(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND box = FindWindowW(L"#32770", nullptr);
  if (box == nullptr) return;
  KillTimer(nullptr, timer);
  wchar_t text[256] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 256);
  g_boxText = text;
  PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

TEST_F(CodePageDialog, TypedTextWindows1252CannotHoldIsRefusedWithAMessage) {
  TConf& conf = *TConf::Current();
  SetWindowTextW(conf.Control(ConfControl::dHost), L"pop.ejemplo.es");
  SetWindowTextW(conf.Control(ConfControl::dusuario), L"\u0418\u0432\u0430\u043D");  // Cyrillic
  g_boxText.clear();
  SetTimer(nullptr, 0, 50, &AnswerBox);
  PostMessageW(conf.Control(ConfControl::BitBtn1), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([] { return !g_boxText.empty(); }));
  EXPECT_NE(g_boxText.find(L"Usuario"), std::wstring::npos);
  EXPECT_TRUE(host.saved.empty());
  EXPECT_EQ(TConf::Current(), &conf);
  EXPECT_EQ(GetFocus(), conf.Control(ConfControl::dusuario));

  // Western letters beyond ASCII are taken, as Windows-1252.
  SetWindowTextW(conf.Control(ConfControl::dusuario), L"Jos\u00E9");
  PostMessageW(conf.Control(ConfControl::BitBtn1), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !host.saved.empty(); }));
  EXPECT_EQ(host.saved[0].Usuario, "Jos\xE9");
}

}  // namespace
}  // namespace buzonix

#endif  // _WIN32
