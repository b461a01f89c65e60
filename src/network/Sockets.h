// TSockets: one TCP client connection turned into four text operations, every
// blocking call bounded by a time-out, every failure turned into one error event
// carrying a short Spanish message.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "network/SocketPlatform.h"
#include "text/Failure.h"

namespace buzonix {

class TSockets;

using TSocketEvent = std::function<void(TSockets& sender, SocketHandle socket)>;
using TDataAvailable = TSocketEvent;
using TDataNeeded = TSocketEvent;
using TSessionClosed = TSocketEvent;
using TSessionAvailable = TSocketEvent;
using TSessionConnected = TSocketEvent;
using TErrorOccurred =
    std::function<void(TSockets& sender, SocketHandle socket, int error, const std::string& msg)>;

// Short Spanish message of a Winsock error code (Windows-1252 bytes).
std::string ErrorText(int code);


class TSockets : private SocketWindowSink {
 public:
  explicit TSockets(SocketPlatform& platform);
  ~TSockets();
  TSockets(const TSockets&) = delete;
  TSockets& operator=(const TSockets&) = delete;

  std::string Aplicacion;
  std::string IPAddr;
  std::string Port;
  int Timeout = 30;
  int MaximumReceiveLength = 8192;

  TDataAvailable OnDataAvailable;
  TDataNeeded OnDataNeeded;
  TSessionClosed OnSessionClosed;
  TSessionAvailable OnSessionAvailable;
  TSessionConnected OnSessionConnected;
  TErrorOccurred OnErrorOccurred;
  // The wake timer's one shot (see StartWakeTimer).
  TSocketEvent OnWakeTimer;

  bool NonBlocking() const { return non_blocking_ == 1; }
  void SetNonBlocking(bool on) { non_blocking_ = on ? 1 : 0; }
  SocketHandle Socket() const { return socket_; }

  // A conversion failure, before any socket is made, when Port is neither
  // a service name nor a decimal integer.
  MaybeFailure SConnect();
  // Sends every byte of `value` up to its first zero byte, repeating the send
  // until the platform has taken them all.
  void SetText(const std::string& value);
  // Sends every byte of `bytes`, zero bytes included; false when a send
  // failed (already reported).
  bool SendBytes(std::string_view bytes);
  std::string GetText();
  void Disconnect();

  // An open connection of a blocking component waits for the peer from the
  // main loop: OnDataAvailable and OnSessionClosed until it is turned off
  // again, when the calls block as before.
  void WatchSocket(bool on);
  // One OnWakeTimer after `milliseconds`, on the time-out's timer: only while
  // no blocking call runs, since each of them takes that timer over.
  void StartWakeTimer(unsigned milliseconds);
  void StopWakeTimer();

  // One receive of at most MaximumReceiveLength bytes, zero bytes kept.
  struct Received {
    enum Status { kData, kClosed, kFailed, kNoSocket } status;
    std::string bytes;
  };
  Received Receive();

  void ReportError(SocketHandle socket, const std::string& function, int code);
  // The same report with a message of the caller's own.
  void ReportError(SocketHandle socket, const std::string& function, int code,
                   const std::string& msg);

 private:
  void OnTimerMessage() override;
  void OnSocketNotification(SocketHandle socket, int event, int error) override;
  void StartTimeout();
  void StopTimeout();
  OrFailure<std::uint16_t> ResolvePort();
  int ConnectTo(const SocketAddress& address);

  SocketPlatform& platform_;
  std::optional<int> tcp_protocol_;
  SocketHandle socket_ = kNoSocket;
  int non_blocking_ = 1;
  std::uint16_t remote_port_ = 0;
  bool wake_armed_ = false;
};

}  // namespace buzonix
