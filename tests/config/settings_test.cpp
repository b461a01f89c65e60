// The start-up load and the save over the in-memory registry.
#include "config/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/MemoryRegistry.h"
#include "config/RecordingHost.h"
#include "config/SettingsStoreContract.h"
#include "config/TestSealer.h"
#include "config/scramble.h"

namespace buzonix {
namespace {

using testing::kFirstRunCalls;
using testing::NormalStartCalls;
using testing::RecordingHost;
using testing::SettingsOf;

constexpr auto kUser = RegistryRoot::kCurrentUser;
constexpr auto kMachine = RegistryRoot::kLocalMachine;
const std::string kStore = "Software\\Buzonix";
const std::string kVersion = "Software\\Buzonix\\Version";
const std::string kConfig = "Software\\Buzonix\\Configuracion";
const std::string kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kRunValue = "Buzonix Electronico";
const std::string kProgram = "C:\\Archivos de programa\\Buzonix\\BUZEL.EXE";

class RegistrySettings : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(registry.OpenKeyCount(), 0u) << "a key was left open"; }

  void Put(const std::string& key, const std::string& name, const std::string& text) {
    registry.PutValue(kUser, key, name, RegistryValue{kRegSz, text});
  }
  void PutRunEntry(const std::string& text) {
    registry.PutValue(kMachine, kRun, kRunValue, RegistryValue{kRegSz, text});
  }
  // A store as the dialog leaves it.
  void PutConfigured() {
    Put(kVersion, "Numero", "1.01");
    Put(kConfig, "Host", "pop.ejemplo.es");
    Put(kConfig, "usuario", "ana");
    Put(kConfig, "Codigo", CodificaClave("s3creta"));
    Put(kConfig, "frecuencia", "5");
    Put(kConfig, "Hacer Sonido", "Beep");
    Put(kConfig, "Animacion", "No");
  }
  std::optional<std::string> Stored(const std::string& key, const std::string& name) {
    const auto value = registry.GetValue(kUser, key, name);
    if (!value) return std::nullopt;
    EXPECT_EQ(value->type, kRegSz) << name;
    return value->data;
  }
  std::optional<std::string> StoredRunEntry() {
    const auto value = registry.GetValue(kMachine, kRun, kRunValue);
    return value ? std::optional(value->data) : std::nullopt;
  }
  void Load(const std::string& programPath = kProgram) {
    RecordingHost recorder(programPath);
    LoadSettings(registry, settings, recorder);
    calls = recorder.calls;
  }

  MemoryRegistry registry;
  Settings settings;
  std::vector<std::string> calls;
};

const std::string kErrorDecoded = DecodificaClave("Error");

TEST_F(RegistrySettings, FirstRunRegistersTheProgramAndOpensHelpAndDialog) {
  Load();
  EXPECT_EQ(calls, kFirstRunCalls);
  EXPECT_EQ(StoredRunEntry(), kProgram);
  EXPECT_TRUE(settings.EjecutarSiempre);
  EXPECT_EQ(settings.Animacion, "Si");
  EXPECT_EQ(settings.Sonido, "Beep");
  EXPECT_EQ(settings.Host, "");
  EXPECT_EQ(settings.Usuario, "");
  EXPECT_EQ(settings.Clave, "");
  EXPECT_EQ(settings.Frecuencia, "1");
  // Only the dialog's accept writes the version.
  EXPECT_TRUE(registry.KeyExists(kUser, kStore));
  EXPECT_FALSE(registry.KeyExists(kUser, kVersion));
  EXPECT_FALSE(registry.KeyExists(kUser, kConfig));
}

TEST_F(RegistrySettings, FirstRunRegistersByFirstByteOfThePath) {
  struct Case {
    std::string path;
    bool registered;
  };
  for (const Case& c : std::vector<Case>{{"A:\\BUZEL.EXE", false},
                                         {"B:\\BUZEL.EXE", false},
                                         {"9:\\BUZEL.EXE", false},
                                         {"", false},
                                         {"C:\\BUZEL.EXE", true},
                                         {"a:\\buzel.exe", true},
                                         {"\\\\servidor\\buzel.exe", true},
                                         {"\xD1:\\BUZEL.EXE", true}}) {
    MemoryRegistry fresh;
    Settings loaded;
    RecordingHost recorder(c.path);
    LoadSettings(fresh, loaded, recorder);
    EXPECT_EQ(loaded.EjecutarSiempre, c.registered) << c.path;
    EXPECT_EQ(fresh.GetValue(kMachine, kRun, kRunValue).has_value(), c.registered) << c.path;
    EXPECT_EQ(recorder.calls, kFirstRunCalls) << c.path;
  }
}

