#include "win/configur_win.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "text/Texts.h"
#include "win/Text_win.h"

namespace buzonix {

namespace {

// Asks the form to destroy itself once the messages queued before it are done.
constexpr UINT kReleaseMessage = WM_APP + 0x2C;
constexpr UINT_PTR kSpinSubclassId = 1;

const char kFormClass[] = "TConf";
const char kContainerClass[] = "TConfPanel";
const char* const kFormTitle = kApplicationTitle;

// The form description's sizes are in pixels at this resolution.
constexpr int kDesignDpi = 120;
// What sign-in added below the protocol's row: the sign-in choice, the line
// of whom the program is signed in as, and the fields of "Otro proveedor".
constexpr int kSignInRows = 104;

const char* const kLabelFontFace = "Times New Roman";

int Index(ConfControl control) { return static_cast<int>(control); }

char DecimalSeparator() {
  wchar_t buffer[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 8) > 0 && buffer[0] != L'\0')
    return Western(std::wstring_view(buffer, 1))[0];
  return '.';
}

// A typed character as Windows-1252; one it cannot hold reads as '?'.
char WesternChar(WPARAM character) {
  const wchar_t unit = static_cast<wchar_t>(character);
  return Western(std::wstring_view(&unit, 1))[0];
}

bool KeyDown(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// Its own visibility, whether or not its page shows.
bool Shown(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }

// A child window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

}  // namespace

// The fonts of the form, created for the screen's resolution and deleted with
// the dialog.
struct ConfFonts {
  struct Font {
    HFONT handle = nullptr;
    Font() = default;
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;
    ~Font() {
      if (handle != nullptr) DeleteObject(handle);
    }
    void Create(const char* face, int pixels, int dpi, bool bold = false) {
      handle = CreateFontW(-MulDiv(pixels, dpi, kDesignDpi), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE,
                           FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, Wide(face).c_str());
    }
  };
  explicit ConfFonts(int dpi) {
    form.Create("MS Sans Serif", 13, dpi);
    pages.Create("Arial", 15, dpi);
    panel.Create(kLabelFontFace, 18, dpi);
    labels.Create(kLabelFontFace, 17, dpi);
    title.Create(kLabelFontFace, 20, dpi, true);
    info.Create("Arial", 15, dpi);
  }
  Font form, pages, panel, labels, title, info;
};

// A page, or the raised panel: a plain window that hands what its controls
// report to the form and paints what the form draws on it.
class ConfContainer final : public WinWindow {
 public:
  ConfContainer(TConf& form, ConfControl id, HWND parent, int x, int y, int width, int height) : form_(form), id_(id) {
    WindowClass windowClass;
    windowClass.name = kContainerClass;
    windowClass.cursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.background = GetSysColorBrush(COLOR_BTNFACE);
    WindowOptions options;
    options.exStyle = WS_EX_CONTROLPARENT;
    options.style = WS_CHILD;
    options.x = x;
    options.y = y;
    options.width = width;
    options.height = height;
    options.parent = parent;
    Create(windowClass, options);
    SetWindowLongPtrW(Handle(), GWLP_ID, ConfControlId(id));
  }
  ~ConfContainer() override { Destroy(); }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override {
    switch (message) {
      case WM_COMMAND:
      case WM_NOTIFY:
      case WM_DRAWITEM:
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLOREDIT:
        return form_.ChildMessage(Handle(), message, wparam, lparam);
      case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(Handle(), &paint);
        form_.PaintContainer(id_, dc);
        EndPaint(Handle(), &paint);
        return 0;
      }
      default:
        return WinWindow::HandleMessage(message, wparam, lparam);
    }
  }

  TConf& form_;
  ConfControl id_;
};

std::unique_ptr<TConf> TConf::current_;

void TConf::Open(Pop3Unit& unit, ConfHost& host, HWND owner, HINSTANCE instance) {
  current_.reset();  // one still waiting for its release
  current_.reset(new TConf(unit, host, owner, instance));
  TConf& conf = *current_;
  {
    Busy busy(conf);
    conf.logic_.FormCreate();
  }
  ShowWindow(conf.Handle(), SW_SHOWNORMAL);
  SetForegroundWindow(conf.Handle());
  SetFocus(conf.Control(ConfControl::dHost));
}

TConf* TConf::Current() { return current_.get(); }

void TConf::CloseAll() { current_.reset(); }

bool TConf::PreTranslate(MSG& msg) {
  const HWND form = Handle();
  if (form == nullptr || msg.message != WM_KEYDOWN) return false;
  if (msg.hwnd != form && !IsChild(form, msg.hwnd)) return false;
  return DialogKey(msg.wParam);
}

TConf::TConf(Pop3Unit& unit, ConfHost& host, HWND owner, HINSTANCE instance)
    : instance_(instance), logic_(unit, host, *this) {
  dpi_ = WindowDpi(owner);
  fonts_ = std::make_unique<ConfFonts>(dpi_);
  Build(owner);
}

