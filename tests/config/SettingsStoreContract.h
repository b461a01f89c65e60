// What every settings store must do, whatever it keeps the settings in: the
// same values in, the same values out, the password and "€" included. A
// store's tests instantiate the suite with a fixture type that gives
// `SettingsStore& Store()` over an empty store, `std::string ProgramPath()`,
// and a fresh `SettingsStore& Reopened()` over the same place.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "config/SettingsStore.h"
#include "state/unit.h"

namespace buzonix::testing {

// The settings of the first eight fields, the rest as a new program has them.
inline Settings SettingsOf(const char* host, const char* user, const char* password, const char* frequency,
                    const char* sound, const char* animation, bool run_always, const char* version) {
  Settings settings;
  settings.Host = host;
  settings.Usuario = user;
  settings.Clave = password;
  settings.Frecuencia = frequency;
  settings.Sonido = sound;
  settings.Animacion = animation;
  settings.EjecutarSiempre = run_always;
  settings.NumeroVersion = version;
  return settings;
}

inline Settings ContractSettings() {
  Settings settings;
  settings.Host = "pop.ejemplo.es";
  settings.Usuario = "Jos\xE9 Mu\xF1oz";
  settings.Clave = "pa\x80s \"\\=;#[x]";  // the euro sign and what INI files and quoting mind
  settings.Frecuencia = "9000";
  settings.Sonido = "Beep";
  settings.Animacion = "No";
  settings.Seguridad = "STARTTLS";
  settings.Puerto = "2110";
  settings.Protocolo = "IMAP";
  settings.Carpeta = "Correo/Recibido, a\xF1o 2026";  // a comma, which INI files take as a list
  settings.EjecutarSiempre = true;
  settings.Autenticacion = "Otro proveedor";
  settings.OAuthUrlAutorizacion = "https://id.ejemplo.es/auth?tenant=a,b";
  settings.OAuthUrlToken = "http://127.0.0.1:8443/token";
  settings.OAuthCliente = "buzonix-escritorio";
  settings.OAuthAmbito = "openid email imap";
  settings.OAuthCuenta = "jos\xC3\xA9@ejemplo.es";
  settings.OAuthRefresco = "1//0refresco\x01=;#\xC3\xA9";
  return settings;
}

inline void ExpectSameSettings(const Settings& expected, const Settings& read) {
  EXPECT_EQ(read.Host, expected.Host);
  EXPECT_EQ(read.Usuario, expected.Usuario);
  EXPECT_EQ(read.Clave, expected.Clave);
  EXPECT_EQ(read.Frecuencia, expected.Frecuencia);
  EXPECT_EQ(read.Sonido, expected.Sonido);
  EXPECT_EQ(read.Animacion, expected.Animacion);
  EXPECT_EQ(read.Seguridad, expected.Seguridad);
  EXPECT_EQ(read.Puerto, expected.Puerto);
  EXPECT_EQ(read.Protocolo, expected.Protocolo);
  EXPECT_EQ(read.Carpeta, expected.Carpeta);
  EXPECT_EQ(read.EjecutarSiempre, expected.EjecutarSiempre);
  EXPECT_EQ(read.Autenticacion, expected.Autenticacion);
  EXPECT_EQ(read.OAuthUrlAutorizacion, expected.OAuthUrlAutorizacion);
  EXPECT_EQ(read.OAuthUrlToken, expected.OAuthUrlToken);
  EXPECT_EQ(read.OAuthCliente, expected.OAuthCliente);
  EXPECT_EQ(read.OAuthAmbito, expected.OAuthAmbito);
  EXPECT_EQ(read.OAuthCuenta, expected.OAuthCuenta);
  // Compared without printing: a token never reaches a test's output.
  EXPECT_TRUE(read.OAuthRefresco == expected.OAuthRefresco) << "the refresh token differs";
}

template <typename Place>
class SettingsStoreContract : public ::testing::Test {
 protected:
  Place place;
};
TYPED_TEST_SUITE_P(SettingsStoreContract);

TYPED_TEST_P(SettingsStoreContract, WhatIsSavedIsReadBackAndAFirstRunEndsWithTheSave) {
  SettingsStore& store = this->place.Store();
  EXPECT_TRUE(store.FirstRun());
  const Settings saved = ContractSettings();
  EXPECT_FALSE(store.Save(saved, this->place.ProgramPath()));
  SettingsStore& again = this->place.Reopened();
  EXPECT_FALSE(again.FirstRun());
  Settings read;
  EXPECT_FALSE(again.Read(read, this->place.ProgramPath()));
  ExpectSameSettings(saved, read);
}

TYPED_TEST_P(SettingsStoreContract, ASecondSaveReplacesEveryValue) {
  Settings settings = ContractSettings();
  EXPECT_FALSE(this->place.Store().Save(settings, this->place.ProgramPath()));
  settings.Host = "imap.ejemplo.es";
  settings.Usuario = "ana";
  settings.Clave.clear();
  settings.Frecuencia = "1";
  settings.Sonido.clear();
  settings.Animacion = "Si";
  settings.Seguridad = "SSL/TLS";
  settings.Puerto = "995";
  settings.Protocolo = "POP3";
  settings.Carpeta = "INBOX";
  settings.EjecutarSiempre = false;
  EXPECT_FALSE(this->place.Store().Save(settings, this->place.ProgramPath()));
  Settings read;
  EXPECT_FALSE(this->place.Reopened().Read(read, this->place.ProgramPath()));
  ExpectSameSettings(settings, read);
}

TYPED_TEST_P(SettingsStoreContract, TheStartEntryNamesThisVeryProgram) {
  EXPECT_FALSE(this->place.Store().Save(ContractSettings(), this->place.ProgramPath()));
  Settings read;
  EXPECT_FALSE(this->place.Reopened().Read(read, this->place.ProgramPath() + "x"));
  EXPECT_FALSE(read.EjecutarSiempre);
}

// A provider's rotation is stored at once and alone: a restart signs in with
// the new refresh token, and nothing else changed.
TYPED_TEST_P(SettingsStoreContract, ARotatedRefreshTokenIsStoredAloneAndOutlivesARestart) {
  Settings settings = ContractSettings();
  EXPECT_FALSE(this->place.Store().Save(settings, this->place.ProgramPath()));
  Settings rotated = settings;
  rotated.Host = "not saved";
  rotated.OAuthRefresco = "1//0rotado";
  EXPECT_FALSE(this->place.Store().SaveRefreshToken(rotated));
  Settings read;
  EXPECT_FALSE(this->place.Reopened().Read(read, this->place.ProgramPath()));
  settings.OAuthRefresco = rotated.OAuthRefresco;
  ExpectSameSettings(settings, read);
}

REGISTER_TYPED_TEST_SUITE_P(SettingsStoreContract, WhatIsSavedIsReadBackAndAFirstRunEndsWithTheSave,
                            ASecondSaveReplacesEveryValue, TheStartEntryNamesThisVeryProgram,
                            ARotatedRefreshTokenIsStoredAloneAndOutlivesARestart);

}  // namespace buzonix::testing
