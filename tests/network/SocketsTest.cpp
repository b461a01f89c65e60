#include <gtest/gtest.h>

#include "network/Sockets.h"
#include "support/TestPlatform.h"

namespace buzonix {
namespace {

using testing::TestPlatform;

struct Report {
  SocketHandle socket;
  int error;
  std::string msg;
};

class SocketsTest : public ::testing::Test {
 protected:
  SocketsTest() : sockets(platform.Sockets()) {
    sockets.Aplicacion = "Prueba";
    sockets.SetNonBlocking(false);
    sockets.Port = "110";
    sockets.IPAddr = testing::ScriptedAddress();
    sockets.OnErrorOccurred = [this](TSockets&, SocketHandle s, int error, const std::string& msg) {
      reports.push_back({s, error, msg});
    };
  }
  ~SocketsTest() override {
    if (sockets.Socket() != kNoSocket) sockets.Disconnect();
  }

  TestPlatform platform;
  TSockets sockets;
  std::vector<Report> reports;
};

TEST(ErrorTextTest, KnownAndUnknownCodes) {
  EXPECT_EQ(ErrorText(10061), "Conexion rechazada");
  EXPECT_EQ(ErrorText(10048), "Direcci\xF3n ya en uso");
  EXPECT_EQ(ErrorText(10060), "El servidor no responde");
  EXPECT_EQ(ErrorText(11002), "Servidor no encontrado");
  EXPECT_EQ(ErrorText(0), "No es un error WinSock");
  EXPECT_EQ(ErrorText(12345), "No es un error WinSock");
}

TEST_F(SocketsTest, MissingSettingsShowBoxesWithoutEventOrSocket) {
  sockets.Port = "";
  sockets.IPAddr = "";
  EXPECT_FALSE(sockets.SConnect());
  sockets.Port = "110";
  EXPECT_FALSE(sockets.SConnect());
  EXPECT_EQ(platform.Boxes(), (std::vector<std::string>{"Prueba|No se ha especificado el Puerto",
                                                        "Prueba|No se ha especificado direccion IP"}));
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(sockets.Socket(), kNoSocket);
}

TEST_F(SocketsTest, PortThatIsNeitherServiceNorNumberRaisesConversionError) {
  sockets.Port = "nonexistent-service";
  const MaybeFailure failure = sockets.SConnect();
  ASSERT_TRUE(failure);
  EXPECT_STREQ(failure->kind, "EConvertError");
  EXPECT_EQ(failure->message, "'nonexistent-service' is not a valid integer value");
  EXPECT_EQ(sockets.Socket(), kNoSocket);
}

// An empty label makes the name impossible: the resolver refuses it at once,
// without a query leaving the machine, as it answers a name that does not exist.
TEST_F(SocketsTest, ANameThatCannotExistIsReportedAsNotFound) {
  sockets.IPAddr = "pop..ejemplo.invalid";
  EXPECT_FALSE(sockets.SConnect());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].error, 11001);
  EXPECT_EQ(reports[0].msg, "Servidor no encontrado");
  EXPECT_EQ(reports[0].socket, kNoSocket);
  EXPECT_EQ(sockets.Socket(), kNoSocket);
}

TEST_F(SocketsTest, OtherLookUpFailuresReturnSilentlyWithoutSocket) {
  platform.AnswerLookUps({LookUpResult::kFailed, {}});
  EXPECT_FALSE(sockets.SConnect());
  EXPECT_EQ(sockets.Socket(), kNoSocket);
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(platform.Boxes().empty());
}

TEST_F(SocketsTest, EachAddressIsTriedInTheResolversOrderAndOnlyTheLastFailureIsReported) {
  testing::SetScript(R"({"steps": [{"send": "+OK\r\n"}]})");
  const SocketAddress refused = platform.LiteralAddress(testing::DeadAddress(), "110");
  platform.AnswerLookUps(
      {LookUpResult::kFound, {refused, platform.LiteralAddress("::1", testing::ScriptedIpv6Port())}});
  EXPECT_FALSE(sockets.SConnect());
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ(sockets.GetText(), "+OK\r\n");
  sockets.Disconnect();

  platform.AnswerLookUps({LookUpResult::kFound, {refused, refused}});
  EXPECT_FALSE(sockets.SConnect());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].error, 10061);
}

TEST_F(SocketsTest, RefusedConnectionReportsOnceAndKeepsTheSocket) {
  sockets.IPAddr = testing::DeadAddress();
  EXPECT_FALSE(sockets.SConnect());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].error, 10061);
  EXPECT_EQ(reports[0].msg, "Conexion rechazada");
  EXPECT_NE(sockets.Socket(), kNoSocket);
}

TEST_F(SocketsTest, WithoutHandlerAFailureShowsTheFullTextAndEndsTheProgram) {
  sockets.OnErrorOccurred = nullptr;
  sockets.IPAddr = testing::DeadAddress();
  // The test platform's end of the program writes its boxes out, one a line.
  EXPECT_EXIT((void)sockets.SConnect(), ::testing::ExitedWithCode(0),
              "box Prueba\\|Error 10061 en funcion SConnect\r\nConexion rechazada");
}

