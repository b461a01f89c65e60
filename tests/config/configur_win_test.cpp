// The configuration dialog as a real window, driven with window messages and
// keys under Wine, with a recording host in place of the program.
#ifdef _WIN32

#include <windows.h>

#include "support/PumpUntil_win.h"
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "config/RecordingConfHost.h"
#include "win/MessagePump_win.h"
#include "win/configur_win.h"

namespace buzonix {
namespace {

using testing::RecordingConfHost;

void Pump(DWORD milliseconds = 50) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (PreTranslateMessage(msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(5);
  } while (GetTickCount() - start < milliseconds);
}

using testing::PumpUntil;

struct IdSearch {
  int id;
  HWND found;
};

BOOL CALLBACK MatchId(HWND hwnd, LPARAM data) {
  auto* search = reinterpret_cast<IdSearch*>(data);
  if (GetWindowLongPtrA(hwnd, GWLP_ID) != search->id) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND FindById(HWND parent, int id) {
  IdSearch search{id, nullptr};
  EnumChildWindows(parent, &MatchId, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string Text(HWND hwnd) {
  char buffer[1024] = {};
  SendMessageA(hwnd, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

void Type(HWND hwnd, const std::string& text) {
  for (char c : text) PostMessageA(hwnd, WM_CHAR, static_cast<unsigned char>(c), 1);
  Pump(20);
}

void PressKey(HWND hwnd, WPARAM key) {
  PostMessageA(hwnd, WM_KEYDOWN, key, 1);
  PostMessageA(hwnd, WM_KEYUP, key, 0xC0000001);
  Pump(30);
}

class ConfWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    owner = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "owner", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner, nullptr);
  }
  void TearDown() override {
    TConf::CloseAll();
    DestroyWindow(owner);
    Pump(10);
  }

  void OpenDialog() { OpenDialog(host); }
  void OpenDialog(ConfHost& with) {
    TConf::Open(unit, with, owner, GetModuleHandleA(nullptr));
    Pump(100);
    form = FindWindowA("TConf", "Buzonix Electr\xF3nico");
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(TConf::Current()->Handle(), form);
  }
  HWND Find(ConfControl control) { return FindById(form, ConfControlId(control)); }
  bool Released() const { return TConf::Current() == nullptr && !IsWindow(form); }
  bool Open() const { return (unit.VentanasAbiertas & kConfigDialogOpen) != 0; }

  Pop3Unit unit;
  RecordingConfHost host;
  HWND owner = nullptr;
  HWND form = nullptr;
};

TEST_F(ConfWindow, OpensOwnedWithTheFocusInTheServerField) {
  OpenDialog();
  EXPECT_TRUE(Open());
  EXPECT_TRUE(IsWindowVisible(form));
  EXPECT_EQ(GetWindow(form, GW_OWNER), owner);  // no taskbar button of its own
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(form, GWL_STYLE));
  EXPECT_NE(style & WS_SYSMENU, 0u);
  EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
  EXPECT_EQ(GetFocus(), Find(ConfControl::dHost));
  EXPECT_EQ(TConf::Current()->ActivePage(), 0);
  // Client area 481 by 441 at 120 pixels per inch, scaled.
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  RECT client;
  GetClientRect(form, &client);
  EXPECT_EQ(client.right, MulDiv(481, dpi, 120));
  EXPECT_EQ(client.bottom, MulDiv(441, dpi, 120));
}

TEST_F(ConfWindow, FieldsHaveTheirLimitsBulletAndRange) {
  OpenDialog();
  EXPECT_EQ(SendMessageA(Find(ConfControl::dHost), EM_GETLIMITTEXT, 0, 0), 255);
  EXPECT_EQ(SendMessageA(Find(ConfControl::dusuario), EM_GETLIMITTEXT, 0, 0), 255);
  EXPECT_EQ(SendMessageA(Find(ConfControl::dclave), EM_GETLIMITTEXT, 0, 0), 128);
  EXPECT_EQ(SendMessageA(Find(ConfControl::dcarpeta), EM_GETLIMITTEXT, 0, 0), 255);
  // The bullet of the ANSI code page (Wine hands it back sign-extended).
  EXPECT_EQ(static_cast<unsigned char>(SendMessageA(Find(ConfControl::dclave), EM_GETPASSWORDCHAR, 0, 0)), 0x95);
  int low = 0, high = 0;
  HWND arrows = nullptr;
  for (HWND child = GetWindow(Find(ConfControl::Panel1), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, UPDOWN_CLASSA) == 0) arrows = child;
  }
  ASSERT_NE(arrows, nullptr);
  SendMessageA(arrows, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
  EXPECT_EQ(low, 1);
  EXPECT_EQ(high, 720);
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(arrows, UDM_GETBUDDY, 0, 0)), Find(ConfControl::dfrecuencia));
  // An e-mail address of 255 characters and a 128-character password go in
  // whole; typing on stops there.
  const std::string address = std::string(243, 'a') + "@example.org";
  const std::string password = std::string(120, 'p') + "abcdefgh";
  Type(Find(ConfControl::dusuario), address + "zz");
  Type(Find(ConfControl::dclave), password + "zz");
  EXPECT_EQ(Text(Find(ConfControl::dusuario)), address);
  EXPECT_EQ(Text(Find(ConfControl::dclave)), password);
}

TEST_F(ConfWindow, CreateFillsTheFieldsFromTheSettings) {
  unit.settings.Host = "pop.example.org";
  unit.settings.Usuario = "ana";
  unit.settings.Clave = "pw";
  unit.settings.Frecuencia = "45";
  unit.settings.Sonido = "Beep";
  unit.settings.Animacion = "No";
  OpenDialog();
  EXPECT_EQ(Text(Find(ConfControl::dHost)), "pop.example.org");
  EXPECT_EQ(Text(Find(ConfControl::dusuario)), "ana");
  EXPECT_EQ(Text(Find(ConfControl::dclave)), "pw");
  EXPECT_EQ(Text(Find(ConfControl::dfrecuencia)), "45");
  EXPECT_EQ(SendMessageA(Find(ConfControl::AnimaSobre), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageA(Find(ConfControl::CheckBox1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageA(Find(ConfControl::CheckBox2), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(Text(FindById(form, kTituloId)), "Buzonix Electr\xF3nico versi\xF3n 1.01");
}

TEST_F(ConfWindow, AcceptSavesWhatWasTypedAndReleases) {
  unit.settings.Sonido = "Beep";
  unit.settings.Animacion = "Si";
  unit.settings.EjecutarSiempre = true;
  host.toolTip = "Error en Conexion";
  OpenDialog();
  SendMessageA(Find(ConfControl::dHost), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("pop.example.org"));
  Type(Find(ConfControl::dusuario), "ana");
  Type(Find(ConfControl::dclave), "s3cr3t");
  SendMessageA(Find(ConfControl::dfrecuencia), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("720"));
  SendMessageA(Find(ConfControl::CheckBox1), BM_CLICK, 0, 0);  // unchecks "Ejecutar siempre"
  PostMessageA(Find(ConfControl::BitBtn1), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return Released(); }));
  ASSERT_EQ(host.saved.size(), 1u);
  const Settings& saved = host.saved[0];
  EXPECT_EQ(saved.Host, "pop.example.org");
  EXPECT_EQ(saved.Usuario, "ana");
  EXPECT_EQ(saved.Clave, "s3cr3t");
  EXPECT_EQ(saved.Frecuencia, "720");
  EXPECT_EQ(saved.Sonido, "Beep");
  EXPECT_EQ(saved.Animacion, "Si");
  EXPECT_FALSE(saved.EjecutarSiempre);
  EXPECT_EQ(host.interval, 720u * 60000u);
  EXPECT_TRUE(host.timerEnabled);
  EXPECT_EQ(host.toolTip, "No Hay Mensajes");
  EXPECT_FALSE(Open());
}

TEST_F(ConfWindow, EnterInTheSpinFieldAcceptsWithoutClamping) {
  OpenDialog();
  SendMessageA(Find(ConfControl::dHost), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("h"));
  SendMessageA(Find(ConfControl::dusuario), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("u"));
  const HWND spin = Find(ConfControl::dfrecuencia);
  SetFocus(spin);
  SendMessageA(spin, EM_SETSEL, 0, -1);
  Type(spin, "900");
  EXPECT_EQ(Text(spin), "900");
  PressKey(spin, VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] { return Released(); }));
  ASSERT_EQ(host.saved.size(), 1u);
  EXPECT_EQ(host.saved[0].Frecuencia, "900");
  EXPECT_EQ(host.interval, 900u * 60000u);
}

TEST_F(ConfWindow, LeavingTheSpinFieldBringsTheValueIntoRange) {
  OpenDialog();
  const HWND spin = Find(ConfControl::dfrecuencia);
  SetFocus(spin);
  SendMessageA(spin, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("900"));
  SetFocus(Find(ConfControl::dHost));
  Pump(20);
  EXPECT_EQ(Text(spin), "720");
  SetFocus(spin);
  SendMessageA(spin, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("0"));
  PressKey(spin, VK_TAB);  // Tab moves on to "Seguridad"
  EXPECT_EQ(GetFocus(), Find(ConfControl::dseguridad));
  EXPECT_EQ(Text(spin), "1");
}

TEST_F(ConfWindow, SpinFieldRefusesLettersAndTakesDigitsAndSigns) {
  OpenDialog();
  const HWND spin = Find(ConfControl::dfrecuencia);
  SetFocus(spin);
  SendMessageA(spin, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  Type(spin, "a");
  EXPECT_EQ(Text(spin), "");
  Type(spin, "-1x2Z ");
  EXPECT_EQ(Text(spin), "-12");
  Type(spin, "\b\b\b+3");
  EXPECT_EQ(Text(spin), "+3");
}

TEST_F(ConfWindow, EmptyServerKeepsTheDialogWithTheTimerDisabled) {
  host.timerEnabled = true;
  OpenDialog();
  SendMessageA(Find(ConfControl::dusuario), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("ana"));
  PressKey(Find(ConfControl::dusuario), VK_RETURN);
  Pump(50);
  EXPECT_TRUE(host.saved.empty());
  EXPECT_FALSE(host.timerEnabled);
  EXPECT_TRUE(Open());
  EXPECT_NE(TConf::Current(), nullptr);
  EXPECT_TRUE(IsWindowVisible(form));
  EXPECT_EQ(unit.settings.Usuario, "ana");
}

TEST_F(ConfWindow, SaveErrorIsShownAndKeepsTheDialog) {
  host.saveError = "Failed to create key Run";
  OpenDialog();
  SendMessageA(Find(ConfControl::dHost), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("h"));
  SendMessageA(Find(ConfControl::dusuario), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("u"));
  PostMessageA(Find(ConfControl::BitBtn1), BM_CLICK, 0, 0);
  Pump(100);
  EXPECT_EQ(host.calls.back(), "error Failed to create key Run");
  EXPECT_TRUE(Open());
  EXPECT_NE(TConf::Current(), nullptr);
  EXPECT_TRUE(IsWindow(form));
}

TEST_F(ConfWindow, EscapeActsAsCancelar) {
  unit.settings.Host = "old";
  OpenDialog();
  SendMessageA(Find(ConfControl::dHost), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("new"));
  PressKey(Find(ConfControl::dHost), VK_ESCAPE);
  ASSERT_TRUE(PumpUntil([&] { return Released(); }));
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(unit.settings.Host, "old");
  EXPECT_FALSE(Open());
}

TEST_F(ConfWindow, CloseBoxActsAsCancelar) {
  OpenDialog();
  SendMessageA(Find(ConfControl::dHost), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("new"));
  PostMessageA(form, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(PumpUntil([&] { return Released(); }));
  EXPECT_TRUE(host.calls.empty());
  EXPECT_EQ(unit.settings.Host, "");
  EXPECT_FALSE(Open());
}

TEST_F(ConfWindow, CancelarButtonAndInformationPageButtonRelease) {
  OpenDialog();
  PostMessageA(Find(ConfControl::BitBtn2), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return Released(); }));
  EXPECT_FALSE(Open());

  OpenDialog();
  const HWND tabs = Find(ConfControl::PageControl1);
  SetFocus(tabs);
  PressKey(tabs, VK_RIGHT);
  EXPECT_EQ(TConf::Current()->ActivePage(), 1);
  EXPECT_TRUE(IsWindowVisible(Find(ConfControl::Button1)));
  EXPECT_FALSE(IsWindowVisible(Find(ConfControl::BitBtn1)));
  // Escape does nothing on the information page.
  PressKey(tabs, VK_ESCAPE);
  EXPECT_NE(TConf::Current(), nullptr);
  PostMessageA(Find(ConfControl::Button1), BM_CLICK, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return Released(); }));
  EXPECT_FALSE(Open());
  EXPECT_TRUE(host.calls.empty());
}

