#include "config/MemoryRegistry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace buzonix {
namespace {

constexpr auto kUser = RegistryRoot::kCurrentUser;
constexpr auto kMachine = RegistryRoot::kLocalMachine;

class MemoryRegistryFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "buzonix-registry-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
  }
  void TearDown() override { std::remove(path_.c_str()); }
  void WriteFile(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }

  std::string path_;
};

TEST_F(MemoryRegistryFile, SaveAndLoadKeepEveryKeyValueAndByte) {
  MemoryRegistry saved;
  saved.PutValue(kUser, "Software\\Buzonix\\Configuracion", "Hacer Sonido",
                 RegistryValue{kRegSz, "Beep"});
  saved.PutValue(kUser, "Software\\Buzonix\\Configuracion", "Codigo", RegistryValue{kRegSz, ""});
  saved.PutValue(kUser, "Software\\Buzonix\\Configuracion", "odd",
                 RegistryValue{kRegBinary, std::string("\0%: \xFF\n:", 7)});
  saved.PutValue(kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                 "Buzonix Electronico", RegistryValue{kRegSz, "/opt/bz/buzonix"});
  { const RegKey created = saved.CreateKey(saved.Root(kUser), "Software\\Empty Key", KeyAccess::kWrite); }
  ASSERT_TRUE(saved.SaveToFile(path_));

  MemoryRegistry loaded;
  ASSERT_TRUE(loaded.LoadFromFile(path_));
  EXPECT_EQ(loaded.GetValue(kUser, "Software\\Buzonix\\Configuracion", "hacer sonido")->data,
            "Beep");
  const auto codigo = loaded.GetValue(kUser, "Software\\Buzonix\\Configuracion", "Codigo");
  ASSERT_TRUE(codigo);
  EXPECT_EQ(codigo->type, kRegSz);
  EXPECT_EQ(codigo->data, "");
  const auto odd = loaded.GetValue(kUser, "Software\\Buzonix\\Configuracion", "odd");
  ASSERT_TRUE(odd);
  EXPECT_EQ(odd->type, kRegBinary);
  EXPECT_EQ(odd->data, std::string("\0%: \xFF\n:", 7));
  EXPECT_EQ(loaded.GetValue(kMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                            "Buzonix Electronico")->data,
            "/opt/bz/buzonix");
  EXPECT_TRUE(loaded.KeyExists(kUser, "Software\\Empty Key"));
  EXPECT_FALSE(loaded.KeyExists(kMachine, "Software\\Empty Key"));
}

TEST_F(MemoryRegistryFile, RefusesMissingOrMalformedFilesAndKeepsItsContents) {
  MemoryRegistry registry;
  registry.PutValue(kUser, "Software\\Buzonix", "kept", RegistryValue{kRegSz, "yes"});
  EXPECT_FALSE(registry.LoadFromFile(path_ + ".absent"));
  for (const std::string text : {
           "not a registry file\n",
           "buzonix-registry 1\nvalue 1 :orphan :x\n",
           "buzonix-registry 1\nkey HKEY_CLASSES_ROOT :x\n",
           "buzonix-registry 1\nkey HKEY_CURRENT_USER :x\nvalue 1 :bad%4 :x\n",
           "buzonix-registry 1\nkey HKEY_CURRENT_USER :x\nvalue one :n :x\n",
           "buzonix-registry 1\nkey HKEY_CURRENT_USER :x\nvalue 1 :n\n",
       }) {
    WriteFile(text);
    EXPECT_FALSE(registry.LoadFromFile(path_)) << text;
    EXPECT_EQ(registry.GetValue(kUser, "Software\\Buzonix", "kept")->data, "yes") << text;
  }
}

TEST_F(MemoryRegistryFile, RefusesToLoadWhileAKeyIsOpen) {
  MemoryRegistry registry;
  ASSERT_TRUE(registry.SaveToFile(path_));
  const RegKey open = registry.CreateKey(registry.Root(kUser), "Software", KeyAccess::kWrite);
  EXPECT_FALSE(registry.LoadFromFile(path_));
}

TEST(MemoryRegistry, OpenDoesNotCreateAndHandlesCloseWithTheirOwner) {
  MemoryRegistry registry;
  EXPECT_FALSE(registry.OpenKey(registry.Root(kUser), "Software\\Buzonix", KeyAccess::kRead).IsOpen());
  EXPECT_FALSE(registry.KeyExists(kUser, "Software"));
  {
    RegKey created = registry.CreateKey(registry.Root(kUser), "Software\\Buzonix", KeyAccess::kWrite);
    ASSERT_TRUE(created.IsOpen());
    RegKey moved = std::move(created);
    EXPECT_FALSE(created.IsOpen());
    EXPECT_EQ(registry.OpenKeyCount(), 1u);
    RegKey sub = registry.OpenKey(moved.Handle(), "", KeyAccess::kRead);
    EXPECT_EQ(registry.OpenKeyCount(), 2u);
    sub = registry.OpenKey(registry.Root(kUser), "SOFTWARE", KeyAccess::kRead);
    EXPECT_EQ(registry.OpenKeyCount(), 2u);
  }
  EXPECT_EQ(registry.OpenKeyCount(), 0u);
}

}  // namespace
}  // namespace buzonix
