#include "support/MemoryRegistry.h"

#include <gtest/gtest.h>

#include <string>

namespace buzonix {
namespace {

constexpr auto kUser = RegistryRoot::kCurrentUser;

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