TConf::~TConf() {
  Destroy();
  if (picture_ != nullptr) DeleteObject(picture_);
}

int TConf::Scale(int pixels) const { return MulDiv(pixels, dpi_, kDesignDpi); }

HWND TConf::Control(ConfControl control) const {
  switch (control) {
    case ConfControl::Conf:
      return nullptr;
    case ConfControl::TabSheet1:
      return sheet1_ ? sheet1_->Handle() : nullptr;
    case ConfControl::TabSheet2:
      return sheet2_ ? sheet2_->Handle() : nullptr;
    case ConfControl::Panel1:
      return panel1_ ? panel1_->Handle() : nullptr;
    default:
      return controls_[Index(control)];
  }
}

HWND TConf::AddControl(HWND parent, const char* windowClass, const char* text, DWORD style, DWORD exStyle,
                       int left, int top, int width, int height, int id, HFONT font) {
  const HWND hwnd = CreateWindowExW(exStyle, Wide(windowClass).c_str(), Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, Scale(left),
                                    Scale(top), Scale(width), Scale(height), parent,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
  if (hwnd != nullptr && font != nullptr) SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return hwnd;
}

// An auto-sized label: as wide and high as its text when no size is given.
HWND TConf::AddLabel(HWND parent, const char* text, DWORD align, int left, int top, int width, int height,
                     HFONT font) {
  const HWND hwnd = AddControl(parent, "STATIC", text, align | SS_NOPREFIX, 0, left, top, 1, 1, -1, font);
  int w = Scale(width);
  int h = Scale(height);
  if (width == 0 || height == 0) {
    const HDC dc = GetDC(hwnd);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    const std::wstring wide = Wide(text);
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    if (width == 0) w = size.cx + Scale(4);  // room for overhangs
    if (height == 0) h = metrics.tmHeight;
  }
  SetWindowPos(hwnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  labels_.push_back(hwnd);
  return hwnd;
}

void TConf::Build(HWND owner) {
  WindowClass windowClass;
  windowClass.name = kFormClass;
  windowClass.cursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.background = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.icon = LoadIconA(instance_, "MAINICON");
  WindowOptions options;
  options.exStyle = 0;  // a single fixed border: not resizable, no minimise or maximise box
  options.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT frame{0, 0, Scale(481), Scale(337 + kSignInRows)};
  AdjustWindowRectEx(&frame, options.style, FALSE, options.exStyle);
  options.width = frame.right - frame.left;
  options.height = frame.bottom - frame.top;
  options.x = (GetSystemMetrics(SM_CXSCREEN) - options.width) / 2;
  options.y = (GetSystemMetrics(SM_CYSCREEN) - options.height) / 2;
  options.title = kFormTitle;
  options.parent = owner;
  Create(windowClass, options);
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(fonts_->form.handle), FALSE);

  // PageControl1 with its two tabs; the pages lie over its display area.
  const HWND tabs = AddControl(Handle(), "SysTabControl32", "", WS_TABSTOP | WS_CLIPSIBLINGS, 0, 4, 1, 475, 334 + kSignInRows,
                               ConfControlId(ConfControl::PageControl1), fonts_->pages.handle);
  controls_[Index(ConfControl::PageControl1)] = tabs;
  const char* captions[] = {kPaginaConfiguracion, kPaginaInformacion};
  for (int i = 0; i < 2; ++i) {
    std::wstring caption = Wide(captions[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption.data();
    SendMessageW(tabs, TCM_INSERTITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  RECT display{};
  GetClientRect(tabs, &display);
  SendMessageA(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  const int x = Scale(4) + display.left;
  const int y = Scale(1) + display.top;
  const int width = display.right - display.left;
  const int height = display.bottom - display.top;
  sheet1_ = std::make_unique<ConfContainer>(*this, ConfControl::TabSheet1, Handle(), x, y, width, height);
  sheet2_ = std::make_unique<ConfContainer>(*this, ConfControl::TabSheet2, Handle(), x, y, width, height);
  // The tab control is painted first, under the pages.
  SetWindowPos(tabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  BuildFirstPage();
  BuildSecondPage();
  ShowPage(0);
}

void TConf::BuildFirstPage() {
  const HWND sheet = sheet1_->Handle();
  panel1_ = std::make_unique<ConfContainer>(*this, ConfControl::Panel1, sheet, Scale(2), Scale(7), Scale(461),
                                            Scale(240 + kSignInRows));
  ShowWindow(panel1_->Handle(), SW_SHOWNA);
  const HWND panel = panel1_->Handle();
  const HFONT labels = fonts_->labels.handle;
  const HFONT fields = fonts_->panel.handle;
  AddLabel(panel, kEtiquetaServidor, SS_LEFT, 20, 25, 0, 0, labels);
  AddLabel(panel, kEtiquetaUsuario, SS_LEFT, 25, 54, 0, 0, labels);
  clave_label_ = AddLabel(panel, kEtiquetaClave, SS_LEFT, 39, 89, 0, 0, labels);
  AddLabel(panel, kEtiquetaFrecuencia, SS_CENTER, 16, 128, 0, 0, labels);

  const DWORD edit = WS_TABSTOP | ES_AUTOHSCROLL;
  auto addEdit = [&](ConfControl control, DWORD style, int left, int top, int width, int limit) {
    const HWND hwnd = AddControl(panel, "EDIT", "", edit | style, WS_EX_CLIENTEDGE, left, top, width, 28,
                                 ConfControlId(control), fields);
    SendMessageA(hwnd, EM_LIMITTEXT, static_cast<WPARAM>(limit), 0);
    controls_[Index(control)] = hwnd;
    return hwnd;
  };
  addEdit(ConfControl::dHost, 0, 94, 20, 189, kLimiteServidor);
  addEdit(ConfControl::dusuario, 0, 94, 52, 132, kLimiteUsuario);
  const HWND clave = addEdit(ConfControl::dclave, ES_PASSWORD, 94, 84, 132, kLimiteClave);
  SendMessageW(clave, EM_SETPASSWORDCHAR, Wide("\x95")[0], 0);  // the bullet
  // In the password's place for a provider.
  controls_[Index(ConfControl::bsesion)] =
      AddControl(panel, "BUTTON", kBotonIniciarSesion, WS_TABSTOP | BS_PUSHBUTTON, 0, 94, 84, 132, 28,
                 ConfControlId(ConfControl::bsesion), fonts_->pages.handle);
  ShowWindow(Control(ConfControl::bsesion), SW_HIDE);

  BuildSpinField(panel);
  // "Min." follows the arrows, whose width is the system's and not the form's.
  const HWND minutes = AddLabel(panel, kEtiquetaMinutos, SS_LEFT, 0, 128, 0, 0, labels);
  SetWindowPos(minutes, nullptr, ChildRect(updown_).right + Scale(8), Scale(128), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  auto addCheck = [&](ConfControl control, const char* caption, int top, int width) {
    const HWND hwnd = AddControl(panel, "BUTTON", caption, WS_TABSTOP | BS_AUTOCHECKBOX, 0, 300, top, width, 21,
                                 ConfControlId(control), labels);
    SendMessageA(hwnd, BM_SETCHECK, BST_CHECKED, 0);
    controls_[Index(control)] = hwnd;
  };
  addCheck(ConfControl::AnimaSobre, kCasillaAnimacion, 28, 125);
  addCheck(ConfControl::CheckBox1, kCasillaEjecutar, 58, 148);
  addCheck(ConfControl::CheckBox2, kCasillaSonido, 87, 154);

  // How the connection is secured, and its port.
  auto addList = [&](ConfControl control, int top) {
    const HWND hwnd = AddControl(panel, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 94, top, 132,
                                 150, ConfControlId(control), fields);
    controls_[Index(control)] = hwnd;
    return hwnd;
  };
  AddLabel(panel, kEtiquetaSeguridad, SS_LEFT, 8, 168, 0, 0, labels);
  const HWND security = addList(ConfControl::dseguridad, 164);
  for (SecurityMode mode : kSecurityChoices)
    SendMessageW(security, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(buzonix::SecurityText(mode)).c_str()));
  AddLabel(panel, kEtiquetaPuerto, SS_LEFT, 246, 168, 0, 0, labels);
  addEdit(ConfControl::dpuerto, ES_NUMBER, 308, 164, 70, kLimitePuerto);

  // The protocol, and the folder only IMAP watches: a row below, in the same columns.
  AddLabel(panel, kEtiquetaProtocolo, SS_LEFT, 11, 200, 0, 0, labels);
  const HWND protocol = addList(ConfControl::dprotocolo, 196);
  for (MailProtocol choice : kProtocolChoices)
    SendMessageW(protocol, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(buzonix::ProtocolText(choice)).c_str()));
  AddLabel(panel, kEtiquetaCarpeta, SS_LEFT, 237, 200, 0, 0, labels);
  addEdit(ConfControl::dcarpeta, 0, 308, 196, 140, kLimiteCarpeta);
  BuildSignInRows(panel);

  controls_[Index(ConfControl::BitBtn1)] =
      AddControl(sheet, "BUTTON", kBotonAceptar, WS_TABSTOP | BS_OWNERDRAW | BS_NOTIFY, 0, 96, 257 + kSignInRows, 105, 33,
                 ConfControlId(ConfControl::BitBtn1), fonts_->pages.handle);
  controls_[Index(ConfControl::BitBtn2)] =
      AddControl(sheet, "BUTTON", kBotonCancelar, WS_TABSTOP | BS_OWNERDRAW | BS_NOTIFY, 0, 258, 257 + kSignInRows, 105, 33,
                 ConfControlId(ConfControl::BitBtn2), fonts_->pages.handle);
}

// "Inicio de sesión" with the choice ending where the server's field ends;
// the status line beside it; "Otro proveedor"'s fields in a group below, two
// to a row, shown only for it.
void TConf::BuildSignInRows(HWND panel) {
  const HFONT labels = fonts_->labels.handle;
  const HFONT fields = fonts_->panel.handle;
  const HWND label = AddLabel(panel, kEtiquetaInicioSesion, SS_LEFT, 8, 232, 0, 0, labels);
  const int left = ChildRect(label).right + Scale(4);
  const HWND choice = AddControl(panel, "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, 0, 228, 1,
                                 150, ConfControlId(ConfControl::dinicio), fields);
  SetWindowPos(choice, nullptr, left, Scale(228), Scale(283) - left, Scale(150),
               SWP_NOZORDER | SWP_NOACTIVATE);
  controls_[Index(ConfControl::dinicio)] = choice;
  status_ = AddControl(panel, "STATIC", "", SS_LEFT | SS_NOPREFIX, 0, 300, 226, 152, 34, -1, fonts_->form.handle);
  ShowWindow(status_, SW_HIDE);

  const HWND group = AddControl(panel, "BUTTON", "", BS_GROUPBOX, 0, 8, 262, 444, 76, -1, fonts_->form.handle);
  provider_group_ = {group};
  struct Field {
    ConfControl control;
    const char* label;
    int left, top, width, limit;
  };
  const Field kFields[] = {
      {ConfControl::dautorizacion, kEtiquetaAutorizacion, 114, 276, 152, kLimiteUrl},
      {ConfControl::dtoken, kEtiquetaToken, 334, 276, 112, kLimiteUrl},
      {ConfControl::dcliente, kEtiquetaCliente, 114, 306, 152, kLimiteCliente},
      {ConfControl::dambito, kEtiquetaAmbito, 334, 306, 112, kLimiteAmbito},
  };
  for (const Field& field : kFields) {
    // Each label ends just before its field, however wide the font makes it.
    const HWND caption = AddLabel(panel, field.label, SS_LEFT, 0, field.top + 4, 0, 0, labels);
    const RECT r = ChildRect(caption);
    SetWindowPos(caption, nullptr, Scale(field.left - 3) - (r.right - r.left), r.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    provider_group_.push_back(caption);
    const HWND edit = AddControl(panel, "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, field.left,
                                 field.top, field.width, 26, ConfControlId(field.control), fields);
    SendMessageA(edit, EM_LIMITTEXT, static_cast<WPARAM>(field.limit), 0);
    controls_[Index(field.control)] = edit;
    provider_group_.push_back(edit);
  }
  for (HWND hwnd : provider_group_) ShowWindow(hwnd, SW_HIDE);
}

// dfrecuencia: the edit with its arrows against its right edge. Attaching the
// arrows narrows the edit by their width; it gets that width back, so that a
// three-digit value shows whole at every DPI.
void TConf::BuildSpinField(HWND panel) {
  const HWND spin = AddControl(panel, "EDIT", "1", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 308, 124, 58, 31,
                               ConfControlId(ConfControl::dfrecuencia), fonts_->panel.handle);
  controls_[Index(ConfControl::dfrecuencia)] = spin;
  const RECT designed = ChildRect(spin);
  updown_ = CreateWindowExW(0, UPDOWN_CLASSW, L"",
                            WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_ALIGNRIGHT |
                                UDS_NOTHOUSANDS,
                            0, 0, 0, 0, panel, nullptr, instance_, nullptr);
  SendMessageA(updown_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(spin), 0);
  SendMessageA(updown_, UDM_SETRANGE32, kMinFrecuencia, kMaxFrecuencia);
  SendMessageA(updown_, UDM_SETPOS32, 0, kMinFrecuencia);
  const RECT narrowed = ChildRect(spin);
  const int taken = (designed.right - designed.left) - (narrowed.right - narrowed.left);
  if (taken > 0) {
    SetWindowPos(spin, nullptr, 0, 0, designed.right - designed.left, designed.bottom - designed.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    const RECT arrows = ChildRect(updown_);
    SetWindowPos(updown_, nullptr, arrows.left + taken, arrows.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SetWindowSubclass(spin, &TConf::SpinEditProc, kSpinSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void TConf::BuildSecondPage() {
  const HWND sheet = sheet2_->Handle();
  titulo_ = AddControl(sheet, "STATIC", (std::string(kTituloPrefijo) + Settings{}.NumeroVersion).c_str(),
                       SS_CENTER | SS_NOPREFIX, 0, 0, 14, 465, 30, kTituloId, fonts_->title.handle);
  labels_.push_back(titulo_);
  const HFONT info = fonts_->info.handle;
  // The information lines and the maker's (Label12, Label7, Label1, Label15,
  // Label9), each where the form places it; 0 is as wide as the text.
  struct Line {
    int left, top, width;
  };
  constexpr Line kLines[] = {{0, 58, 465},  {100, 80, 0},  {108, 108, 0}, {108, 132, 0},
                             {0, 161, 433}, {10, 181, 346}, {20, 201, 336}};
  static_assert(std::size(kLines) == std::size(kInformacion));
  for (std::size_t i = 0; i < std::size(kLines); ++i)
    AddLabel(sheet, kInformacion[i], SS_CENTER, kLines[i].left, kLines[i].top, kLines[i].width, 0, info);
  picture_ = static_cast<HBITMAP>(LoadImageA(instance_, "INFO", IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  controls_[Index(ConfControl::Button1)] =
      AddControl(sheet, "BUTTON", kBotonAceptar, WS_TABSTOP | BS_PUSHBUTTON, 0, 373, 191, 77, 31,
                 ConfControlId(ConfControl::Button1), fonts_->pages.handle);
}

void TConf::ShowPage(int page) {
  page_ = page;
  SendMessageA(Control(ConfControl::PageControl1), TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  ShowWindow(sheet1_->Handle(), page == 0 ? SW_SHOWNA : SW_HIDE);
  ShowWindow(sheet2_->Handle(), page == 1 ? SW_SHOWNA : SW_HIDE);
  // A focused control on the page that went away gives the focus to the tabs.
  const HWND focus = GetFocus();
  if (focus != nullptr && IsChild(Handle(), focus) && !IsWindowVisible(focus))
    SetFocus(Control(ConfControl::PageControl1));
}

std::vector<HWND> TConf::TabOrder() const {
  using C = ConfControl;
  std::vector<C> order;
  if (page_ == 0)
    order = {C::PageControl1,  C::dHost,     C::dusuario,  C::dclave,      C::bsesion,    C::dfrecuencia,
             C::dseguridad,    C::dpuerto,   C::dprotocolo, C::dcarpeta,    C::dinicio,    C::dautorizacion,
             C::dtoken,        C::dcliente,  C::dambito,    C::AnimaSobre,  C::CheckBox1,  C::CheckBox2,
             C::BitBtn1,       C::BitBtn2};
  else
    order = {C::PageControl1, C::Button1};
  std::vector<HWND> windows;
  // A greyed field (the folder, for POP3) and a hidden one are passed over.
  for (C control : order)
    if (IsWindowEnabled(Control(control)) && Shown(Control(control))) windows.push_back(Control(control));
  return windows;
}

void TConf::MoveFocus(bool forward) {
  const std::vector<HWND> order = TabOrder();
  const auto n = static_cast<int>(order.size());
  const auto found = std::find(order.begin(), order.end(), GetFocus());
  int i = found == order.end() ? (forward ? -1 : 0) : static_cast<int>(found - order.begin());
  i = (i + (forward ? 1 : n - 1)) % n;
  const HWND next = order[static_cast<std::size_t>(i)];
  SetFocus(next);
  wchar_t cls[16] = {};
  GetClassNameW(next, cls, 16);
  if (lstrcmpiW(cls, L"Edit") == 0) SendMessageW(next, EM_SETSEL, 0, -1);
}

ConfControl TConf::FocusedControl() const {
  for (HWND hwnd = GetFocus(); hwnd != nullptr && hwnd != Handle(); hwnd = GetParent(hwnd)) {
    for (int i = 0; i <= Index(kLastConfControl); ++i) {
      const auto control = static_cast<ConfControl>(i);
      if (control != ConfControl::Conf && Control(control) == hwnd) return control;
    }
  }
  return ConfControl::Conf;
}

bool TConf::DialogKey(WPARAM key) {
  const bool ctrl = KeyDown(VK_CONTROL);
  const bool shift = KeyDown(VK_SHIFT);
  const bool alt = KeyDown(VK_MENU);
  switch (key) {
    case VK_F1: {
      Busy busy(*this);
      logic_.HelpKey(FocusedControl());
      return true;
    }
    case VK_TAB:
      if (alt) return false;
      if (ctrl)
        ShowPage((page_ + 1) % 2);  // two pages: either way is the other one
      else
        MoveFocus(!shift);
      return true;
    case VK_RETURN: {
      if (ctrl || alt || ListDropped()) return false;
      const ConfControl focused = FocusedControl();
      if (focused == ConfControl::BitBtn1 || focused == ConfControl::BitBtn2 || focused == ConfControl::Button1 ||
          focused == ConfControl::bsesion) {
        Click(focused);
        return true;
      }
      if (page_ != 0) return false;
      // Enter in the spin field accepts without leaving it, so no clamp runs.
      Click(ConfControl::BitBtn1);
      return true;
    }
    case VK_ESCAPE:
      if (page_ != 0 || ctrl || alt || ListDropped()) return false;
      Click(ConfControl::BitBtn2);
      return true;
    default:
      return false;
  }
}

TConf::Busy::~Busy() {
  if (--conf.busy_ == 0 && conf.release_deferred_) conf.RequestRelease();
}

void TConf::Click(ConfControl button) {
  Busy busy(*this);
  switch (button) {
    case ConfControl::BitBtn1:
      logic_.BitBtn1Click();
      break;
    case ConfControl::BitBtn2:
      logic_.BitBtn2Click();
      break;
    case ConfControl::Button1:
      logic_.Button1Click();
      break;
    case ConfControl::bsesion:
      logic_.SignInButtonClick();
      break;
    default:
      break;
  }
}

bool TConf::FieldFitsWestern(ConfControl field) const { return FitsWestern(WideWindowText(Control(field))); }

void TConf::SelectField(ConfControl field) {
  SetFocus(Control(field));
  SendMessageW(Control(field), EM_SETSEL, 0, -1);
}

void TConf::ShowStop(const std::string& text) {
  MessageBoxW(Handle(), Wide(text).c_str(), Wide(kFormTitle).c_str(), MB_OK | MB_ICONSTOP);
}

void TConf::Release() { RequestRelease(); }

void TConf::RequestRelease() {
  release_deferred_ = false;
  if (Handle() != nullptr) PostMessageA(Handle(), kReleaseMessage, 0, 0);
}

// Runs from the form's own message: nothing of the dialog is touched after.
void TConf::DestroyNow() {
  if (current_.get() != this) {
    Destroy();
    return;
  }
  std::unique_ptr<TConf> self = std::move(current_);
  self->Destroy();
}

// Moved to a monitor of another DPI: every control and font scaled for it.
void TConf::ChangeDpi(int dpi, const RECT& suggested) {
  struct Swap {
    const ConfFonts& from;
    const ConfFonts& to;
  };
  auto fonts = std::make_unique<ConfFonts>(dpi);
  Swap swap{*fonts_, *fonts};
  ScaleChildWindows(
      Handle(), dpi_, dpi,
      [](HFONT font, void* context) -> HFONT {
        const Swap& s = *static_cast<Swap*>(context);
        const ConfFonts::Font ConfFonts::*all[] = {&ConfFonts::form,  &ConfFonts::pages, &ConfFonts::panel,
                                                   &ConfFonts::labels, &ConfFonts::title, &ConfFonts::info};
        for (const auto member : all)
          if ((s.from.*member).handle == font) return (s.to.*member).handle;
        return nullptr;
      },
      &swap);
  SendMessageA(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(fonts->form.handle), FALSE);
  fonts_ = std::move(fonts);
  dpi_ = dpi;
  SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TConf::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DPICHANGED:
      ChangeDpi(DpiOf(wparam), SuggestedRectOf(lparam));
      return 0;
    case kReleaseMessage:
      // A handler still on the stack (a message box of its own) finishes first.
      if (busy_ > 0) {
        release_deferred_ = true;
        return 0;
      }
      DestroyNow();
      return 0;
    case WM_CLOSE: {
      Busy busy(*this);
      logic_.FormClose();
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(Handle(), focus)) saved_focus_ = focus;
      } else if (saved_focus_ != nullptr && IsWindow(saved_focus_) && IsChild(Handle(), saved_focus_)) {
        SetFocus(saved_focus_);
        return 0;
      }
      break;
    case WM_HELP: {
      Busy busy(*this);
      logic_.HelpKey(FocusedControl());
      return TRUE;
    }
    case WM_NOTIFY:
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      return ChildMessage(Handle(), message, wparam, lparam);
    default:
      break;
  }
  return WinWindow::HandleMessage(message, wparam, lparam);
}

LRESULT TConf::ChildMessage(HWND container, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->hwndFrom == Control(ConfControl::PageControl1) && header->code == TCN_SELCHANGE) {
        ShowPage(static_cast<int>(SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
        return 0;
      }
      break;
    }
    case WM_COMMAND: {
      const auto id = static_cast<int>(LOWORD(wparam));
      const auto code = HIWORD(wparam);
      if (id == ConfControlId(ConfControl::dseguridad) && code == CBN_SELCHANGE) {
        Busy busy(*this);
        logic_.SecurityChange();
        return 0;
      }
      if (id == ConfControlId(ConfControl::dprotocolo) && code == CBN_SELCHANGE) {
        Busy busy(*this);
        logic_.ProtocolChange();
        return 0;
      }
      if (id == ConfControlId(ConfControl::dinicio) && code == CBN_SELCHANGE) {
        Busy busy(*this);
        logic_.SignInChange();
        return 0;
      }
      if (id == ConfControlId(ConfControl::dfrecuencia) && code == EN_KILLFOCUS) {
        Busy busy(*this);
        logic_.SpinExit();
        return 0;
      }
      if (code == BN_SETFOCUS || code == BN_KILLFOCUS) {
        // The default button's frame follows the focus.
        InvalidateRect(Control(ConfControl::BitBtn1), nullptr, FALSE);
        InvalidateRect(Control(ConfControl::BitBtn2), nullptr, FALSE);
        return 0;
      }
      if (code == BN_CLICKED) {
        if (id == ConfControlId(ConfControl::BitBtn1)) Click(ConfControl::BitBtn1);
        if (id == ConfControlId(ConfControl::BitBtn2)) Click(ConfControl::BitBtn2);
        if (id == ConfControlId(ConfControl::Button1)) Click(ConfControl::Button1);
        if (id == ConfControlId(ConfControl::bsesion)) Click(ConfControl::bsesion);
        return 0;
      }
      break;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item->CtlType == ODT_BUTTON) {
        DrawGlyphButton(*item);
        return TRUE;
      }
      break;
    }
    case WM_CTLCOLORSTATIC: {
      const auto dc = reinterpret_cast<HDC>(wparam);
      const auto child = reinterpret_cast<HWND>(lparam);
      SetTextColor(dc, RGB(0, 0, 0));
      if (std::find(labels_.begin(), labels_.end(), child) != labels_.end()) {
        // Labels are transparent: the frames drawn under them show through.
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
      }
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    default:
      break;
  }
  return DefWindowProcW(container, message, wparam, lparam);
}

void TConf::PaintContainer(ConfControl container, HDC dc) {
  auto frame = [&](int left, int top, int width, int height) {
    RECT r{Scale(left), Scale(top), Scale(left + width), Scale(top + height)};
    DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
  };
  if (container == ConfControl::Panel1) {
    RECT r;
    GetClientRect(panel1_->Handle(), &r);
    DrawEdge(dc, &r, BDR_RAISEDINNER, BF_RECT);
  } else if (container == ConfControl::TabSheet2) {
    frame(69, 10, 336, 31);  // Bevel1
    frame(14, 87, 75, 67);   // Bevel2
    if (picture_ != nullptr) {  // Image1, stretched to its box
      BITMAP info{};
      GetObjectA(picture_, sizeof info, &info);
      const HDC source = CreateCompatibleDC(dc);
      const HGDIOBJ old = SelectObject(source, picture_);
      SetStretchBltMode(dc, HALFTONE);
      SetBrushOrgEx(dc, 0, 0, nullptr);
      StretchBlt(dc, Scale(16), Scale(90), Scale(71), Scale(63), source, 0, 0, info.bmWidth, info.bmHeight,
                 SRCCOPY);
      SelectObject(source, old);
      DeleteDC(source);
    }
  }
}

bool TConf::IsActiveButton(HWND button) const {
  const HWND focus = GetFocus();
  const HWND bitbtn1 = Control(ConfControl::BitBtn1);
  const HWND bitbtn2 = Control(ConfControl::BitBtn2);
  if (focus == bitbtn1 || focus == bitbtn2) return button == focus;
  return button == bitbtn1;  // the default button
}

// BitBtn1 and BitBtn2: a push button with the check mark or the cross before
// its caption, and the default button's dark frame.
void TConf::DrawGlyphButton(const DRAWITEMSTRUCT& item) {
  const HDC dc = item.hDC;
  RECT r = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  const bool focused = (item.itemState & ODS_FOCUS) != 0;
  if (IsActiveButton(item.hwndItem)) {
    FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    InflateRect(&r, -1, -1);
  }
  DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  const std::wstring caption = WideWindowText(item.hwndItem);
  const HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(item.hwndItem, WM_GETFONT, 0, 0)));
  SIZE text{};
  GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
  const int glyph = Scale(15);
  const int spacing = Scale(5);
  const int shift = pressed ? 1 : 0;
  const int left = (r.left + r.right - (glyph + spacing + text.cx)) / 2 + shift;
  const int middle = (r.top + r.bottom) / 2 + shift;
  const bool ok = item.hwndItem == Control(ConfControl::BitBtn1);
  const HPEN pen = CreatePen(PS_SOLID, std::max(2, Scale(3)), ok ? RGB(0, 128, 0) : RGB(192, 0, 0));
  const HGDIOBJ oldPen = SelectObject(dc, pen);
  const int top = middle - glyph / 2;
  if (ok) {
    POINT mark[] = {{left + 1, top + glyph / 2}, {left + glyph * 2 / 5, top + glyph - 2}, {left + glyph - 1, top + 2}};
    Polyline(dc, mark, 3);
  } else {
    MoveToEx(dc, left + 2, top + 2, nullptr);
    LineTo(dc, left + glyph - 2, top + glyph - 2);
    MoveToEx(dc, left + glyph - 2, top + 2, nullptr);
    LineTo(dc, left + 2, top + glyph - 2);
  }
  SelectObject(dc, oldPen);
  DeleteObject(pen);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  RECT textRect{left + glyph + spacing, r.top + shift, left + glyph + spacing + text.cx + 1, r.bottom + shift};
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &textRect, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
  SelectObject(dc, oldFont);
  if (focused && (item.itemState & ODS_NOFOCUSRECT) == 0) {
    RECT focusRect = r;
    InflateRect(&focusRect, -Scale(4), -Scale(4));
    DrawFocusRect(dc, &focusRect);
  }
}

// The spin field's key filter: other keys are refused with the default beep.
LRESULT CALLBACK TConf::SpinEditProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                     DWORD_PTR) {
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &TConf::SpinEditProc, id);
  if (message == WM_CHAR && !SpinKeyAllowed(WesternChar(wparam), DecimalSeparator())) {
    MessageBeep(0);
    return 0;
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

std::string TConf::HostText() const { return WindowText(Control(ConfControl::dHost)); }
void TConf::SetHostText(const std::string& text) { SetText(Control(ConfControl::dHost), text); }
std::string TConf::UserText() const { return WindowText(Control(ConfControl::dusuario)); }
void TConf::SetUserText(const std::string& text) { SetText(Control(ConfControl::dusuario), text); }
std::string TConf::PasswordText() const { return WindowText(Control(ConfControl::dclave)); }
void TConf::SetPasswordText(const std::string& text) {
  SetText(Control(ConfControl::dclave), text);
}
// An open drop-down list takes Enter and Escape itself.
bool TConf::ListDropped() const {
  for (ConfControl list : {ConfControl::dseguridad, ConfControl::dprotocolo, ConfControl::dinicio})
    if (SendMessageA(Control(list), CB_GETDROPPEDSTATE, 0, 0) != 0) return true;
  return false;
}
void TConf::SelectChoice(ConfControl list, const std::string& text) {
  const LRESULT item = SendMessageW(Control(list), CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                    reinterpret_cast<LPARAM>(Wide(text).c_str()));
  SendMessageA(Control(list), CB_SETCURSEL, static_cast<WPARAM>(item), 0);
}
std::string TConf::SecurityText() const { return WindowText(Control(ConfControl::dseguridad)); }
void TConf::SetSecurityText(const std::string& text) { SelectChoice(ConfControl::dseguridad, text); }
std::string TConf::ProtocolText() const { return WindowText(Control(ConfControl::dprotocolo)); }
void TConf::SetProtocolText(const std::string& text) { SelectChoice(ConfControl::dprotocolo, text); }
std::string TConf::FolderText() const { return WindowText(Control(ConfControl::dcarpeta)); }
void TConf::SetFolderText(const std::string& text) { SetText(Control(ConfControl::dcarpeta), text); }
void TConf::SetFolderEnabled(bool enabled) { EnableWindow(Control(ConfControl::dcarpeta), enabled ? TRUE : FALSE); }
std::string TConf::PortText() const { return WindowText(Control(ConfControl::dpuerto)); }
void TConf::SetPortText(const std::string& text) { SetText(Control(ConfControl::dpuerto), text); }
std::string TConf::SpinText() const { return WindowText(Control(ConfControl::dfrecuencia)); }
void TConf::SetSpinText(const std::string& text) {
  SetText(Control(ConfControl::dfrecuencia), text);
}

namespace {
ConfControl ControlOf(ConfCheck box) {
  switch (box) {
    case ConfCheck::AnimaSobre:
      return ConfControl::AnimaSobre;
    case ConfCheck::CheckBox1:
      return ConfControl::CheckBox1;
    case ConfCheck::CheckBox2:
      break;
  }
  return ConfControl::CheckBox2;
}
}  // namespace

bool TConf::Checked(ConfCheck box) const {
  return SendMessageA(Control(ControlOf(box)), BM_GETCHECK, 0, 0) == BST_CHECKED;
}
void TConf::SetChecked(ConfCheck box, bool checked) {
  SendMessageA(Control(ControlOf(box)), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}
void TConf::SetSignInChoices(const std::vector<std::string>& texts) {
  const HWND list = Control(ConfControl::dinicio);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  for (const std::string& text : texts)
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}
std::string TConf::SignInText() const { return WindowText(Control(ConfControl::dinicio)); }
void TConf::SetSignInText(const std::string& text) { SelectChoice(ConfControl::dinicio, text); }
std::string TConf::ProviderFieldText(ConfControl field) const { return WindowText(Control(field)); }
void TConf::SetProviderFieldText(ConfControl field, const std::string& text) { SetText(Control(field), text); }
void TConf::SetProviderFieldsVisible(bool visible) {
  for (HWND hwnd : provider_group_) ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE);
  KeepFocusShown();
}
void TConf::SetPasswordShown(bool shown) {
  for (HWND hwnd : {clave_label_, Control(ConfControl::dclave)}) ShowWindow(hwnd, shown ? SW_SHOWNA : SW_HIDE);
  for (HWND hwnd : {Control(ConfControl::bsesion), status_}) ShowWindow(hwnd, shown ? SW_HIDE : SW_SHOWNA);
  KeepFocusShown();
}
void TConf::SetSignInButtonText(const std::string& text) { SetText(Control(ConfControl::bsesion), text); }
void TConf::SetSignInStatus(const std::string& text) { SetText(status_, text); }
// A field hidden under the focus hands it to the sign-in choice, which made
// it go.
void TConf::KeepFocusShown() {
  const HWND focus = GetFocus();
  if (focus != nullptr && IsChild(Handle(), focus) && !Shown(focus)) SetFocus(Control(ConfControl::dinicio));
}
void TConf::SetTitle(const std::string& text) {
  SetText(titulo_, text);
  // A transparent label leaves its old text behind unless the page repaints.
  RECT r;
  GetWindowRect(titulo_, &r);
  MapWindowPoints(nullptr, sheet2_->Handle(), reinterpret_cast<POINT*>(&r), 2);
  InvalidateRect(sheet2_->Handle(), &r, TRUE);
}

}  // namespace buzonix