TEST_F(RegistrySettings, FirstRunGoesOnWhenTheRunEntryCannotBeWritten) {
  registry.DenyAccess(kMachine);
  registry.FailWritesOf(kRunValue);
  Load();
  EXPECT_FALSE(settings.EjecutarSiempre);
  EXPECT_EQ(calls, kFirstRunCalls);
  EXPECT_EQ(settings.Sonido, "Beep");
}

TEST_F(RegistrySettings, NormalStartLoadsEverySettingAndChecksOnce) {
  PutConfigured();
  PutRunEntry(kProgram);
  Load();
  EXPECT_EQ(calls, NormalStartCalls(5 * 60000));
  EXPECT_EQ(settings.Host, "pop.ejemplo.es");
  EXPECT_EQ(settings.Usuario, "ana");
  EXPECT_EQ(settings.Clave, "s3creta");
  EXPECT_EQ(settings.Frecuencia, "5");
  EXPECT_EQ(settings.Sonido, "Beep");
  EXPECT_EQ(settings.Animacion, "No");
  EXPECT_TRUE(settings.EjecutarSiempre);
}

TEST_F(RegistrySettings, SecurityAndPortOfEarlierStoresFirstRunsAndDamagedValues) {
  PutConfigured();  // as earlier versions left it: neither value
  Load();
  EXPECT_EQ(settings.Seguridad, "Ninguna");
  EXPECT_EQ(settings.Puerto, "110");

  struct Case {
    std::string seguridad, puerto, mode, port;
  };
  for (const Case& c : std::vector<Case>{{"SSL/TLS", "", "SSL/TLS", "995"},
                                         {"STARTTLS", "0", "STARTTLS", "110"},
                                         {"ssl/tls", "65536", "Ninguna", "110"},
                                         {"SSL/TLS", "-995", "SSL/TLS", "995"},
                                         {"SSL/TLS", "0995", "SSL/TLS", "995"},
                                         {"STARTTLS", "1100", "STARTTLS", "1100"}}) {
    Put(kConfig, "Seguridad", c.seguridad);
    Put(kConfig, "Puerto", c.puerto);
    Load();
    EXPECT_EQ(settings.Seguridad, c.mode) << c.seguridad << " " << c.puerto;
    EXPECT_EQ(settings.Puerto, c.port) << c.seguridad << " " << c.puerto;
  }

  MemoryRegistry fresh;
  Settings first;
  RecordingHost recorder(kProgram);
  LoadSettings(fresh, first, recorder);
  EXPECT_EQ(first.Protocolo, "IMAP");
  EXPECT_EQ(first.Seguridad, "SSL/TLS");
  EXPECT_EQ(first.Puerto, "993");
}

TEST_F(RegistrySettings, SecurityAndPortAreSavedAndReadBack) {
  PutConfigured();
  settings.Host = "pop.ejemplo.es";
  settings.Usuario = "ana";
  settings.Seguridad = "STARTTLS";
  settings.Puerto = "2110";
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kProgram));
  EXPECT_EQ(Stored(kConfig, "Seguridad"), "STARTTLS");
  EXPECT_EQ(Stored(kConfig, "Puerto"), "2110");
  settings = Settings{};
  Load();
  EXPECT_EQ(settings.Seguridad, "STARTTLS");
  EXPECT_EQ(PortOf(settings), 2110);
}

TEST_F(RegistrySettings, RunEntryMustNameThisProgramByteForByte) {
  PutConfigured();
  for (const std::string& entry :
       std::vector<std::string>{"c:\\archivos de programa\\buzonix\\buzel.exe",
                                "\"" + kProgram + "\"", kProgram + " ", "D:\\BUZEL.EXE"}) {
    PutRunEntry(entry);
    settings.EjecutarSiempre = true;
    Load();
    EXPECT_FALSE(settings.EjecutarSiempre) << entry;
  }
  registry.PutValue(kMachine, kRun, kRunValue, RegistryValue{kRegSz, kProgram + '\0'});
  Load();
  EXPECT_TRUE(settings.EjecutarSiempre);
}

