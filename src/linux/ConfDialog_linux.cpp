#include "linux/ConfDialog_linux.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <memory>

#include "linux/Text.h"
#include "text/Texts.h"

namespace buzonix {
namespace {
QPointer<ConfDialog> current;

// The typing limits hold back typing and pasting only, as an edit control's
// limit does: a longer stored value is shown whole and saved unchanged
// (QLineEdit::setMaxLength would cut it). An edit that would pass the limit
// keeps only as much of what it inserted as fits.
void LimitTyping(QLineEdit* field, int limit) {
  auto before = std::make_shared<QString>(field->text());
  // Qt reports an edit before the change; the change after an edit that was
  // cut here still carries the uncut text, hence the field's own.
  QObject::connect(field, &QLineEdit::textChanged, field, [field, before] { *before = field->text(); });
  QObject::connect(field, &QLineEdit::textEdited, field, [field, limit, before](const QString& text) {
    const QString old = *before;
    if (text.size() <= limit || text.size() <= old.size()) return;
    qsizetype prefix = 0;
    while (prefix < old.size() && prefix < text.size() && old[prefix] == text[prefix]) ++prefix;
    qsizetype suffix = 0;
    while (suffix < old.size() - prefix && suffix < text.size() - prefix &&
           old[old.size() - 1 - suffix] == text[text.size() - 1 - suffix])
      ++suffix;
    const qsizetype kept = prefix + suffix;  // of the old text
    const qsizetype room = std::max<qsizetype>(0, limit - kept);
    const qsizetype inserted = std::min(text.size() - prefix - suffix, room);
    const QString fitted = text.left(prefix + inserted) + text.right(suffix);
    field->setText(fitted);
    field->setCursorPosition(static_cast<int>(prefix + inserted));
  });
}
}  // namespace

void ConfDialog::Open(Pop3Unit& unit, ConfHost& host) {
  if (!current.isNull()) return;
  current = new ConfDialog(unit, host);
  current->show();
  current->raise();
  current->activateWindow();
}

void ConfDialog::CloseAll() { delete current.data(); }

ConfDialog::ConfDialog(Pop3Unit& unit, ConfHost& host)
    : QDialog(nullptr), logic_(unit, host, *this) {
  setObjectName("configuracion");
  setWindowTitle(ToQt(kApplicationTitle));
  setWindowIcon(QIcon(":/art/mainicon.ico"));
  pages_ = new QTabWidget(this);
  pages_->addTab(BuildSettingsPage(), ToQt(kPaginaConfiguracion));
  pages_->addTab(BuildInformationPage(), ToQt(kPaginaInformacion));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  logic_.FormCreate();
}

QLineEdit* ConfDialog::AddField(ConfControl control, const char* name) {
  auto* field = new QLineEdit;
  field->setObjectName(name);
  controls_[field] = control;
  return field;
}

QComboBox* ConfDialog::AddList(ConfControl control, const char* name) {
  auto* list = new QComboBox;
  list->setObjectName(name);
  controls_[list] = control;
  return list;
}

QCheckBox* ConfDialog::AddCheck(ConfControl control, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption);
  box->setObjectName(name);
  controls_[box] = control;
  return box;
}

// For a provider the password row gives way to the sign-in button and the
// line saying whom the program is signed in as.
void ConfDialog::AddSignInRows(QFormLayout* form) {
  sign_in_button_ = new QPushButton(ToQt(kBotonIniciarSesion));
  sign_in_button_->setObjectName("sesion");
  // Enter accepts the dialog; it never starts a sign-in.
  sign_in_button_->setAutoDefault(false);
  controls_[sign_in_button_] = ConfControl::bsesion;
  QObject::connect(sign_in_button_, &QPushButton::clicked, this, [this] { logic_.SignInButtonClick(); });
  sign_in_status_ = new QLabel;
  sign_in_status_->setObjectName("estado_sesion");
  sign_in_status_->setWordWrap(true);
  form->addRow(QString(), sign_in_button_);
  form->addRow(QString(), sign_in_status_);
  form->setRowVisible(sign_in_button_, false);
  form->setRowVisible(sign_in_status_, false);
}

