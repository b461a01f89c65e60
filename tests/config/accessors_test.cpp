// TRegIniFile, TRegMaquina and the byte encoding of values, over the in-memory
// registry.
#include <gtest/gtest.h>

#include <string>

#include "support/MemoryRegistry.h"
#include "config/settings.h"

namespace buzonix {
namespace {

constexpr auto kUser = RegistryRoot::kCurrentUser;
constexpr auto kMachine = RegistryRoot::kLocalMachine;
const std::string kConfig = "Software\\Buzonix\\Configuracion";

class Accessors : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(registry.OpenKeyCount(), 0u) << "a key was left open"; }

  void Seed(const std::string& name, std::uint32_t type, const std::string& data) {
    registry.PutValue(kUser, kConfig, name, RegistryValue{type, data});
  }
  std::string Read(const std::string& name) {
    return LeeClave(registry, "Software\\Buzonix", "Configuracion", name).ValueOr("(failed)");
  }
  std::string ReadError(const std::string& name) {
    const OrFailure<std::string> read = LeeClave(registry, "Software\\Buzonix", "Configuracion", name);
    return read.Failed() ? read.Why().message : "(no error)";
  }

  MemoryRegistry registry;
};

TEST_F(Accessors, PureReadCreatesTheStoreKeyButNoSection) {
  EXPECT_EQ(Read("Host"), "Error");
  EXPECT_TRUE(registry.KeyExists(kUser, "Software\\Buzonix"));
  EXPECT_FALSE(registry.KeyExists(kUser, kConfig));
}

TEST_F(Accessors, WriteStoresTextBytesWithoutTerminatingZero) {
  EXPECT_FALSE(GrabaClave(registry, "Software\\Buzonix", "Configuracion", "Host", "pop.ejemplo.es"));
  EXPECT_FALSE(GrabaClave(registry, "Software\\Buzonix", "Configuracion", "Codigo", ""));
  EXPECT_FALSE(GrabaClave(registry, "Software\\Buzonix", "Configuracion", "usuario", "Jos\xE9"));

  const auto host = registry.GetValue(kUser, kConfig, "Host");
  ASSERT_TRUE(host);
  EXPECT_EQ(host->type, kRegSz);
  EXPECT_EQ(host->data, "pop.ejemplo.es");
  EXPECT_EQ(host->data.size(), 14u);
  const auto codigo = registry.GetValue(kUser, kConfig, "Codigo");
  ASSERT_TRUE(codigo);
  EXPECT_EQ(codigo->type, kRegSz);
  EXPECT_EQ(codigo->data.size(), 0u);
  EXPECT_EQ(registry.GetValue(kUser, kConfig, "usuario")->data, "Jos\xE9");
}

TEST_F(Accessors, ReadCutsTextAtFirstZeroByte) {
  Seed("plain", kRegSz, "abc");
  Seed("terminated", kRegSz, std::string("abc\0", 4));
  Seed("inner", kRegSz, std::string("ab\0cd\0", 6));
  Seed("empty", kRegSz, "");
  Seed("only-zero", kRegSz, std::string(1, '\0'));
  Seed("expand", kRegExpandSz, std::string("%TEMP%\0", 7));
  EXPECT_EQ(Read("plain"), "abc");
  EXPECT_EQ(Read("terminated"), "abc");
  EXPECT_EQ(Read("inner"), "ab");
  EXPECT_EQ(Read("empty"), "");
  EXPECT_EQ(Read("only-zero"), "");
  EXPECT_EQ(Read("expand"), "%TEMP%");
}

TEST_F(Accessors, NamesIgnoreLetterCase) {
  EXPECT_FALSE(GrabaClave(registry, "SOFTWARE\\buzonix", "CONFIGURACION", "HOST", "x"));
  EXPECT_EQ(Read("host"), "x");
}

TEST_F(Accessors, ReadErrorsNameTheValue) {
  Seed("frecuencia", kRegDword, std::string("\x05\0\0\0", 4));
  Seed("Animacion", kRegBinary, "");
  Seed("Host", kRegSz, "x");
  registry.FailReadsOf("Host");
  EXPECT_EQ(ReadError("frecuencia"), "Invalid data type for 'frecuencia'");
  EXPECT_EQ(ReadError("Animacion"), "Invalid data type for 'Animacion'");
  EXPECT_EQ(ReadError("Host"), "Failed to get data for 'Host'");
}

TEST_F(Accessors, WriteErrorNamesTheValue) {
  registry.FailWritesOf("Host");
  const MaybeFailure failure = GrabaClave(registry, "Software\\Buzonix", "Configuracion", "Host", "x");
  ASSERT_TRUE(failure);
  EXPECT_STREQ(failure->kind, "ERegistryException");
  EXPECT_EQ(failure->message, "Failed to set data for 'Host'");
}

TEST_F(Accessors, KeyThatCannotOpenMakesReadsDefaultAndDeletesHarmless) {
  registry.PutValue(kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                    "Buzonix Electronico", RegistryValue{kRegSz, "C:\\b.exe"});
  registry.DenyAccess(kMachine);
  TRegMaquina maquina(registry, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run");
  EXPECT_EQ(maquina.ReadString("", "Buzonix Electronico", "Error").Value(), "Error");
  maquina.DeleteValue("Run", "Buzonix Electronico");
  EXPECT_TRUE(registry.GetValue(kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                "Buzonix Electronico"));
}

TEST_F(Accessors, DeleteWorksOnTheAccessorsOwnKeyAndIgnoresTheSection) {
  Seed("clave", kRegSz, "in section");
  registry.PutValue(kUser, "Software\\Buzonix", "clave", RegistryValue{kRegSz, "in store key"});

  TRegIniFile(registry, "Software\\Buzonix").DeleteValue("Configuracion", "clave");
  EXPECT_FALSE(registry.GetValue(kUser, "Software\\Buzonix", "clave"));
  EXPECT_TRUE(registry.GetValue(kUser, kConfig, "clave"));

  TRegIniFile(registry, kConfig).DeleteValue("whatever", "clave");
  EXPECT_FALSE(registry.GetValue(kUser, kConfig, "clave"));
  TRegIniFile(registry, kConfig).DeleteValue("whatever", "clave");
}

TEST_F(Accessors, MachineAccessorWorksBelowLocalMachineAndKeepsItsPath) {
  TRegMaquina maquina(registry, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  EXPECT_EQ(maquina.Ruta, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  EXPECT_FALSE(maquina.WriteString("Run", "Buzonix Electronico", "C:\\b.exe"));
  EXPECT_EQ(maquina.ReadString("Run", "Buzonix Electronico", "Error").Value(), "C:\\b.exe");
  EXPECT_TRUE(registry.GetValue(kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                                "Buzonix Electronico"));
  EXPECT_FALSE(registry.KeyExists(kUser, "SOFTWARE\\Microsoft"));
}

}  // namespace
}  // namespace buzonix