TEST_F(RegistrySettings, RunKeyWithoutAccessReadsAsNotRegistered) {
  PutConfigured();
  PutRunEntry(kProgram);
  registry.DenyAccess(kMachine);
  Load();
  EXPECT_FALSE(settings.EjecutarSiempre);
  EXPECT_EQ(calls, NormalStartCalls(5 * 60000));
}

TEST_F(RegistrySettings, MissingValuesReadAsError) {
  Put(kVersion, "Numero", "1.01");
  Load();
  EXPECT_EQ(settings.Host, "Error");
  EXPECT_EQ(settings.Usuario, "Error");
  EXPECT_EQ(settings.Clave, kErrorDecoded);
  EXPECT_EQ(settings.Frecuencia, "Error");
  EXPECT_EQ(settings.Sonido, "Error");
  EXPECT_EQ(settings.Animacion, "Error");
  EXPECT_FALSE(settings.EjecutarSiempre);
  EXPECT_EQ(calls, NormalStartCalls(60000));
}

TEST_F(RegistrySettings, DamagedValuesReadAsMissingDuringTheLoad) {
  PutConfigured();
  registry.PutValue(kUser, kConfig, "Host", RegistryValue{kRegDword, std::string(4, '\0')});
  registry.PutValue(kUser, kConfig, "frecuencia", RegistryValue{kRegBinary, "5"});
  registry.PutValue(kMachine, kRun, kRunValue, RegistryValue{kRegBinary, kProgram});
  registry.FailReadsOf("usuario");
  Load();
  EXPECT_EQ(settings.Host, "Error");
  EXPECT_EQ(settings.Usuario, "Error");
  EXPECT_EQ(settings.Frecuencia, "Error");
  EXPECT_EQ(settings.Clave, "s3creta");
  EXPECT_FALSE(settings.EjecutarSiempre);
  EXPECT_EQ(calls, NormalStartCalls(60000));
}

TEST_F(RegistrySettings, DamagedVersionCountsAsFirstRun) {
  PutConfigured();
  registry.PutValue(kUser, kVersion, "Numero", RegistryValue{kRegDword, std::string(4, '\1')});
  Load();
  EXPECT_EQ(calls, kFirstRunCalls);
}

TEST_F(RegistrySettings, TimerIntervalFromTheStoredFrequency) {
  struct Case {
    std::string frecuencia;
    unsigned intervalMs;
  };
  PutConfigured();
  for (const Case& c : std::vector<Case>{{"1", 60000},
                                         {"720", 720u * 60000},
                                         {"0", 60000},
                                         {"-5", 60000},
                                         {"721", 720u * 60000},
                                         {"2147483647", 720u * 60000},
                                         {"99999999999", 60000},
                                         {"abc", 60000},
                                         {"", 60000},
                                         {"5 ", 60000}}) {
    Put(kConfig, "frecuencia", c.frecuencia);
    Load();
    EXPECT_EQ(calls, NormalStartCalls(c.intervalMs)) << '"' << c.frecuencia << '"';
    EXPECT_EQ(settings.Frecuencia, c.frecuencia);
  }
}

TEST(FrequencyMinutes, AcceptsOnlyWholeDecimalNumbers) {
  EXPECT_EQ(FrequencyMinutes("720").Value(), 720);
  EXPECT_EQ(FrequencyMinutes("-5").Value(), -5);
  EXPECT_EQ(FrequencyMinutes("007").Value(), 7);
  for (const std::string text : {"", "Error", "12a", " 5", "5 ", "1.5", "+5", "0x10",
                                 "99999999999"}) {
    const OrFailure<int> minutes = FrequencyMinutes(text);
    ASSERT_TRUE(minutes.Failed()) << text;
    EXPECT_STREQ(minutes.Why().kind, "EConvertError");
    EXPECT_EQ(minutes.Why().message, "'" + text + "' is not a valid integer value");
  }
}

