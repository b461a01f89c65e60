// The byte stream a POP3 dialogue runs over: the socket itself, or TLS on top
// of it. Failures are reported through the socket component's error event.
#pragma once

#include <string>

#include "network/Sockets.h"

namespace buzonix {

class ByteChannel {
 public:
  // Sends every byte; false when it failed (already reported).
  virtual bool Send(const std::string& bytes) = 0;
  // The next bytes that arrived, as one receive of the socket reports them.
  virtual TSockets::Received Receive() = 0;

 protected:
  ~ByteChannel() = default;
};

class PlainChannel final : public ByteChannel {
 public:
  explicit PlainChannel(TSockets& sockets) : sockets_(sockets) {}
  bool Send(const std::string& bytes) override { return sockets_.SendBytes(bytes); }
  TSockets::Received Receive() override { return sockets_.Receive(); }

 private:
  TSockets& sockets_;
};

}  // namespace buzonix
