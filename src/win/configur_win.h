// TConf: the configuration dialog as a Windows window, built in code from its
// form description. Modeless, one at a time, owned by the hidden
// application window (so it has no taskbar button), released on every way out.
// Its handlers are the portable TConfLogic (config/configur.h).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "config/configur.h"
#include "state/unit.h"
#include "win/Dpi_win.h"
#include "win/MessagePump_win.h"
#include "win/WinWindow.h"

namespace buzonix {

// The window id of each control of the form (GWLP_ID), for finding them.
constexpr int ConfControlId(ConfControl control) { return 100 + static_cast<int>(control); }
inline constexpr int kTituloId = 200;

class ConfContainer;
struct ConfFonts;

class TConf final : public WinWindow, private ConfView, private KeyboardTarget {
 public:
  // Creates a new dialog, runs FormCreate and shows it with the focus in
  // dHost. A dialog still waiting for its release is destroyed first.
  static void Open(Pop3Unit& unit, ConfHost& host, HWND owner, HINSTANCE instance);
  // The open dialog, or null.
  static TConf* Current();
  // Program end: destroys the dialog at once.
  static void CloseAll();

  ~TConf() override;

  // The window of a control of the form (null for Conf itself).
  HWND Control(ConfControl control) const;
  // 0: "Configuración", 1: "Información".
  int ActivePage() const { return page_; }

 private:
  friend class ConfContainer;

  // Marks a handler on the stack; the last one to return sends a release
  // that came meanwhile.
  struct Busy {
    explicit Busy(TConf& conf) : conf(conf) { ++conf.busy_; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
    ~Busy();
    TConf& conf;
  };

  TConf(Pop3Unit& unit, ConfHost& host, HWND owner, HINSTANCE instance);
  void Build(HWND owner);
  void BuildFirstPage();
  void BuildSpinField(HWND panel);
  void BuildSignInRows(HWND panel);
  void KeepFocusShown();
  void BuildSecondPage();
  HWND AddControl(HWND parent, const char* windowClass, const char* text, DWORD style, DWORD exStyle,
                  int left, int top, int width, int height, int id, HFONT font);
  HWND AddLabel(HWND parent, const char* text, DWORD align, int left, int top, int width, int height,
                HFONT font);
  int Scale(int pixels) const;

  // KeyboardTarget: the modeless dialog's keys, from the message pump:
  // Tab and Shift+Tab, Ctrl+Tab between the pages, Enter for the default (or
  // the focused) button, Escape for "Cancelar" on the first page, F1 for help.
  bool PreTranslate(MSG& msg) override;

  void ShowPage(int page);
  bool ListDropped() const;
  void SelectChoice(ConfControl list, const std::string& text);
  bool DialogKey(WPARAM key);
  void MoveFocus(bool forward);
  std::vector<HWND> TabOrder() const;
  ConfControl FocusedControl() const;
  void Click(ConfControl button);
  void RequestRelease();
  void DestroyNow();

  // Messages of the form and, passed on, of the containers.
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void ChangeDpi(int dpi, const RECT& suggested);
  LRESULT ChildMessage(HWND container, UINT message, WPARAM wparam, LPARAM lparam);
  void PaintContainer(ConfControl container, HDC dc);
  void DrawGlyphButton(const DRAWITEMSTRUCT& item);
  bool IsActiveButton(HWND button) const;

  static LRESULT CALLBACK SpinEditProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR data);

  // ConfView
  std::string HostText() const override;
  void SetHostText(const std::string& text) override;
  std::string UserText() const override;
  void SetUserText(const std::string& text) override;
  std::string PasswordText() const override;
  void SetPasswordText(const std::string& text) override;
  std::string SpinText() const override;
  void SetSpinText(const std::string& text) override;
  std::string SecurityText() const override;
  void SetSecurityText(const std::string& text) override;
  std::string PortText() const override;
  void SetPortText(const std::string& text) override;
  std::string ProtocolText() const override;
  void SetProtocolText(const std::string& text) override;
  std::string FolderText() const override;
  void SetFolderText(const std::string& text) override;
  void SetFolderEnabled(bool enabled) override;
  void SetSignInChoices(const std::vector<std::string>& texts) override;
  std::string SignInText() const override;
  void SetSignInText(const std::string& text) override;
  std::string ProviderFieldText(ConfControl field) const override;
  void SetProviderFieldText(ConfControl field, const std::string& text) override;
  void SetProviderFieldsVisible(bool visible) override;
  void SetPasswordShown(bool shown) override;
  void SetSignInButtonText(const std::string& text) override;
  void SetSignInStatus(const std::string& text) override;
  bool Checked(ConfCheck box) const override;
  void SetChecked(ConfCheck box, bool checked) override;
  void SetTitle(const std::string& text) override;
  bool FieldFitsWestern(ConfControl field) const override;
  void SelectField(ConfControl field) override;
  void ShowStop(const std::string& text) override;
  void Release() override;

  HINSTANCE instance_;
  TConfLogic logic_;
  int dpi_ = 120;
  int page_ = 0;
  std::unique_ptr<ConfFonts> fonts_;
  std::unique_ptr<ConfContainer> sheet1_, sheet2_, panel1_;
  HWND controls_[static_cast<int>(kLastConfControl) + 1] = {};
  HWND updown_ = nullptr;
  HWND titulo_ = nullptr;
  HWND clave_label_ = nullptr;
  HWND status_ = nullptr;  // whom the program is signed in as
  std::vector<HWND> provider_group_;  // the frame and labels of "Otro proveedor"'s fields, and the fields
  std::vector<HWND> labels_;
  HBITMAP picture_ = nullptr;
  HWND saved_focus_ = nullptr;
  int busy_ = 0;               // handlers running on the stack
  bool release_deferred_ = false;  // a release that waits for them to return
  KeyboardRegistration keys_{*this};  // last: registered once all of the above exists

  static std::unique_ptr<TConf> current_;
};

}  // namespace buzonix