TEST_F(RegistrySettings, MigrationScramblesAnOldPlainPassword) {
  PutConfigured();
  Put(kVersion, "Numero", "1.00");
  registry.PutValue(kUser, kConfig, "Codigo", RegistryValue{kRegSz, "stale"});
  Put(kConfig, "clave", "vieja");
  Load();
  EXPECT_EQ(Stored(kVersion, "Numero"), "1.01");
  EXPECT_FALSE(Stored(kConfig, "clave"));
  EXPECT_EQ(Stored(kConfig, "Codigo"), CodificaClave("vieja"));
  EXPECT_EQ(settings.Clave, "vieja");
  EXPECT_EQ(calls, NormalStartCalls(5 * 60000));
}

TEST_F(RegistrySettings, MigrationKeepsLongPasswordsWhole) {
  const std::string longPassword = "una clave mucho mas larga que la del programa";
  Put(kVersion, "Numero", "0.9");
  Put(kConfig, "clave", longPassword);
  Load();
  EXPECT_EQ(Stored(kConfig, "Codigo")->size(), 2 * longPassword.size());
  EXPECT_EQ(settings.Clave, longPassword);
}

TEST_F(RegistrySettings, MigrationOfAnEmptyPlainPasswordWritesNoCode) {
  Put(kVersion, "Numero", "1.00");
  Put(kConfig, "clave", "");
  Load();
  EXPECT_EQ(Stored(kVersion, "Numero"), "1.01");
  EXPECT_FALSE(Stored(kConfig, "clave"));
  EXPECT_FALSE(Stored(kConfig, "Codigo"));
  EXPECT_EQ(settings.Clave, kErrorDecoded);
}

TEST_F(RegistrySettings, MigrationWithoutPlainPasswordOnlyUpdatesTheVersion) {
  PutConfigured();
  Put(kVersion, "Numero", "1.00");
  Load();
  EXPECT_EQ(Stored(kVersion, "Numero"), "1.01");
  EXPECT_EQ(settings.Clave, "s3creta");
}

TEST_F(RegistrySettings, StrayPlainPasswordIsLeftAloneAtTheCurrentVersion) {
  PutConfigured();
  Put(kConfig, "clave", "vieja");
  Load();
  EXPECT_EQ(Stored(kConfig, "clave"), "vieja");
  EXPECT_EQ(settings.Clave, "s3creta");
}

TEST_F(RegistrySettings, SaveWritesEveryValueAndTheRunEntry) {
  settings = SettingsOf("pop.ejemplo.es", "ana", "s3creta", "720", "", "No", true, "1.01");
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kProgram));
  EXPECT_EQ(Stored(kVersion, "Numero"), "1.01");
  EXPECT_EQ(Stored(kConfig, "Host"), "pop.ejemplo.es");
  EXPECT_EQ(Stored(kConfig, "usuario"), "ana");
  EXPECT_EQ(Stored(kConfig, "Codigo"), CodificaClave("s3creta"));
  EXPECT_EQ(Stored(kConfig, "frecuencia"), "720");
  EXPECT_EQ(Stored(kConfig, "Hacer Sonido"), "");
  EXPECT_EQ(Stored(kConfig, "Animacion"), "No");
  EXPECT_EQ(StoredRunEntry(), kProgram);

  Load();
  EXPECT_EQ(settings.Clave, "s3creta");
  EXPECT_EQ(calls, NormalStartCalls(720u * 60000));
}

TEST_F(RegistrySettings, SavedEmptyPasswordIsAnEmptyValueAndLoadsBackEmpty) {
  settings = SettingsOf("pop.ejemplo.es", "ana", "", "1", "Beep", "Si", false, "1.01");
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kProgram));
  EXPECT_EQ(Stored(kConfig, "Codigo"), "");
  settings.Clave = "something";
  Load();
  EXPECT_EQ(settings.Clave, "");
}

TEST_F(RegistrySettings, SaveWithoutStartWithWindowsRemovesTheRunEntry) {
  PutRunEntry(kProgram);
  registry.PutValue(kMachine, kRun, "Otro", RegistryValue{kRegSz, "C:\\otro.exe"});
  settings.EjecutarSiempre = false;
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kProgram));
  EXPECT_FALSE(StoredRunEntry());
  EXPECT_TRUE(registry.GetValue(kMachine, kRun, "Otro"));

  MemoryRegistry empty;
  EXPECT_FALSE(RegistryStore(empty).Save(settings, kProgram));
  EXPECT_EQ(empty.OpenKeyCount(), 0u);
}

