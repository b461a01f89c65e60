#include "linux/ConfDialog_linux.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "linux/Text.h"

namespace buzonix {
namespace {
QPointer<ConfDialog> current;
}  // namespace

void ConfDialog::Open(Pop3Unit& unit, ConfHost& host) {
  if (!current.isNull()) return;
  current = new ConfDialog(unit, host);
  current->show();
  current->raise();
  current->activateWindow();
}

void ConfDialog::CloseAll() { delete current.data(); }

void ConfDialog::ApplySecurity(Settings& settings) {
  if (current.isNull()) return;
  const std::string port = FromQt(current->port_->text().trimmed());
  if (!ParsePort(port)) throw ERegistryException{"'" + port + "' no es un puerto (1 a 65535)"};
  settings.Puerto = port;
  settings.Seguridad = SecurityText(static_cast<SecurityMode>(current->security_->currentIndex()));
}

ConfDialog::ConfDialog(Pop3Unit& unit, ConfHost& host)
    : QDialog(nullptr), unit_(unit), logic_(unit, host, *this) {
  setObjectName("configuracion");
  setWindowTitle(QString::fromUtf8("Buzonix Electr\u00f3nico"));
  setWindowIcon(QIcon(":/art/mainicon.ico"));
  pages_ = new QTabWidget(this);
  pages_->addTab(BuildSettingsPage(), QString::fromUtf8("Configuraci\u00f3n"));
  pages_->addTab(BuildInformationPage(), QString::fromUtf8("Informaci\u00f3n"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  logic_.FormCreate();
  ShowSecurity(unit_.settings);
}

void ConfDialog::ShowSecurity(const Settings& settings) {
  shownSecurity_ = static_cast<int>(SecurityModeOf(settings.Seguridad));
  security_->setCurrentIndex(shownSecurity_);
  port_->setText(ToQt(std::to_string(PortOf(settings))));
}

void ConfDialog::SecurityChanged(int index) {
  // A port left at the old mode's usual one follows the mode.
  const auto previous = DefaultPort(static_cast<SecurityMode>(shownSecurity_));
  if (port_->text().trimmed() == QString::number(previous))
    port_->setText(QString::number(DefaultPort(static_cast<SecurityMode>(index))));
  shownSecurity_ = index;
}

QLineEdit* ConfDialog::AddField(ConfControl control, const char* name) {
  auto* field = new QLineEdit;
  field->setObjectName(name);
  controls_[field] = control;
  return field;
}

QCheckBox* ConfDialog::AddCheck(ConfControl control, const char* name, const QString& caption) {
  auto* box = new QCheckBox(caption);
  box->setObjectName(name);
  controls_[box] = control;
  return box;
}

QWidget* ConfDialog::BuildSettingsPage() {
  auto* page = new QWidget;
  auto* form = new QFormLayout;
  host_ = AddField(ConfControl::dHost, "servidor");
  user_ = AddField(ConfControl::dusuario, "usuario");
  password_ = AddField(ConfControl::dclave, "clave");
  password_->setEchoMode(QLineEdit::Password);
  security_ = new QComboBox;
  security_->setObjectName("seguridad");
  for (SecurityMode mode : {SecurityMode::kNinguna, SecurityMode::kStarttls, SecurityMode::kSslTls})
    security_->addItem(SecurityText(mode));
  QObject::connect(security_, &QComboBox::currentIndexChanged, this,
                   [this](int index) { SecurityChanged(index); });
  port_ = new QLineEdit;
  port_->setObjectName("puerto");
  port_->setMaximumWidth(80);
  spin_ = AddField(ConfControl::dfrecuencia, "frecuencia");
  spin_->setMaximumWidth(80);
  spin_->installEventFilter(this);
  QObject::connect(spin_, &QLineEdit::editingFinished, this, [this] { logic_.SpinExit(); });
  form->addRow("Servidor:", host_);
  form->addRow("Usuario:", user_);
  form->addRow("Clave:", password_);
  form->addRow("Seguridad:", security_);
  form->addRow("Puerto:", port_);
  auto* every = new QHBoxLayout;
  every->addWidget(spin_);
  every->addWidget(new QLabel("Min."));
  every->addStretch();
  form->addRow(QString::fromUtf8("Frecuencia de Comprobaci\u00f3n de Correo:"), every);

  checks_[ConfCheck::AnimaSobre] =
      AddCheck(ConfControl::AnimaSobre, "animacion", QString::fromUtf8("Animaci\u00f3n"));
  checks_[ConfCheck::CheckBox1] =
      AddCheck(ConfControl::CheckBox1, "ejecutar", "Ejecutar siempre");
  checks_[ConfCheck::CheckBox2] = AddCheck(ConfControl::CheckBox2, "sonido", "Avisar con sonido");
  for (const auto& [which, box] : checks_) form->addRow(QString(), box);

  auto* accept = new QPushButton("Aceptar");
  accept->setObjectName("aceptar");
  accept->setDefault(true);
  controls_[accept] = ConfControl::BitBtn1;
  auto* cancel = new QPushButton("Cancelar");
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

QWidget* ConfDialog::BuildInformationPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  title_ = new QLabel;
  title_->setObjectName("titulo");
  title_->setAlignment(Qt::AlignCenter);
  auto* picture = new QLabel;
  picture->setPixmap(QPixmap(":/art/info.bmp"));
  picture->setAlignment(Qt::AlignCenter);
  auto* text = new QLabel(QString::fromUtf8(
      "Sistema de notificaci\u00f3n de correo electr\u00f3nico seg\u00fan\n"
      "protocolo POP3. Programa de Dominio P\u00fablico.\n\n"
      "Proyecto Buzonix Electr\u00f3nico, 2026\n"
      "Equipo de desarrollo de Buzonix\n\n"
      "Sugerencias y errores: en las incidencias del proyecto.\n"
      "Las nuevas versiones se publican en el\n"
      "repositorio del proyecto Buzonix."));
  text->setAlignment(Qt::AlignCenter);
  auto* accept = new QPushButton("Aceptar");
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
bool ConfDialog::Checked(ConfCheck box) const { return checks_.at(box)->isChecked(); }
void ConfDialog::SetChecked(ConfCheck box, bool checked) { checks_.at(box)->setChecked(checked); }
void ConfDialog::SetTitle(const std::string& text) { title_->setText(ToQt(text)); }

void ConfDialog::Release() {
  released_ = true;
  hide();
  deleteLater();
}

}  // namespace buzonix
