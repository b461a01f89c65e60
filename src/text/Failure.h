// Errors that stop the step that met them. The program raises none as a C++
// exception: a step that can fail hands its Failure back, and whoever reports
// it (an error box, the start-up report) says what the user reads.
#pragma once

#include <optional>
#include <string>
#include <utility>

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
  OrFailure(T value) : value_(std::move(value)) {}
  OrFailure(Failure failure) : failure_(std::move(failure)) {}

  bool Failed() const { return failure_.has_value(); }
  const T& Value() const { return *value_; }
  const Failure& Why() const { return *failure_; }
  T ValueOr(T fallback) const { return value_ ? *value_ : fallback; }

 private:
  std::optional<T> value_;
  std::optional<Failure> failure_;
};

}  // namespace buzonix