TEST_F(RegistrySettings, SaveStopsAtTheFirstFailingStep) {
  registry.FailWritesOf("frecuencia");
  settings = SettingsOf("pop.ejemplo.es", "ana", "x", "5", "Beep", "Si", true, "1.01");
  const auto failure = RegistryStore(registry).Save(settings, kProgram);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "Failed to set data for 'frecuencia'");
  EXPECT_TRUE(Stored(kVersion, "Numero"));
  EXPECT_TRUE(Stored(kConfig, "Host"));
  EXPECT_TRUE(Stored(kConfig, "usuario"));
  EXPECT_TRUE(Stored(kConfig, "Codigo"));
  EXPECT_FALSE(Stored(kConfig, "Hacer Sonido"));
  EXPECT_FALSE(Stored(kConfig, "Animacion"));
  EXPECT_FALSE(StoredRunEntry());
}

TEST_F(RegistrySettings, SaveReportsARunEntryThatNoKeyTakes) {
  registry.DenyAccess(kMachine);
  registry.FailWritesOf(kRunValue);
  settings.EjecutarSiempre = true;
  const auto failure = RegistryStore(registry).Save(settings, kProgram);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "Failed to set data for 'Buzonix Electronico'");
  EXPECT_EQ(Stored(kConfig, "Animacion"), "");
}

// A standard user: HKEY_LOCAL_MACHINE opens for reading only.
class StandardUser : public RegistrySettings {
 protected:
  void SetUp() override { registry.DenyWrites(kMachine); }
  std::optional<std::string> UserRunEntry() {
    const auto value = registry.GetValue(kUser, kRun, kRunValue);
    return value ? std::optional(value->data) : std::nullopt;
  }
};

TEST_F(StandardUser, FirstRunRegistersInTheUsersOwnRunKey) {
  Load();
  EXPECT_EQ(calls, kFirstRunCalls);
  EXPECT_TRUE(settings.EjecutarSiempre);
  EXPECT_EQ(UserRunEntry(), kProgram);
  EXPECT_FALSE(StoredRunEntry());
}

TEST_F(StandardUser, EitherRunKeyNamingTheProgramReadsAsChecked) {
  PutConfigured();
  PutRunEntry(kProgram);  // an administrator's machine-wide entry
  Load();
  EXPECT_TRUE(settings.EjecutarSiempre);
  EXPECT_EQ(calls, NormalStartCalls(5 * 60000));

  PutRunEntry("D:\\OTRO.EXE");
  registry.PutValue(kUser, kRun, kRunValue, RegistryValue{kRegSz, kProgram});
  Load();
  EXPECT_TRUE(settings.EjecutarSiempre);
  registry.PutValue(kUser, kRun, kRunValue, RegistryValue{kRegSz, "c:\archivos de programa\buzonix\buzel.exe"});
  Load();
  EXPECT_FALSE(settings.EjecutarSiempre);
}

TEST_F(StandardUser, SaveWritesAndRemovesTheUsersOwnEntry) {
  settings = SettingsOf("pop.ejemplo.es", "ana", "x", "5", "Beep", "Si", true, "1.01");
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kProgram));
  EXPECT_EQ(UserRunEntry(), kProgram);
  EXPECT_FALSE(StoredRunEntry());
  EXPECT_EQ(Stored(kConfig, "Animacion"), "Si");

  settings.EjecutarSiempre = false;
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kProgram));
  EXPECT_FALSE(UserRunEntry());
}

TEST_F(StandardUser, AnAdministratorsEntryIsNeitherDoubledNorTouched) {
  PutRunEntry(kProgram);
  settings.EjecutarSiempre = true;
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kProgram));
  EXPECT_FALSE(UserRunEntry());  // the program would start twice at logon
  settings.EjecutarSiempre = false;
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kProgram));
  EXPECT_EQ(StoredRunEntry(), kProgram);  // beyond the user's rights
}

