// The sign-in ports as the tests drive them: each records what it was asked
// and answers what the test set.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "signin/OAuth.h"
#include "signin/Ports.h"

namespace buzonix {

inline HttpsAnswer Answered(int status, std::string body) {
  HttpsAnswer answer;
  answer.outcome = HttpsAnswer::Outcome::kAnswered;
  answer.status = status;
  answer.body = std::move(body);
  return answer;
}

class FakeTransport final : public HttpsTransport {
 public:
  struct Request {
    std::string url;
    std::string form;
  };
  std::vector<Request> requests;
  std::deque<HttpsAnswer> answers;  // one for each request; unreachable when none is left
  std::function<void()> during;     // runs while the answer is awaited

  HttpsAnswer PostForm(const std::string& url, const std::string& form) override {
    requests.push_back({url, form});
    if (during) during();
    if (answers.empty()) return {};
    HttpsAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

class FakeBrowser final : public SystemBrowser {
 public:
  std::vector<std::string> opened;
  bool opens = true;
  bool Open(const std::string& url) override {
    opened.push_back(url);
    return opens;
  }
};

class FakeListener final : public LoopbackListener {
 public:
  std::uint16_t port = 43123;  // 0: cannot listen
  ListenerEvents* events = nullptr;
  bool listening = false;
  std::map<int, std::string> responses;

  std::uint16_t Listen(ListenerEvents& to) override {
    if (port == 0) return 0;
    events = &to;
    listening = true;
    return port;
  }
  void Respond(int connection, const std::string& response) override { responses[connection] = response; }
  void Close() override { listening = false; }
};

class FakeTimer final : public OneShotTimer {
 public:
  bool running = false;
  unsigned milliseconds = 0;
  void Start(unsigned ms) override {
    running = true;
    milliseconds = ms;
  }
  void Stop() override { running = false; }
};

// Different bytes on every call, as a real source gives.
inline RandomBytes CountingRandom() {
  return [counter = 0](std::size_t count) mutable {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) bytes += static_cast<char>(++counter);
    return bytes;
  };
}

}  // namespace buzonix
