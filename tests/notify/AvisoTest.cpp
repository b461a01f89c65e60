// The notice window's portable handlers (notify/aviso.h) over a recording
// window, and the acknowledgement of a count with the mail check.
#include "notify/aviso.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "mailcheck/CheckMail.h"
#include "support/TestPlatform.h"

namespace buzonix {
namespace {

// Notes what the handlers ask of the window, one text per call.
class RecordingWindow final : public AvisoWindow {
 public:
  void SetCaption(const std::string& caption) override { Note("caption " + caption); }
  void SetClientSize(int width, int height) override {
    Note("size " + std::to_string(width) + "x" + std::to_string(height));
  }
  void CreateFrames() override {
    frames = true;
    Note("frames");
  }
  void FreeFrames() override {
    frames = false;
    Note("free");
  }
  void StartTimer(unsigned milliseconds) override {
    timer = true;
    Note("timer " + std::to_string(milliseconds));
  }
  void StopTimer() override {
    timer = false;
    Note("stop");
  }
  void DrawFrame(int index) override {
    EXPECT_TRUE(frames) << "drawn without frames";
    drawn.push_back(index);
  }
  void ReleaseAfterQueuedEvents() override { Note("release"); }

  std::vector<std::string> calls;
  std::vector<int> drawn;
  bool frames = false;
  bool timer = false;

 private:
  void Note(const std::string& call) { calls.push_back(call); }
};

// FrameIndex as at program start for each test, and as it was after.
class AvisoTest : public ::testing::Test {
 protected:
  AvisoTest() : saved_(FrameIndex) { FrameIndex = 0; }
  ~AvisoTest() override { FrameIndex = saved_; }

  Pop3Unit unit;

 private:
  std::int32_t saved_;
};

TEST_F(AvisoTest, FormCreateMarksTheWindowOpenAndStartsTheAnimation) {
  unit.check.NumMensajes = 3;
  RecordingWindow window;
  AvisoForm form(unit, window);
  form.FormCreate();
  EXPECT_EQ(unit.VentanasAbiertas, kNoticeWindowOpen);
  EXPECT_EQ(window.calls, (std::vector<std::string>{"caption 3 Mensajes", "size 148x112", "frames",
                                                    "timer 160"}));
  EXPECT_TRUE(window.drawn.empty());
}

TEST_F(AvisoTest, CaptionHasNoSingularForm) {
  EXPECT_EQ(AvisoCaption(1), "1 Mensajes");
  EXPECT_EQ(AvisoCaption(120), "120 Mensajes");
  unit.check.NumMensajes = 120;
  RecordingWindow window;
  AvisoForm form(unit, window);
  form.FormCreate();
  EXPECT_EQ(window.calls.front(), "caption 120 Mensajes");
}

TEST_F(AvisoTest, FirstTickAfterProgramStartShowsFrameOneAndARepaintFrameZero) {
  RecordingWindow window;
  AvisoForm form(unit, window);
  form.FormCreate();
  form.FormPaint();
  form.Timer1Timer();
  EXPECT_EQ(window.drawn, (std::vector<int>{0, 1}));
  EXPECT_EQ(FrameIndex, 1);
}

TEST_F(AvisoTest, AfterTheLastFrameComesFrameZeroAndATurnTakesTwelveTicks) {
  EXPECT_EQ(NextFrame(0), 1);
  EXPECT_EQ(NextFrame(10), 11);
  EXPECT_EQ(NextFrame(11), 0);
  RecordingWindow window;
  AvisoForm form(unit, window);
  form.FormCreate();
  for (int i = 0; i < 13; ++i) form.Timer1Timer();
  EXPECT_EQ(window.drawn, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0, 1}));
}

TEST_F(AvisoTest, RepaintAlwaysShowsFrameZeroUntilTheNextTick) {
  RecordingWindow window;
  AvisoForm form(unit, window);
  form.FormCreate();
  for (int i = 0; i < 7; ++i) form.Timer1Timer();
  window.drawn.clear();
  form.FormPaint();
  form.Timer1Timer();
  EXPECT_EQ(window.drawn, (std::vector<int>{0, 8}));
}

TEST_F(AvisoTest, SecondWindowGoesOnFromTheFrameAfterTheLastShown) {
  RecordingWindow first;
  AvisoForm firstForm(unit, first);
  firstForm.FormCreate();
  for (int i = 0; i < 5; ++i) firstForm.Timer1Timer();
  firstForm.FormClick();

  RecordingWindow second;
  AvisoForm secondForm(unit, second);
  secondForm.FormCreate();
  secondForm.FormPaint();
  secondForm.Timer1Timer();
  EXPECT_EQ(first.drawn.back(), 5);
  EXPECT_EQ(second.drawn, (std::vector<int>{0, 6}));
}

TEST_F(AvisoTest, ClickStopsAcknowledgesFreesClearsTheBitAndReleases) {
  unit.check.NumMensajes = 4;
  unit.check.NumAvisados = 2;
  unit.VentanasAbiertas = kConfigDialogOpen;
  RecordingWindow window;
  AvisoForm form(unit, window);
  form.FormCreate();
  EXPECT_EQ(unit.VentanasAbiertas, kConfigDialogOpen | kNoticeWindowOpen);
  window.calls.clear();
  form.FormClick();
  EXPECT_EQ(window.calls, (std::vector<std::string>{"stop", "free", "release"}));
  EXPECT_EQ(unit.check.NumAvisados, 4);
  EXPECT_EQ(unit.VentanasAbiertas, kConfigDialogOpen);  // the dialog's bit is kept
  EXPECT_TRUE(form.Clicked());
}

