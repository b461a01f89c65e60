// The configuration dialog on Linux: the same fields, checks and information
// page as the Windows dialog, its handlers TConfLogic's.
#pragma once

#include <QDialog>

#include <map>

#include "config/configur.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace buzonix {

class ConfDialog final : public QDialog, private ConfView {
 public:
  // Opens the dialog, or does nothing while one is open.
  static void Open(Pop3Unit& unit, ConfHost& host);
  static void CloseAll();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  ConfDialog(Pop3Unit& unit, ConfHost& host);
  QWidget* BuildSettingsPage();
  QWidget* BuildInformationPage();
  QLineEdit* AddField(ConfControl control, const char* name);
  QComboBox* AddList(ConfControl control, const char* name);
  QCheckBox* AddCheck(ConfControl control, const char* name, const QString& caption);
  void AddSignInRows(QFormLayout* form);
  QGroupBox* BuildProviderGroup();
  ConfControl FocusedControl() const;
  QLineEdit* Field(ConfControl control) const;

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

  TConfLogic logic_;
  QTabWidget* pages_ = nullptr;
  QLineEdit* host_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* spin_ = nullptr;
  QComboBox* security_ = nullptr;
  QLineEdit* port_ = nullptr;
  QComboBox* protocol_ = nullptr;
  QLineEdit* folder_ = nullptr;
  QFormLayout* form_ = nullptr;
  QComboBox* sign_in_ = nullptr;
  QPushButton* sign_in_button_ = nullptr;
  QLabel* sign_in_status_ = nullptr;
  QGroupBox* provider_ = nullptr;
  std::map<ConfControl, QLineEdit*> provider_fields_;
  std::map<ConfCheck, QCheckBox*> checks_;
  QLabel* title_ = nullptr;
  std::map<QWidget*, ConfControl> controls_;
  bool released_ = false;
};

}  // namespace buzonix