// The company's own identity server: shown only for "Otro proveedor".
QGroupBox* ConfDialog::BuildProviderGroup() {
  auto* group = new QGroupBox(ToQt(kAutenticacionOtro));
  group->setObjectName("otro_proveedor");
  auto* fields = new QFormLayout(group);
  const struct {
    ConfControl control;
    const char* name;
    const char* label;
    int limit;
  } rows[] = {
      {ConfControl::dautorizacion, "autorizacion", kEtiquetaAutorizacion, kLimiteUrl},
      {ConfControl::dtoken, "token", kEtiquetaToken, kLimiteUrl},
      {ConfControl::dcliente, "cliente", kEtiquetaCliente, kLimiteCliente},
      {ConfControl::dambito, "ambito", kEtiquetaAmbito, kLimiteAmbito},
  };
  for (const auto& row : rows) {
    QLineEdit* field = AddField(row.control, row.name);
    LimitTyping(field, row.limit);
    provider_fields_[row.control] = field;
    fields->addRow(ToQt(row.label), field);
  }
  return group;
}

QWidget* ConfDialog::BuildSettingsPage() {
  auto* page = new QWidget;
  auto* form = new QFormLayout;
  form_ = form;
  sign_in_ = AddList(ConfControl::dinicio, "inicio");
  QObject::connect(sign_in_, &QComboBox::activated, this, [this] { logic_.SignInChange(); });
  host_ = AddField(ConfControl::dHost, "servidor");
  user_ = AddField(ConfControl::dusuario, "usuario");
  password_ = AddField(ConfControl::dclave, "clave");
  password_->setEchoMode(QLineEdit::Password);
  security_ = AddList(ConfControl::dseguridad, "seguridad");
  for (SecurityMode mode : kSecurityChoices)
    security_->addItem(ToQt(buzonix::SecurityText(mode)));
  QObject::connect(security_, &QComboBox::activated, this, [this] { logic_.SecurityChange(); });
  port_ = AddField(ConfControl::dpuerto, "puerto");
  port_->setMaximumWidth(80);
  protocol_ = AddList(ConfControl::dprotocolo, "protocolo");
  for (MailProtocol protocol : kProtocolChoices)
    protocol_->addItem(ToQt(buzonix::ProtocolText(protocol)));
  QObject::connect(protocol_, &QComboBox::activated, this, [this] { logic_.ProtocolChange(); });
  folder_ = AddField(ConfControl::dcarpeta, "carpeta");
  LimitTyping(host_, kLimiteServidor);
  LimitTyping(user_, kLimiteUsuario);
  LimitTyping(password_, kLimiteClave);
  LimitTyping(port_, kLimitePuerto);
  LimitTyping(folder_, kLimiteCarpeta);
  spin_ = AddField(ConfControl::dfrecuencia, "frecuencia");
  spin_->setMaximumWidth(80);
  // Clamped when the focus leaves it (see eventFilter), not on Enter, which
  // accepts the dialog with the value as typed.
  spin_->installEventFilter(this);
  form->addRow(ToQt(kEtiquetaServidor), host_);
  form->addRow(ToQt(kEtiquetaInicioSesion), sign_in_);
  form->addRow(ToQt(kEtiquetaUsuario), user_);
  form->addRow(ToQt(kEtiquetaClave), password_);
  AddSignInRows(form);
  provider_ = BuildProviderGroup();
  form->addRow(provider_);
  form->setRowVisible(provider_, false);
  form->addRow(ToQt(kEtiquetaSeguridad), security_);
  form->addRow(ToQt(kEtiquetaPuerto), port_);
  form->addRow(ToQt(kEtiquetaProtocolo), protocol_);
  form->addRow(ToQt(kEtiquetaCarpeta), folder_);
  auto* every = new QHBoxLayout;
  every->addWidget(spin_);
  every->addWidget(new QLabel(ToQt(kEtiquetaMinutos)));
  every->addStretch();
  form->addRow(ToQt(kEtiquetaFrecuencia), every);

  checks_[ConfCheck::AnimaSobre] =
      AddCheck(ConfControl::AnimaSobre, "animacion", ToQt(kCasillaAnimacion));
  checks_[ConfCheck::CheckBox1] =
      AddCheck(ConfControl::CheckBox1, "ejecutar", ToQt(kCasillaEjecutar));
  checks_[ConfCheck::CheckBox2] = AddCheck(ConfControl::CheckBox2, "sonido", ToQt(kCasillaSonido));
  for (const auto& [which, box] : checks_) form->addRow(QString(), box);

  auto* accept = new QPushButton(ToQt(kBotonAceptar));
  accept->setObjectName("aceptar");
  accept->setDefault(true);
  controls_[accept] = ConfControl::BitBtn1;
  auto* cancel = new QPushButton(ToQt(kBotonCancelar));
  cancel->setObjectName("cancelar");
  controls_[cancel] = ConfControl::BitBtn2;
  QObject::connect(accept, &QPushButton::clicked, this, [this] { logic_.BitBtn1Click(); });
  QObject::connect(cancel, &QPushButton::clicked, this, [this] { logic_.BitBtn2Click(); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(accept);
  buttons->addWidget(cancel);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(form);
  layout->addLayout(buttons);
  return page;
}

namespace {

// The information page's lines, an empty line after each paragraph.
QString InformationText() {
  QString text;
  for (std::size_t i = 0; i < std::size(kInformacion); ++i) {
    if (i > 0) text += '\n';
    text += ToQt(kInformacion[i]);
    for (int after : kInformacionParrafos)
      if (static_cast<std::size_t>(after) == i) text += '\n';
  }
  return text;
}

}  // namespace

QWidget* ConfDialog::BuildInformationPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  title_ = new QLabel;
  title_->setObjectName("titulo");
  title_->setAlignment(Qt::AlignCenter);
  auto* picture = new QLabel;
  picture->setPixmap(QPixmap(":/art/info.bmp"));
  picture->setAlignment(Qt::AlignCenter);
  auto* text = new QLabel(InformationText());
  text->setAlignment(Qt::AlignCenter);
  auto* accept = new QPushButton(ToQt(kBotonAceptar));
  controls_[accept] = ConfControl::Button1;
  QObject::connect(accept, &QPushButton::clicked, this, [this] { logic_.Button1Click(); });
  layout->addWidget(title_);
  layout->addWidget(picture);
  layout->addWidget(text);
  layout->addWidget(accept, 0, Qt::AlignRight);
  return page;
}

ConfControl ConfDialog::FocusedControl() const {
  for (QWidget* widget = focusWidget(); widget != nullptr; widget = widget->parentWidget()) {
    if (auto it = controls_.find(widget); it != controls_.end()) return it->second;
  }
  return pages_->currentIndex() == 0 ? ConfControl::TabSheet1 : ConfControl::TabSheet2;
}

void ConfDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1) {
    logic_.HelpKey(FocusedControl());
    return;
  }
  if (event->key() == Qt::Key_Escape) {
    logic_.BitBtn2Click();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ConfDialog::closeEvent(QCloseEvent* event) {
  if (!released_) logic_.FormClose();
  event->accept();
}

bool ConfDialog::eventFilter(QObject* watched, QEvent* event) {
  // Leaving the field for another control of the dialog, as the spin
  // control's exit; the window losing the focus (a box, another program) is none.
  if (watched == spin_ && event->type() == QEvent::FocusOut) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !released_)
      logic_.SpinExit();
  }
  // The frequency field takes what the spin control takes.
  if (watched == spin_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    if (text.size() == 1 && text[0].unicode() >= 0x20 && text[0].unicode() < 0x7F) {
      const char separator = QLocale().decimalPoint().at(0).toLatin1();
      if (!SpinKeyAllowed(text[0].toLatin1(), separator)) return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

std::string ConfDialog::HostText() const { return FromQt(host_->text()); }
void ConfDialog::SetHostText(const std::string& text) { host_->setText(ToQt(text)); }
std::string ConfDialog::UserText() const { return FromQt(user_->text()); }
void ConfDialog::SetUserText(const std::string& text) { user_->setText(ToQt(text)); }
std::string ConfDialog::PasswordText() const { return FromQt(password_->text()); }
void ConfDialog::SetPasswordText(const std::string& text) { password_->setText(ToQt(text)); }
std::string ConfDialog::SpinText() const { return FromQt(spin_->text()); }
void ConfDialog::SetSpinText(const std::string& text) { spin_->setText(ToQt(text)); }
std::string ConfDialog::SecurityText() const { return FromQt(security_->currentText()); }
void ConfDialog::SetSecurityText(const std::string& text) {
  security_->setCurrentIndex(std::max(0, security_->findText(ToQt(text))));
}
std::string ConfDialog::PortText() const { return FromQt(port_->text()); }
void ConfDialog::SetPortText(const std::string& text) { port_->setText(ToQt(text)); }
std::string ConfDialog::ProtocolText() const { return FromQt(protocol_->currentText()); }
void ConfDialog::SetProtocolText(const std::string& text) {
  protocol_->setCurrentIndex(std::max(0, protocol_->findText(ToQt(text))));
}
std::string ConfDialog::FolderText() const { return FromQt(folder_->text()); }
void ConfDialog::SetFolderText(const std::string& text) { folder_->setText(ToQt(text)); }
void ConfDialog::SetFolderEnabled(bool enabled) { folder_->setEnabled(enabled); }
void ConfDialog::SetSignInChoices(const std::vector<std::string>& texts) {
  sign_in_->clear();
  for (const std::string& text : texts) sign_in_->addItem(ToQt(text));
}
std::string ConfDialog::SignInText() const { return FromQt(sign_in_->currentText()); }
void ConfDialog::SetSignInText(const std::string& text) {
  sign_in_->setCurrentIndex(std::max(0, sign_in_->findText(ToQt(text))));
}
std::string ConfDialog::ProviderFieldText(ConfControl field) const {
  const auto it = provider_fields_.find(field);
  return it == provider_fields_.end() ? std::string() : FromQt(it->second->text());
}
void ConfDialog::SetProviderFieldText(ConfControl field, const std::string& text) {
  if (const auto it = provider_fields_.find(field); it != provider_fields_.end()) it->second->setText(ToQt(text));
}
// The dialog keeps the height its shown rows need.
void ConfDialog::SetProviderFieldsVisible(bool visible) {
  form_->setRowVisible(provider_, visible);
  adjustSize();
}
void ConfDialog::SetPasswordShown(bool shown) {
  form_->setRowVisible(password_, shown);
  form_->setRowVisible(sign_in_button_, !shown);
  form_->setRowVisible(sign_in_status_, !shown);
  adjustSize();
}
void ConfDialog::SetSignInButtonText(const std::string& text) { sign_in_button_->setText(ToQt(text)); }
void ConfDialog::SetSignInStatus(const std::string& text) { sign_in_status_->setText(ToQt(text)); }
bool ConfDialog::Checked(ConfCheck box) const { return checks_.at(box)->isChecked(); }
void ConfDialog::SetChecked(ConfCheck box, bool checked) { checks_.at(box)->setChecked(checked); }
void ConfDialog::SetTitle(const std::string& text) { title_->setText(ToQt(text)); }

QLineEdit* ConfDialog::Field(ConfControl control) const {
  switch (control) {
    case ConfControl::dHost:
      return host_;
    case ConfControl::dusuario:
      return user_;
    case ConfControl::dclave:
      return password_;
    case ConfControl::dfrecuencia:
      return spin_;
    case ConfControl::dpuerto:
      return port_;
    case ConfControl::dcarpeta:
      return folder_;
    case ConfControl::dautorizacion:
    case ConfControl::dtoken:
    case ConfControl::dcliente:
    case ConfControl::dambito:
      return provider_fields_.at(control);
    default:
      return nullptr;
  }
}

bool ConfDialog::FieldFitsWestern(ConfControl field) const {
  const QLineEdit* edit = Field(field);
  return edit == nullptr || FitsWestern(edit->text());
}

void ConfDialog::SelectField(ConfControl field) {
  QLineEdit* edit = Field(field);
  if (edit == nullptr) return;
  pages_->setCurrentIndex(0);
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();
}

void ConfDialog::ShowStop(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, windowTitle(), ToQt(text).replace("\r\n", "\n"), QMessageBox::Ok, this);
  box.setObjectName("parada");
  box.exec();
}

void ConfDialog::Release() {
  released_ = true;
  hide();
  deleteLater();
}

}  // namespace buzonix
