// A value or one clear error line: how the host reports failures without
// letting an exception cross the module boundary.
#ifndef KWHOST_RESULT_H
#define KWHOST_RESULT_H

#include <string>
#include <utility>
#include <variant>

namespace kwhost {

struct Error {
  std::string message;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}  // NOLINT: implicit like std::expected
  Result(Error e) : v_(std::move(e)) {}      // NOLINT

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& value() { return std::get<0>(v_); }
  const T& value() const { return std::get<0>(v_); }
  T& operator*() { return value(); }
  T* operator->() { return &value(); }
  const std::string& error() const { return std::get<1>(v_).message; }

 private:
  std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error e) : err_(std::move(e.message)), failed_(true) {}  // NOLINT
  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& error() const { return err_; }

 private:
  std::string err_;
  bool failed_ = false;
};

inline Error fail(std::string message) { return Error{std::move(message)}; }

}  // namespace kwhost

#endif