TEST_F(AvisoTest, AfterTheClickNothingMoreIsDrawnAndASecondClickChangesNothing) {
  unit.check.NumMensajes = 4;
  RecordingWindow window;
  AvisoForm form(unit, window);
  form.FormCreate();
  form.FormClick();
  // A new notice window opened before the first was released.
  RecordingWindow next;
  AvisoForm nextForm(unit, next);
  unit.check.NumMensajes = 5;
  nextForm.FormCreate();
  window.calls.clear();
  form.Timer1Timer();
  form.FormPaint();
  form.FormClick();
  EXPECT_TRUE(window.drawn.empty());
  EXPECT_TRUE(window.calls.empty());
  EXPECT_EQ(unit.VentanasAbiertas, kNoticeWindowOpen);  // the new window's bit stays
  EXPECT_EQ(unit.check.NumAvisados, 4);
  EXPECT_EQ(FrameIndex, 0);
}

// The main form's part of a check, with real notice handlers over recording
// windows: a new window when bit value 1 is clear, then caption and show.
class NoticeHost final : public CheckHost {
 public:
  explicit NoticeHost(Pop3Unit& unit) : unit_(unit) {}

  void SetTrayIcon(TrayPicture) override {}
  void SetToolTip(const std::string& text) override { tooltip_ = text; }
  std::string ToolTip() const override { return tooltip_; }
  void ErrorBox(const std::string& text) override { boxes.push_back(text); }
  void PlainMessage(const std::string& text) override { boxes.push_back(text); }
  void Beep() override { ++beeps; }
  void FollowNotice(std::int32_t) override {}
  void ShowNotice(std::int32_t count) override {
    if ((unit_.VentanasAbiertas & kNoticeWindowOpen) == 0) {
      windows.push_back(std::make_unique<RecordingWindow>());
      forms.push_back(std::make_unique<AvisoForm>(unit_, *windows.back()));
      forms.back()->FormCreate();
    }
    windows.back()->SetCaption(AvisoCaption(count));
    shown.push_back(count);
  }
  void DisableTimer() override {}

  std::vector<std::unique_ptr<RecordingWindow>> windows;
  std::vector<std::unique_ptr<AvisoForm>> forms;
  std::vector<std::int32_t> shown;
  std::vector<std::string> boxes;
  int beeps = 0;

 private:
  Pop3Unit& unit_;
  std::string tooltip_;
};

class AvisoCheckTest : public AvisoTest {
 protected:
  AvisoCheckTest() : host(unit), check(sockets, unit.check, unit.settings, host) {
    sockets.MaximumReceiveLength = 255;
    sockets.OnErrorOccurred = [this](TSockets& s, SocketHandle h, int e, const std::string& m) {
      check.Sockets1ErrorOccurred(s, h, e, m);
    };
    unit.settings.Usuario = "alice";
    unit.settings.Clave = "secret";
    unit.settings.Sonido = "Beep";
    unit.settings.Animacion = "Si";
  }
  void Serve(int count) {
    testing::SetScript(R"({"mode": "pop3", "greeting": "+OK ready", "users": {"alice": "secret"}, "count": )" +
                       std::to_string(count) + R"(, "size": 726})");
    unit.settings.Host = testing::ScriptedAddress();
  }

  testing::TestPlatform platform;
  NoticeHost host;
  TSockets sockets{platform.Sockets()};
  MailCheck check;
};

TEST_F(AvisoCheckTest, ClickStopsRenotifyingTheSameCountAndADifferentCountNotifiesAgain) {
  Serve(3);
  check.CheckMail();
  ASSERT_EQ(host.shown, (std::vector<std::int32_t>{3}));
  ASSERT_EQ(host.windows.size(), 1u);
  EXPECT_EQ(host.windows[0]->calls.front(), "caption 3 Mensajes");

  check.CheckMail();  // not yet acknowledged: the open window is renewed
  EXPECT_EQ(host.shown, (std::vector<std::int32_t>{3, 3}));
  EXPECT_EQ(host.windows.size(), 1u);
  EXPECT_EQ(host.beeps, 2);

  host.forms[0]->FormClick();
  EXPECT_EQ(unit.check.NumAvisados, 3);
  EXPECT_EQ(unit.VentanasAbiertas, 0);
  check.CheckMail();  // the same count: no notice, no beep
  EXPECT_EQ(host.shown.size(), 2u);
  EXPECT_EQ(host.beeps, 2);

  Serve(5);
  check.CheckMail();  // a different positive count: a new window
  EXPECT_EQ(host.shown, (std::vector<std::int32_t>{3, 3, 5}));
  ASSERT_EQ(host.windows.size(), 2u);
  EXPECT_EQ(host.windows[1]->calls.front(), "caption 5 Mensajes");
  EXPECT_EQ(host.beeps, 3);
  EXPECT_EQ(unit.VentanasAbiertas, kNoticeWindowOpen);
  EXPECT_TRUE(host.boxes.empty());
}

}  // namespace
}  // namespace buzonix