TEST_F(SocketsTest, ReceiveIsBoundedAndSplitsLongRepliesAcrossCalls) {
  testing::SetScript(R"({"steps": [{"send": "abcdefghij\u0000klm"}, {"stall": 5}]})");
  sockets.MaximumReceiveLength = 4;
  EXPECT_FALSE(sockets.SConnect());
  ASSERT_TRUE(reports.empty());
  EXPECT_EQ(sockets.GetText(), "abcd");
  EXPECT_EQ(sockets.GetText(), "efgh");
  sockets.MaximumReceiveLength = 255;
  EXPECT_EQ(sockets.GetText(), "ij");  // the text ends before the zero byte
}

TEST_F(SocketsTest, SetTextSendsEveryByteOfALongText) {
  testing::SetScript(R"({"steps": [{"read": 1}, {"send": "+OK\r\n"}]})");
  EXPECT_FALSE(sockets.SConnect());
  const std::string long_line = std::string(100000, 'x') + "\r\n";
  sockets.SetText(long_line);
  EXPECT_EQ(sockets.GetText(), "+OK\r\n");  // the server has read the whole line
  auto lines = testing::ReceivedLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], long_line);
  EXPECT_TRUE(reports.empty());
}

TEST_F(SocketsTest, PeerCloseGivesEmptyTextWithoutReport) {
  testing::SetScript(R"({"steps": [{"close": 1}]})");
  EXPECT_FALSE(sockets.SConnect());
  EXPECT_EQ(sockets.GetText(), "");
  EXPECT_TRUE(reports.empty());
}

TEST_F(SocketsTest, StalledServerTimesOutWithTwoReportsBeforeTheCallReturns) {
  testing::SetScript(R"({"steps": [{"stall": 5}]})");
  sockets.Timeout = 1;
  EXPECT_FALSE(sockets.SConnect());
  const SocketHandle s = sockets.Socket();
  EXPECT_EQ(sockets.GetText(), "");
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].error, 10060);
  EXPECT_EQ(reports[0].msg, "Llamada bloqueada");
  EXPECT_EQ(reports[0].socket, s);
  EXPECT_EQ(reports[1].error, 10004);
  EXPECT_EQ(reports[1].msg, "Llamada al sistema interrumpida");
}

TEST_F(SocketsTest, TimeoutWithoutHandlerShowsItsOwnBoxAndGoesOn) {
  testing::SetScript(R"({"steps": [{"stall": 5}]})");
  sockets.Timeout = 1;
  EXPECT_FALSE(sockets.SConnect());
  sockets.OnErrorOccurred = nullptr;
  // The 10004 that follows the time-out is fatal.
  EXPECT_EXIT((void)sockets.GetText(), ::testing::ExitedWithCode(0),
              "box LLAMADA A WINSOCK CANCELADA\\|Error 10060\r\nBlocking call timed out\n"
              "box Prueba\\|Error 10004 en funcion GetText \\(Recv\\)\r\nLlamada al sistema interrumpida");
}

TEST_F(SocketsTest, OtherHandlersRunWhileACallWaits) {
  testing::SetScript(R"({"steps": [{"stall": 0.3}, {"send": "+OK\r\n"}]})");
  EXPECT_FALSE(sockets.SConnect());
  int ran = 0;
  platform.After(50, [&] { ++ran; });
  EXPECT_EQ(sockets.GetText(), "+OK\r\n");
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(reports.empty());
}

TEST_F(SocketsTest, DisconnectClosesAbortivelyAndTwiceReportsInvalidSocket) {
  testing::SetScript(R"({"steps": []})");
  EXPECT_FALSE(sockets.SConnect());
  sockets.Disconnect();
  EXPECT_EQ(sockets.Socket(), kNoSocket);
  EXPECT_EQ(testing::ConnectionEnds(1).size(), 1u);  // the connection was ended
  EXPECT_TRUE(reports.empty());
  sockets.Disconnect();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].error, 10038);
  EXPECT_EQ(sockets.Socket(), kNoSocket);
}

TEST_F(SocketsTest, OperationsWithoutSocket) {
  EXPECT_EQ(sockets.GetText(), "");
  EXPECT_TRUE(reports.empty());
  sockets.SetText("STAT\r\n");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].error, 10038);
  EXPECT_EQ(reports[0].msg, "No hay sockets");
}

TEST_F(SocketsTest, NonBlockingModeRaisesConnectAndReadEvents) {
  testing::SetScript(R"({"steps": [{"send": "+OK hola\r\n"}, {"stall": 2}]})");
  sockets.SetNonBlocking(true);
  std::vector<std::string> events;
  sockets.OnSessionConnected = [&](TSockets&, SocketHandle) { events.push_back("connected"); };
  sockets.OnDataAvailable = [&](TSockets& s, SocketHandle) {
    events.push_back("read:" + s.GetText());
  };
  EXPECT_FALSE(sockets.SConnect());
  EXPECT_TRUE(reports.empty());  // 10035 is not reported
  for (int i = 0; i < 100 && events.size() < 2; ++i) platform.Pump(20);
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[0], "connected");
  EXPECT_EQ(events[1], "read:+OK hola\r\n");
}

}  // namespace
}  // namespace buzonix