TEST_F(ConfWindow, F1OpensTheTopicOfTheFocusedControlOrAroundIt) {
  OpenDialog();
  PressKey(Find(ConfControl::dclave), VK_F1);
  SetFocus(Find(ConfControl::CheckBox2));
  PressKey(Find(ConfControl::CheckBox2), VK_F1);
  const HWND tabs = Find(ConfControl::PageControl1);
  SetFocus(tabs);
  PressKey(tabs, VK_F1);
  PressKey(tabs, VK_RIGHT);
  SetFocus(Find(ConfControl::Button1));
  PressKey(Find(ConfControl::Button1), VK_F1);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"help 14", "help 14", "help 13", "help 1"}));
}

// The limits stop typing only: a longer stored value is shown and saved as
// it was, never cut to the field's size.
TEST_F(ConfWindow, StoredValuesLongerThanTheLimitsAreShownAndSavedWhole) {
  const std::string longHost = "pop." + std::string(292, 'h') + ".org";
  const std::string longUser = "usuario.de.correo.con.\xF1." + std::string(260, 'l');
  const std::string longPassword = "clave-larga-\xE9!" + std::string(130, 'c');
  ASSERT_EQ(longHost.size(), 300u);
  ASSERT_GT(longPassword.size(), 128u);
  unit.settings.Host = longHost;
  unit.settings.Usuario = longUser;
  unit.settings.Clave = longPassword;
  OpenDialog();
  EXPECT_EQ(Text(Find(ConfControl::dHost)).size(), longHost.size());
  EXPECT_EQ(Text(Find(ConfControl::dclave)).size(), longPassword.size());
  PressKey(Find(ConfControl::dusuario), VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] { return Released(); }));
  ASSERT_EQ(host.saved.size(), 1u);
  EXPECT_EQ(host.saved[0].Host, longHost);
  EXPECT_EQ(host.saved[0].Usuario, longUser);
  EXPECT_EQ(host.saved[0].Clave, longPassword);
}