TEST_F(RegistrySettings, MachineWideEntryReplacesTheUsersOwn) {
  registry.PutValue(kUser, kRun, kRunValue, RegistryValue{kRegSz, kProgram});
  settings.EjecutarSiempre = true;
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kProgram));
  EXPECT_EQ(StoredRunEntry(), kProgram);
  EXPECT_FALSE(registry.GetValue(kUser, kRun, kRunValue));
}

// The copy the installer put in place: its Uninstall entry names its folder.
class InstalledCopy : public RegistrySettings {
 protected:
  static constexpr char kUninstall[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Buzonix";
  static inline const std::string kFolder = "C:\\Users\\ana\\AppData\\Local\\Programs\\Buzonix";
  static inline const std::string kInstalled = kFolder + "\\Buzonix.exe";

  void SetUp() override { Install(registry, kFolder); }
  static void Install(MemoryRegistry& into, const std::string& folder) {
    into.PutValue(kUser, kUninstall, "InstallLocation", RegistryValue{kRegSz, folder});
  }
  std::optional<std::string> UserRunEntry() {
    const auto value = registry.GetValue(kUser, kRun, kRunValue);
    return value ? std::optional(value->data) : std::nullopt;
  }
};

TEST_F(InstalledCopy, OnlyTheCopyInTheInstalledFolderIsTheInstalledOne) {
  struct Case {
    std::string installLocation, program;
    RunEntryPlace place;
  } cases[] = {
      {kFolder, kInstalled, RunEntryPlace::kUserOnly},
      {kFolder + "\\", kInstalled, RunEntryPlace::kUserOnly},
      {"c:\\users\\ANA\\appdata\\local\\programs\\buzonix", kInstalled, RunEntryPlace::kUserOnly},
      {kFolder, "D:\\Buzonix\\Buzonix.exe", RunEntryPlace::kMachineWhereAllowed},
      {kFolder, kFolder + "\\viejo\\Buzonix.exe", RunEntryPlace::kMachineWhereAllowed},
      {kFolder + "2", kInstalled, RunEntryPlace::kMachineWhereAllowed},
      {"", kInstalled, RunEntryPlace::kMachineWhereAllowed},
  };
  for (const Case& c : cases) {
    MemoryRegistry fresh;
    Install(fresh, c.installLocation);
    EXPECT_EQ(RunEntryPlaceFor(fresh, c.program), c.place) << c.installLocation << " " << c.program;
  }
  MemoryRegistry uninstalled;
  EXPECT_EQ(RunEntryPlaceFor(uninstalled, kInstalled), RunEntryPlace::kMachineWhereAllowed);
}

TEST_F(InstalledCopy, FirstRunKeepsTheInstallersChoiceAndNeverWritesMachineWide) {
  registry.PutValue(kUser, kRun, kRunValue, RegistryValue{kRegSz, kInstalled});  // the box ticked
  Load(kInstalled);
  EXPECT_EQ(calls, kFirstRunCalls);
  EXPECT_TRUE(settings.EjecutarSiempre);
  EXPECT_EQ(UserRunEntry(), kInstalled);
  EXPECT_FALSE(StoredRunEntry());

  MemoryRegistry unticked;
  Install(unticked, kFolder);
  RecordingHost recorder(kInstalled);
  Settings fresh;
  LoadSettings(unticked, fresh, recorder);
  EXPECT_EQ(recorder.calls, kFirstRunCalls);
  EXPECT_FALSE(fresh.EjecutarSiempre);
  EXPECT_FALSE(unticked.GetValue(kUser, kRun, kRunValue));
  EXPECT_FALSE(unticked.GetValue(kMachine, kRun, kRunValue));
}

TEST_F(InstalledCopy, SaveMovesAMachineWideEntryToTheUsersOwnAndRemovesBoth) {
  PutRunEntry("D:\\VIEJO\\BUZONIX.EXE");  // a loose copy's, from an administrator's run
  settings = SettingsOf("pop.ejemplo.es", "ana", "x", "5", "Beep", "Si", true, "1.01");
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kInstalled));
  EXPECT_EQ(UserRunEntry(), kInstalled);
  EXPECT_FALSE(StoredRunEntry());
  Load(kInstalled);
  EXPECT_TRUE(settings.EjecutarSiempre);

  settings.EjecutarSiempre = false;
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kInstalled));
  EXPECT_FALSE(UserRunEntry());
  EXPECT_FALSE(StoredRunEntry());
}

