// Errors that stop the step that met them. The program raises none as a C++
// exception: a step that can fail hands its Failure back, and whoever reports
// it (an error box, the start-up report) says what the user reads.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace buzonix {

struct Failure {
  // The class the start-up report names, as the user's earlier versions did.
  const char* kind;
  std::string message;
};

inline constexpr char kRegistryFailure[] = "ERegistryException";
inline constexpr char kConvertFailure[] = "EConvertError";

inline Failure RegistryFailure(std::string message) { return {kRegistryFailure, std::move(message)}; }

// "'<text>' is not a valid integer value", as the conversions word it.
inline Failure NotAnInteger(const std::string& text) {
  return {kConvertFailure, "'" + text + "' is not a valid integer value"};
}

// Nothing when the step went through, else why it stopped; never ignored.
class [[nodiscard]] MaybeFailure : public std::optional<Failure> {
 public:
  using std::optional<Failure>::optional;
};

// A value, or why there is none.
template <typename T>
class [[nodiscard]] OrFailure {
 public:
  OrFailure(T value) : held_(std::move(value)) {}
  OrFailure(Failure failure) : held_(std::move(failure)) {}

  bool Failed() const { return std::holds_alternative<Failure>(held_); }
  const T& Value() const { return *std::get_if<T>(&held_); }
  const Failure& Why() const { return *std::get_if<Failure>(&held_); }
  T ValueOr(T fallback) const { return Failed() ? fallback : Value(); }

 private:
  std::variant<T, Failure> held_;
};

}  // namespace buzonix