TEST_F(ConfWindow, TabFollowsTheFormsOrder) {
  unit.settings.Protocolo = "IMAP";
  OpenDialog();
  const ConfControl order[] = {ConfControl::dusuario,   ConfControl::dclave,     ConfControl::dfrecuencia,
                               ConfControl::dseguridad, ConfControl::dpuerto,    ConfControl::dprotocolo,
                               ConfControl::dcarpeta,   ConfControl::dinicio,    ConfControl::AnimaSobre,
                               ConfControl::CheckBox1,
                               ConfControl::CheckBox2,  ConfControl::BitBtn1,    ConfControl::BitBtn2,
                               ConfControl::PageControl1, ConfControl::dHost};
  for (ConfControl next : order) {
    PressKey(GetFocus(), VK_TAB);
    EXPECT_EQ(GetFocus(), Find(next)) << static_cast<int>(next);
  }
}

// Choosing the protocol moves a default port and greys the folder for POP3,
// which Tab then passes over; the accept stores both.
TEST_F(ConfWindow, TheProtocolMovesTheDefaultPortAndTheFolderFollowsIt) {
  unit.settings.Host = "h";
  unit.settings.Usuario = "u";
  unit.settings.Protocolo = "IMAP";
  unit.settings.Carpeta = "Archivo";
  unit.settings.Seguridad = "SSL/TLS";
  unit.settings.Puerto = "993";
  OpenDialog();
  const HWND protocol = Find(ConfControl::dprotocolo);
  const HWND folder = Find(ConfControl::dcarpeta);
  EXPECT_EQ(Text(protocol), "IMAP");
  EXPECT_EQ(Text(folder), "Archivo");
  EXPECT_TRUE(IsWindowEnabled(folder));
  SetFocus(protocol);
  PressKey(protocol, VK_UP);
  EXPECT_EQ(Text(protocol), "POP3");
  EXPECT_EQ(Text(Find(ConfControl::dpuerto)), "995");
  EXPECT_FALSE(IsWindowEnabled(folder));
  PressKey(protocol, VK_TAB);
  EXPECT_EQ(GetFocus(), Find(ConfControl::dinicio));
  SetFocus(protocol);
  PressKey(protocol, VK_DOWN);
  EXPECT_EQ(Text(Find(ConfControl::dpuerto)), "993");
  EXPECT_TRUE(IsWindowEnabled(folder));
  SendMessageA(folder, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Correo/Recibido"));
  PressKey(folder, VK_RETURN);
  ASSERT_TRUE(PumpUntil([&] { return Released(); }));
  ASSERT_EQ(host.saved.size(), 1u);
  EXPECT_EQ(host.saved[0].Protocolo, "IMAP");
  EXPECT_EQ(host.saved[0].Carpeta, "Correo/Recibido");
  EXPECT_EQ(host.saved[0].Puerto, "993");
}

TEST_F(ConfWindow, F1OnTheProtocolAndTheFolderOpensTheConfigurationTopic) {
  unit.settings.Protocolo = "IMAP";
  OpenDialog();
  for (ConfControl field : {ConfControl::dprotocolo, ConfControl::dcarpeta}) {
    SetFocus(Find(field));
    PressKey(Find(field), VK_F1);
  }
  EXPECT_EQ(host.calls, (std::vector<std::string>{"help 14", "help 14"}));
}

// At the smallest DPI the frequency field still shows three digits whole.
TEST_F(ConfWindow, TheFrequencyFieldShowsThreeDigitsWhole) {
  OpenDialog();
  const HWND spin = Find(ConfControl::dfrecuencia);
  RECT text{};
  SendMessageA(spin, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&text));
  const HDC dc = GetDC(spin);
  const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(spin, WM_GETFONT, 0, 0)));
  SIZE digits{};
  GetTextExtentPoint32A(dc, "720", 3, &digits);
  SelectObject(dc, old);
  ReleaseDC(spin, dc);
  EXPECT_GE(text.right - text.left, digits.cx);
  // The arrows lie beside the text, not over it.
  HWND arrows = nullptr;
  for (HWND child = GetWindow(Find(ConfControl::Panel1), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char cls[32] = {};
    GetClassNameA(child, cls, sizeof cls);
    if (lstrcmpiA(cls, UPDOWN_CLASSA) == 0) arrows = child;
  }
  ASSERT_NE(arrows, nullptr);
  RECT arrowsRect{};
  GetWindowRect(arrows, &arrowsRect);
  POINT textRight{text.left + digits.cx, 0};
  ClientToScreen(spin, &textRight);
  EXPECT_LE(textRight.x, arrowsRect.left);
}