TEST_F(InstalledCopy, AStandardUsersMachineWideEntryForThisCopyStaysTheOnlyOne) {
  registry.DenyWrites(kMachine);
  PutRunEntry(kInstalled);
  settings.EjecutarSiempre = true;
  EXPECT_FALSE(RegistryStore(registry).Save(settings, kInstalled));
  EXPECT_FALSE(UserRunEntry());
  EXPECT_EQ(StoredRunEntry(), kInstalled);
}

// '?' stands where the Windows layer could not spell a character of the path.
TEST_F(InstalledCopy, APathThatNamesNoFileIsNeverWrittenButTheInstallersEntryStands) {
  const std::string unspelled = "C:\\Users\\????\\Buzonix.exe";
  MemoryRegistry loose;
  RecordingHost recorder(unspelled);
  Settings fresh;
  LoadSettings(loose, fresh, recorder);
  EXPECT_FALSE(fresh.EjecutarSiempre);
  EXPECT_FALSE(loose.GetValue(kMachine, kRun, kRunValue));
  fresh.EjecutarSiempre = true;
  EXPECT_TRUE(RegistryStore(loose).Save(fresh, unspelled));
  EXPECT_FALSE(loose.GetValue(kMachine, kRun, kRunValue));
  EXPECT_FALSE(loose.GetValue(kUser, kRun, kRunValue));

  // The installer's entry, which the Windows layer reads in the same spelling.
  MemoryRegistry installed;
  Install(installed, "C:\\Users\\????");
  installed.PutValue(kUser, kRun, kRunValue, RegistryValue{kRegSz, unspelled});
  EXPECT_FALSE(RegistryStore(installed).Save(fresh, unspelled));
  EXPECT_EQ(installed.GetValue(kUser, kRun, kRunValue)->data, unspelled);
}

// The refresh token is sealed before it reaches the registry; one that does
// not unseal, or a store that cannot seal, means signing in again.
TEST(RegistryStoreTest, TheRefreshTokenIsSealedAndWhatDoesNotUnsealReadsAsNone) {
  MemoryRegistry registry;
  testing::TestSealer sealer;
  Settings settings;
  settings.Host = "h";
  settings.OAuthRefresco = "secreto-de-refresco";
  EXPECT_FALSE(RegistryStore(registry, sealer).Save(settings, kProgram));
  const auto stored = registry.GetValue(kUser, kConfig, "OAuthRefresco");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->data.find("secreto"), std::string::npos);
  EXPECT_EQ(stored->data.find_first_not_of("0123456789abcdef"), std::string::npos);

  const auto read_with = [&](SecretSealer& reader) {
    Settings read;
    EXPECT_FALSE(RegistryStore(registry, reader).Read(read, kProgram));
    return read.OAuthRefresco;
  };
  testing::TestSealer other("otra-entropia");
  EXPECT_TRUE(read_with(sealer) == "secreto-de-refresco");
  EXPECT_TRUE(read_with(other).empty());
  for (const char* damaged : {"zz", "abc", ""}) {
    registry.PutValue(kUser, kConfig, "OAuthRefresco", RegistryValue{kRegSz, damaged});
    EXPECT_TRUE(read_with(sealer).empty()) << damaged;
  }
  EXPECT_TRUE(RegistryStore(registry).SaveRefreshToken(settings));
}

// The registry store in memory, as the contract sees it.
struct MemoryRegistryPlace {
  MemoryRegistry registry;
  testing::TestSealer sealer;
  RegistryStore store{registry, sealer};
  RegistryStore reopened{registry, sealer};
  SettingsStore& Store() { return store; }
  SettingsStore& Reopened() { return reopened; }
  std::string ProgramPath() { return kProgram; }
};
}  // namespace

namespace testing {
INSTANTIATE_TYPED_TEST_SUITE_P(MemoryRegistry, SettingsStoreContract, ::testing::Types<MemoryRegistryPlace>);
}  // namespace testing
}  // namespace buzonix
