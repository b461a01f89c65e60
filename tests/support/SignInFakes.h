// Sign-in ports the tests drive: a token endpoint with scripted answers that
// records every form, a browser that records the URL, a listener the test
// feeds, a timer the test fires, and a driven clock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "signin/Ports.h"

namespace buzonix::testing {

class FakeHttps final : public HttpsTransport {
 public:
  HttpsAnswer PostForm(const std::string& url, const std::string& form) override {
    posts.push_back({url, form});
    if (during_post) during_post();
    if (answers.empty()) return {};
    HttpsAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void Answer(int status, const std::string& body) {
    HttpsAnswer answer;
    answer.outcome = HttpsAnswer::Outcome::kAnswered;
    answer.status = status;
    answer.body = body;
    answers.push_back(answer);
  }
  struct Post {
    std::string url, form;
  };
  std::vector<Post> posts;
  std::deque<HttpsAnswer> answers;  // none left: unreachable
  std::function<void()> during_post;
};

class FakeBrowser final : public SystemBrowser {
 public:
  bool Open(const std::string& url) override {
    urls.push_back(url);
    return opens;
  }
  std::vector<std::string> urls;
  bool opens = true;
};

class FakeListener final : public LoopbackListener {
 public:
  std::uint16_t Listen(ListenerEvents& listener_events) override {
    events = &listener_events;
    listening = port != 0;
    return port;
  }
  void Respond(int connection, const std::string& response) override {
    responses.push_back({connection, response});
  }
  void Close() override {
    listening = false;
    ++closes;
  }
  struct Response {
    int connection;
    std::string text;
  };
  std::uint16_t port = 49152;
  bool listening = false;
  int closes = 0;
  ListenerEvents* events = nullptr;
  std::vector<Response> responses;
};

class FakeTimer final : public OneShotTimer {
 public:
  void Start(unsigned milliseconds) override { running_ms = milliseconds; }
  void Stop() override { running_ms = 0; }
  unsigned running_ms = 0;
};

// Random bytes that are not random: a counter, so that runs repeat.
inline std::string CountingBytes(std::size_t count) {
  static unsigned char next = 0;
  std::string bytes;
  for (std::size_t i = 0; i < count; ++i) bytes += static_cast<char>(next++);
  return bytes;
}

}  // namespace buzonix::testing