TEST_F(ConfWindow, ErrorFrequencyIsReportedAndTheDialogStillOpens) {
  unit.settings.Host = "h";
  unit.settings.Frecuencia = "Error";
  OpenDialog();
  EXPECT_EQ(host.calls, (std::vector<std::string>{"error 'Error' is not a valid integer value"}));
  EXPECT_TRUE(IsWindowVisible(form));
  EXPECT_EQ(Text(Find(ConfControl::dHost)), "h");
  EXPECT_EQ(Text(Find(ConfControl::dfrecuencia)), "1");
  EXPECT_EQ(SendMessageA(Find(ConfControl::AnimaSobre), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageA(Find(ConfControl::CheckBox1), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageA(Find(ConfControl::CheckBox2), BM_GETCHECK, 0, 0), BST_CHECKED);
}

// Moved to a monitor of twice the DPI: every control twice as large, every
// font twice as high, at the place the system suggests.
TEST_F(ConfWindow, MovedToAMonitorOfTwiceTheDpiScalesEveryControlAndFont) {
  OpenDialog();
  const HWND field = Find(ConfControl::dHost);
  const auto fontHeight = [](HWND hwnd) {
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight;
  };
  RECT before;
  GetWindowRect(field, &before);
  const LONG heightBefore = fontHeight(field);
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  RECT suggested{20, 30, 1220, 830};
  SendMessageA(form, WM_DPICHANGED, MAKEWPARAM(2 * dpi, 2 * dpi), reinterpret_cast<LPARAM>(&suggested));
  RECT after, window;
  GetWindowRect(field, &after);
  GetWindowRect(form, &window);
  EXPECT_NEAR(after.right - after.left, 2 * (before.right - before.left), 1);
  EXPECT_NEAR(after.bottom - after.top, 2 * (before.bottom - before.top), 1);
  EXPECT_NEAR(fontHeight(field), 2 * heightBefore, 1);
  EXPECT_EQ(window.left, 20);
  EXPECT_EQ(window.right - window.left, 1200);
}

}  // namespace
}  // namespace buzonix

#endif  // _WIN32
