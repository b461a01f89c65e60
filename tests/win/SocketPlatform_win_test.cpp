// Winsock under the socket component starts with its first use, so a run
// that never checks must also end without a failure of its own.
#ifdef _WIN32

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include "win/SocketPlatform_win.h"

namespace buzonix {
namespace {

// Each test runs in a process of its own: nothing else has started Winsock.
TEST(WinSocketPlatformTest, StartsOnFirstUseAndEndsCleanlyUsedOrNot) {
  WinSocketPlatform platform;
  ASSERT_EQ(platform.Startup(), 0);
  EXPECT_EQ(platform.Cleanup(), 0) << "an unused start must not end in WSACleanup's failure";

  ASSERT_EQ(platform.Startup(), 0);
  const SocketHandle s = platform.OpenSocket(AF_INET, IPPROTO_TCP);
  ASSERT_NE(s, kNoSocket) << platform.LastError();
  EXPECT_EQ(platform.CloseSocket(s), 0);
  EXPECT_EQ(platform.Cleanup(), 0);
  // Ended: Winsock is no longer started for this process.
  EXPECT_EQ(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

}  // namespace
}  // namespace buzonix

#endif
