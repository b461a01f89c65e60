// The Linux settings file and its Secret Service on disk, with a password
// store of the test's own.
#include "linux/SettingsFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "config/SettingsStoreContract.h"
#include "text/Texts.h"

namespace buzonix {
namespace {

class ScriptedPasswordStore final : public PasswordStore {
 public:
  bool Available() override { return available; }
  std::optional<std::string> Read() override {
    ++reads;
    if (unreadable) return std::nullopt;
    return stored;
  }
  bool Write(const std::string& password, std::string&) override {
    writes.push_back(password);
    stored = password;
    return true;
  }
  void Remove() override { stored.clear(); }

  bool available = true;
  bool unreadable = false;
  std::string stored;
  std::vector<std::string> writes;
  int reads = 0;
};

class LinuxSettingsFile : public ::testing::Test {
 protected:
  std::string Path() const { return folder.filePath("buzonix.conf").toStdString(); }
  void WriteFile(const QByteArray& bytes) {
    QFile file(QString::fromStdString(Path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  QByteArray ReadFile(const QString& path) const {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  Settings Valid() const {
    Settings settings;
    settings.Host = "pop.example.org";
    settings.Usuario = "ana";
    settings.Clave = "secret";
    settings.Frecuencia = "5";
    return settings;
  }

  Settings SignedIn() const {
    Settings settings = Valid();
    settings.Clave.clear();
    settings.Autenticacion = "Otro proveedor";
    settings.OAuthUrlAutorizacion = "https://id.example.org/authorize?tenant=a,b";
    settings.OAuthUrlToken = "https://id.example.org/token";
    settings.OAuthCliente = "buzonix";
    settings.OAuthAmbito = "openid email offline_access";
    settings.OAuthCuenta = "ana@example.org";
    settings.OAuthRefresco = "rt-1";
    return settings;
  }

  QTemporaryDir folder;
  ScriptedPasswordStore passwords;
  ScriptedPasswordStore tokens;
  Autostart autostart{folder.filePath("buzonix.desktop").toStdString()};
  SettingsFile file{Path(), autostart, passwords, tokens};
};

TEST_F(LinuxSettingsFile, TextsWithTheEuroSignAreSavedAndReadBackAsWindows1252) {
  Settings saved = Valid();
  saved.Host = "pop.\x80.example";
  saved.Clave = "pa\x80s";
  EXPECT_FALSE(file.Save(saved, "/usr/bin/buzonix", PasswordPlace::File));
  EXPECT_TRUE(ReadFile(QString::fromStdString(Path())).contains("Host=pop.\xE2\x82\xAC.example"));
  Settings loaded;
  EXPECT_FALSE(file.Read(loaded, "/usr/bin/buzonix"));
  EXPECT_EQ(loaded.Host, "pop.\x80.example");
  EXPECT_EQ(loaded.Clave, "pa\x80s");
}

TEST_F(LinuxSettingsFile, ADamagedFileThatCannotBePutAsideIsNotOverwritten) {
  const QByteArray damaged("[Version]\nNumero=1.01\n[Configuracion\n\x00\xff\xfe=\nHost=keep\n", 55);
  WriteFile(damaged);
  Settings loaded;
  EXPECT_FALSE(file.Read(loaded, "/usr/bin/buzonix"));  // read before in this run, as the program does
  // A folder, not empty, where the damaged file would go.
  const QString aside = QString::fromStdString(Path()) + ".danado";
  ASSERT_TRUE(QDir().mkpath(aside + "/inside"));
  const auto failure = file.Save(Valid(), "/usr/bin/buzonix", PasswordPlace::Keyring);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message.rfind("No se pudo apartar el archivo da\xF1" "ado ", 0), 0u) << failure->message;
  EXPECT_EQ(ReadFile(QString::fromStdString(Path())), damaged);

  ASSERT_TRUE(QDir(aside).removeRecursively());
  const auto saved = file.Save(Valid(), "/usr/bin/buzonix", PasswordPlace::Keyring);
  EXPECT_FALSE(saved) << saved->message;
  EXPECT_EQ(ReadFile(aside), damaged);
  EXPECT_TRUE(ReadFile(QString::fromStdString(Path())).contains("Host=pop.example.org"));
}

TEST_F(LinuxSettingsFile, AnUnreadableSecretServiceHoldsTheChecksAndIsReadAgain) {
  WriteFile("[Version]\nNumero=1.01\n[Configuracion]\nHost=pop.example.org\nusuario=ana\nfrecuencia=5\n");
  passwords.stored = "secret";
  passwords.unreadable = true;
  Settings settings;
  EXPECT_FALSE(file.Read(settings, "/usr/bin/buzonix"));
  EXPECT_EQ(settings.Clave, "");
  std::string problem;
  EXPECT_FALSE(file.PasswordAtHand(settings, problem));
  EXPECT_EQ(problem, kClaveIlegible);
  EXPECT_FALSE(file.PasswordAtHand(settings, problem));

  // A save meanwhile with the password left empty keeps the stored one.
  EXPECT_FALSE(file.Save(settings, "/usr/bin/buzonix", PasswordPlace::Keyring));
  EXPECT_TRUE(passwords.writes.empty());

  passwords.unreadable = false;
  EXPECT_TRUE(file.PasswordAtHand(settings, problem));
  EXPECT_EQ(settings.Clave, "secret");
  const int reads = passwords.reads;
  EXPECT_TRUE(file.PasswordAtHand(settings, problem));
  EXPECT_EQ(passwords.reads, reads) << "read once it was read";

  // No password stored is no failure.
  passwords.stored.clear();
  EXPECT_FALSE(file.Read(settings, "/usr/bin/buzonix"));
  EXPECT_EQ(settings.Clave, "");
  EXPECT_TRUE(file.PasswordAtHand(settings, problem));
}

TEST_F(LinuxSettingsFile, TheRefreshTokenLivesInTheSecretServiceAloneAndARotatedOneIsStoredAtOnce) {
  WriteFile("[Configuracion]\nOAuthRefresco=copied-from-elsewhere\n");
  Settings saved = SignedIn();
  EXPECT_FALSE(file.Save(saved, "/usr/bin/buzonix"));
  EXPECT_EQ(tokens.stored, "rt-1");
  const QByteArray text = ReadFile(QString::fromStdString(Path()));
  EXPECT_FALSE(text.contains("rt-1"));
  EXPECT_FALSE(text.contains("OAuthRefresco")) << text.toStdString();
  EXPECT_TRUE(text.contains("Autenticacion=Otro proveedor"));

  saved.OAuthRefresco = "rt-2";
  EXPECT_FALSE(file.SaveRefreshToken(saved));
  EXPECT_EQ(tokens.writes.back(), "rt-2");
  SettingsFile restarted(Path(), autostart, passwords, tokens);
  Settings read;
  EXPECT_FALSE(restarted.Read(read, "/usr/bin/buzonix"));
  EXPECT_EQ(read.OAuthRefresco, "rt-2");
  EXPECT_EQ(read.OAuthCuenta, "ana@example.org");
  EXPECT_TRUE(file.KeepsRefreshToken());

  // Back to a password: the token goes.
  read.Autenticacion = kAutenticacionContrasena;
  read.Clave = "secret";
  EXPECT_FALSE(restarted.Save(read, "/usr/bin/buzonix"));
  EXPECT_EQ(tokens.stored, "");
}

TEST_F(LinuxSettingsFile, WithoutASecretServiceTheRefreshTokenLastsThisRunOnly) {
  passwords.available = tokens.available = false;
  EXPECT_FALSE(file.KeepsRefreshToken());
  Settings saved = SignedIn();
  EXPECT_FALSE(file.Save(saved, "/usr/bin/buzonix"));  // no password, so nothing is asked
  EXPECT_TRUE(tokens.writes.empty());
  EXPECT_FALSE(ReadFile(QString::fromStdString(Path())).contains("rt-1"));
  saved.OAuthRefresco = "rt-2";
  EXPECT_FALSE(file.SaveRefreshToken(saved));
  Settings read;
  EXPECT_FALSE(file.Read(read, "/usr/bin/buzonix"));
  EXPECT_EQ(read.OAuthRefresco, "rt-2");

  SettingsFile restarted(Path(), autostart, passwords, tokens);
  EXPECT_FALSE(restarted.Read(read, "/usr/bin/buzonix"));
  EXPECT_EQ(read.OAuthRefresco, "");
  EXPECT_EQ(read.Autenticacion, "Otro proveedor");
}

TEST_F(LinuxSettingsFile, AnUnreadableRefreshTokenHoldsTheChecksAndIsNeverOverwrittenByTheUnreadOne) {
  EXPECT_FALSE(file.Save(SignedIn(), "/usr/bin/buzonix"));
  tokens.unreadable = true;
  SettingsFile restarted(Path(), autostart, passwords, tokens);
  Settings read;
  EXPECT_FALSE(restarted.Read(read, "/usr/bin/buzonix"));
  EXPECT_EQ(read.OAuthRefresco, "");
  std::string problem;
  EXPECT_FALSE(restarted.PasswordAtHand(read, problem));
  EXPECT_EQ(problem, kClaveIlegible);
  EXPECT_FALSE(restarted.Save(read, "/usr/bin/buzonix"));
  tokens.unreadable = false;
  EXPECT_EQ(tokens.stored, "rt-1");
  EXPECT_TRUE(restarted.PasswordAtHand(read, problem));
  EXPECT_EQ(read.OAuthRefresco, "rt-1");
}

// The settings file with its password store, as the contract sees it.
struct SettingsFilePlace {
  QTemporaryDir folder;
  ScriptedPasswordStore passwords;
  ScriptedPasswordStore tokens;
  Autostart autostart{folder.filePath("buzonix.desktop").toStdString()};
  std::string path = folder.filePath("buzonix.conf").toStdString();
  SettingsFile file{path, autostart, passwords, tokens};
  SettingsFile reopened{path, autostart, passwords, tokens};
  SettingsStore& Store() { return file; }
  SettingsStore& Reopened() { return reopened; }
  std::string ProgramPath() { return "/usr/bin/buzonix"; }
};

}  // namespace

namespace testing {
INSTANTIATE_TYPED_TEST_SUITE_P(SettingsFile, SettingsStoreContract, ::testing::Types<SettingsFilePlace>);
}  // namespace testing
}  // namespace buzonix
