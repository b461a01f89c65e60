// Every step of the dialogue against every fault a server can show: what the
// user sees afterwards, what reached the server, and that the next check
// starts clean.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mailcheck/CheckMailFixture.h"

namespace buzonix {
namespace {

enum class Step { kGreeting, kUser, kPass, kApop, kStat, kQuit };
enum class Fault {
  kStall, kClose, kReset, kBytewise, kLongLine, kNoCrLf, kNul, kHighBytes, kErrLower, kErrUpper,
  kStatNoSize, kStatTwoSpaces, kStatHuge,
};

// What the user is left with.
enum class Outcome {
  kMessages,     // "3 Mensajes"
  kNoMail,       // "No Hay Mensajes" (also an unreadable count)
  kError,        // "Error en Conexion" with the error icon
  kRefused,      // "Clave incorrecta", timer off
  kUnchanged,    // the earlier tooltip stays ("No hay Mensajes")
};

struct Cell {
  Step step;
  Fault fault;
  Outcome outcome;
  bool quitSent;
  std::vector<std::string> boxes;
};

constexpr char kGreeting[] = "+OK ready\\r\\n";
constexpr char kStampedGreeting[] = "+OK ready <1896.697170952@dbc.mtview.ca.us>\\r\\n";
const std::string kNoAnswer = "error:El servidor no responde";
const std::string kPlainNoAnswer = "plain:El servidor no responde";
const std::string kReset = "error:Conexion resestablecida por el par";
const std::string kUnreadable = "plain:Protocol erroneo: Contacte con el autor. y enviele por mail el siguiente mensaje:\r";

std::string Send(const std::string& text) { return R"({"send": ")" + text + R"("})"; }

// The reply that goes wrong, as steps of the scripted server.
std::string FaultySteps(Fault fault, const std::string& good) {
  switch (fault) {
    case Fault::kStall: return R"({"stall": 3})";
    // A moment first, so that the client is surely waiting for the reply.
    case Fault::kClose: return R"({"stall": 0.2}, {"close": 1})";
    case Fault::kReset: return R"({"stall": 0.2}, {"reset": 1})";
    case Fault::kBytewise: return R"({"send": ")" + good + R"(", "bytewise": 0.002})";
    case Fault::kLongLine: return Send(good.substr(0, good.size() - 4) + std::string(600, 'x') + "\\r\\n");
    case Fault::kNoCrLf: return Send(good.substr(0, good.size() - 4)) + R"(, {"close": 1})";
    case Fault::kNul: return Send("+OK \\u0000" + good.substr(3));
    case Fault::kHighBytes: return Send("+OK \\u00e9\\u00ff" + good.substr(3));
    case Fault::kErrLower: return Send("-err no\\r\\n");
    case Fault::kErrUpper: return Send("-ERR no\\r\\n");
    case Fault::kStatNoSize: return Send("+OK 3\\r\\n");
    case Fault::kStatTwoSpaces: return Send("+OK  3 726\\r\\n");
    case Fault::kStatHuge: return Send("+OK 2147483648 726\\r\\n");
  }
  return "";
}

// The whole dialogue, well-behaved up to `cell.step`, where the fault comes.
std::string Script(const Cell& cell) {
  const bool apop = cell.step == Step::kApop;
  const std::vector<std::pair<Step, std::string>> replies = apop
      ? std::vector<std::pair<Step, std::string>>{{Step::kGreeting, kStampedGreeting}, {Step::kApop, "+OK in\\r\\n"},
                                                   {Step::kStat, "+OK 3 726\\r\\n"}, {Step::kQuit, "+OK bye\\r\\n"}}
      : std::vector<std::pair<Step, std::string>>{{Step::kGreeting, kGreeting}, {Step::kUser, "+OK\\r\\n"},
                                                   {Step::kPass, "+OK in\\r\\n"}, {Step::kStat, "+OK 3 726\\r\\n"},
                                                   {Step::kQuit, "+OK bye\\r\\n"}};
  // After the fault the server goes on with the dialogue, unless the
  // connection is gone.
  const bool ends = cell.fault == Fault::kClose || cell.fault == Fault::kReset || cell.fault == Fault::kNoCrLf;
  std::string steps;
  for (const auto& [step, reply] : replies) {
    if (!steps.empty()) steps += R"(, {"read": 1}, )";
    if (step != cell.step) {
      steps += Send(reply);
      continue;
    }
    steps += FaultySteps(cell.fault, reply);
    if (ends) break;
  }
  return R"({"steps": [)" + steps + R"(, {"stall": 2}]})";
}

const char* Name(Outcome o) {
  switch (o) {
    case Outcome::kMessages: return "messages";
    case Outcome::kNoMail: return "no mail";
    case Outcome::kError: return "error";
    case Outcome::kRefused: return "refused";
    case Outcome::kUnchanged: return "unchanged";
  }
  return "?";
}

Outcome Seen(const testing::RecordingCheckHost& host) {
  if (host.tooltip == "3 Mensajes") return Outcome::kMessages;
  if (host.tooltip == "No Hay Mensajes") return Outcome::kNoMail;
  if (host.tooltip == "Error en Conexion" && host.icon == "Bandera2") return Outcome::kError;
  if (host.tooltip == "Clave incorrecta" && host.icon == "Bandera2" && !host.timer_enabled) return Outcome::kRefused;
  if (host.tooltip == "No hay Mensajes" && host.icon == "none") return Outcome::kUnchanged;
  return static_cast<Outcome>(-1);
}

class FaultMatrixTest : public testing::CheckMailFixture, public ::testing::WithParamInterface<Cell> {};

TEST_P(FaultMatrixTest, OutcomeTrafficAndCleanState) {
  const Cell& cell = GetParam();
  sockets.Timeout = 1;
  UseScript(Script(cell));
  check.CheckMail();

  EXPECT_STREQ(Name(Seen(host)), Name(cell.outcome)) << host.tooltip << " / " << host.icon;
  EXPECT_EQ(host.boxes, cell.boxes);
  EXPECT_FALSE(state.Chequeando);
  EXPECT_EQ(sockets.Socket(), kNoSocket);
  testing::ConnectionEnds(1);
  const auto lines = testing::ReceivedLines();
  for (const auto& line : lines) EXPECT_EQ(line.find_first_of("\r\n"), line.size() - 2) << line;
  const bool quit = !lines.empty() && lines.back() == "QUIT\r\n";
  EXPECT_EQ(quit, cell.quitSent);

  // The next check runs from a clean state, against a server that behaves.
  host.boxes.clear();
  host.timer_enabled = true;
  UseScript(R"({"mode": "pop3", "greeting": "+OK hi", "users": {"alice": "secret"}, "count": 2, "size": 9})");
  check.CheckMail();
  EXPECT_EQ(host.tooltip, "2 Mensajes");
  EXPECT_TRUE(host.boxes.empty());
}

std::vector<Cell> Cells() {
  using F = Fault;
  using O = Outcome;
  const std::vector<std::string> none;
  const std::vector<std::string> plainNoAnswer{kPlainNoAnswer};
  const std::vector<std::string> timedOut{kNoAnswer};
  std::vector<Cell> cells = {
      // Greeting: anything but +OK ends the check with a plain message.
      {Step::kGreeting, F::kStall, O::kError, false, {kNoAnswer, kPlainNoAnswer}},
      {Step::kGreeting, F::kClose, O::kUnchanged, false, plainNoAnswer},
#ifdef _WIN32
      // Wine's Winsock reports a reset that arrives while a call waits as an
      // orderly close: the cell then reads as the close cell.
      {Step::kGreeting, F::kReset, O::kUnchanged, false, plainNoAnswer},
#else
      {Step::kGreeting, F::kReset, O::kError, false, {kReset, kPlainNoAnswer}},
#endif
      {Step::kGreeting, F::kBytewise, O::kMessages, true, none},
      {Step::kGreeting, F::kLongLine, O::kUnchanged, false, plainNoAnswer},  // cut before its CR: empty
      {Step::kGreeting, F::kNoCrLf, O::kUnchanged, false, plainNoAnswer},
      {Step::kGreeting, F::kNul, O::kUnchanged, false, plainNoAnswer},  // cut at the zero: no CR left
      {Step::kGreeting, F::kHighBytes, O::kMessages, true, none},
      {Step::kGreeting, F::kErrLower, O::kUnchanged, false, plainNoAnswer},
      {Step::kGreeting, F::kErrUpper, O::kUnchanged, false, plainNoAnswer},
      // USER: its reply is not judged; a failure ends the check at the next test.
      {Step::kUser, F::kStall, O::kError, false, timedOut},
      {Step::kUser, F::kClose, O::kError, false, {kReset}},  // PASS meets the closed connection
      {Step::kUser, F::kReset, O::kError, false, {kReset}},
      {Step::kUser, F::kBytewise, O::kMessages, true, none},
      {Step::kUser, F::kErrUpper, O::kMessages, true, none},
      // PASS: -ERR in either case is a refused password.
      {Step::kPass, F::kStall, O::kError, false, timedOut},
      {Step::kPass, F::kClose, O::kError, false, {kUnreadable, kReset}},  // an empty STAT reply, then QUIT fails
      {Step::kPass, F::kReset, O::kError, false, {kReset}},
      {Step::kPass, F::kBytewise, O::kMessages, true, none},
      {Step::kPass, F::kErrLower, O::kRefused, false, {"plain:Clave incorrecta"}},
      {Step::kPass, F::kErrUpper, O::kRefused, false, {"plain:Clave incorrecta"}},
      {Step::kPass, F::kLongLine, O::kMessages, true, none},
      {Step::kApop, F::kStall, O::kError, false, timedOut},
      {Step::kApop, F::kErrUpper, O::kRefused, false, {"plain:Clave incorrecta"}},
      {Step::kApop, F::kErrLower, O::kRefused, false, {"plain:Clave incorrecta"}},
      {Step::kApop, F::kReset, O::kError, false, {kReset}},
      // STAT: an unreadable count is shown and counts as no mail.
      {Step::kStat, F::kStall, O::kError, false, timedOut},
      {Step::kStat, F::kBytewise, O::kMessages, true, none},
      {Step::kStat, F::kStatNoSize, O::kNoMail, true, {kUnreadable + "+OK 3"}},
      {Step::kStat, F::kStatTwoSpaces, O::kMessages, true, none},
      {Step::kStat, F::kStatHuge, O::kNoMail, true, {kUnreadable + "+OK 2147483648 726"}},
      {Step::kStat, F::kNoCrLf, O::kNoMail, false, {kUnreadable}},
      {Step::kStat, F::kNul, O::kNoMail, true, {kUnreadable}},
      // QUIT: the count is already shown; the goodbye does not matter.
      // A failed goodbye is still a connection error to the tray.
      {Step::kQuit, F::kStall, O::kError, true, timedOut},
      {Step::kQuit, F::kClose, O::kMessages, true, none},
#ifdef _WIN32
      {Step::kQuit, F::kReset, O::kMessages, true, none},
#else
      {Step::kQuit, F::kReset, O::kError, true, {kReset}},
#endif
  };
  return cells;
}

// "StatHuge": the step and the fault, stable from run to run.
std::string CellText(const Cell& cell) {
  static const char* const steps[] = {"Greeting", "User", "Pass", "Apop", "Stat", "Quit"};
  static const char* const faults[] = {"Stall", "Close", "Reset", "Bytewise", "LongLine", "NoCrLf", "Nul",
                                       "HighBytes", "ErrLower", "ErrUpper", "StatNoSize", "StatTwoSpaces",
                                       "StatHuge"};
  return std::string(steps[static_cast<int>(cell.step)]) + faults[static_cast<int>(cell.fault)];
}

std::string CellName(const ::testing::TestParamInfo<Cell>& info) { return CellText(info.param); }

// How GoogleTest shows a cell (otherwise a dump of its bytes, heap pointers included).
void PrintTo(const Cell& cell, std::ostream* out) { *out << CellText(cell); }

INSTANTIATE_TEST_SUITE_P(Dialogue, FaultMatrixTest, ::testing::ValuesIn(Cells()), CellName);

}  // namespace
}  // namespace buzonix
