// Automation errors: the exception that carries a raised error, the thread's pending error `Err`,
// and the small helpers that give each routine its failure style at a glance.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "automation/Text.h"

namespace automation {

// The platform's run-time error numbers used across the component.
namespace errors {
inline constexpr std::int32_t InvalidProcedureCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t SubscriptOutOfRange = 9;
inline constexpr std::int32_t DivisionByZero = 11;
inline constexpr std::int32_t TypeMismatch = 13;
inline constexpr std::int32_t InternalError = 51;
inline constexpr std::int32_t ObjectNotSet = 91;
inline constexpr std::int32_t InvalidUseOfNull = 94;
inline constexpr std::int32_t ControlArrayElementMissing = 340;
inline constexpr std::int32_t ObjectAlreadyLoaded = 360;
inline constexpr std::int32_t ObjectRequired = 424;
inline constexpr std::int32_t CannotCreateObject = 429;
inline constexpr std::int32_t MemberNotSupported = 438;
inline constexpr std::int32_t ActionNotSupported = 445;
inline constexpr std::int32_t ArgumentNotOptional = 449;
inline constexpr std::int32_t WrongArgumentCount = 450;
}  // namespace errors

// The platform's own description of a run-time error number ("" for numbers it does not know).
std::u16string standardDescription(std::int32_t number);

class AutomationError : public std::exception {
 public:
  // An empty description takes the platform's standard one for the number.
  explicit AutomationError(std::int32_t number, std::u16string description = {}, std::u16string source = {},
                           std::u16string helpFile = {}, std::int32_t helpContext = 0);

  std::int32_t number() const noexcept { return number_; }
  const std::u16string& description() const noexcept { return description_; }
  const std::u16string& source() const noexcept { return source_; }
  const std::u16string& helpFile() const noexcept { return helpFile_; }
  std::int32_t helpContext() const noexcept { return helpContext_; }

  // "Error <number>: <description>" in UTF-8.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::int32_t number_;
  std::u16string description_;
  std::u16string source_;
  std::u16string helpFile_;
  std::int32_t helpContext_;
  std::string what_;
};

// Raises run-time error `number`, with the standard description unless one is given.
[[noreturn]] void raise(std::int32_t number, std::u16string description = {});

// The pending error of the current thread, as the platform keeps it between a failing statement
// and the code that looks at it.
struct ErrObject {
  std::int32_t Number = 0;
  std::u16string Description;
  std::u16string Source;
  std::u16string HelpFile;
  std::int32_t HelpContext = 0;

  // Keeps the texts' room: code that ignores errors clears after almost every statement.
  void Clear() {
    Number = 0;
    Description.clear();
    Source.clear();
    HelpFile.clear();
    HelpContext = 0;
  }
  void set(const AutomationError& error);
  [[noreturn]] void Raise(std::int32_t number, std::u16string source = {}, std::u16string description = {},
                          std::u16string helpFile = {}, std::int32_t helpContext = 0);
  // The pending error as an exception object (for passing it on unchanged).
  AutomationError toError() const;
};

ErrObject& Err();

// Turns any exception escaping `body` into an AutomationError; library failures that are not
// automation errors become error 51 with their message, so callers see one kind of failure.
template <class F>
decltype(auto) asAutomation(F&& body) {
  try {
    return std::forward<F>(body)();
  } catch (const AutomationError&) {
    throw;
  } catch (const std::exception& e) {
    throw AutomationError(errors::InternalError, fromUtf8(e.what()));
  }
}

// Failure style "ignore and continue": runs one statement; a failure is recorded in Err and
// skipped. Returns true when the statement succeeded.
template <class F>
bool ignoreErrors(F&& statement) {
  try {
    asAutomation(std::forward<F>(statement));
    return true;
  } catch (const AutomationError& e) {
    Err().set(e);
    return false;
  }
}

// Failure style "trap and leave": the first failure ends the routine with `fallback` as its result.
// Leaving through the handler clears Err, as the platform does when such a routine exits.
template <class R, class F>
R trapAndLeave(R fallback, F&& body) {
  try {
    return asAutomation(std::forward<F>(body));
  } catch (const AutomationError&) {
    Err().Clear();
    return fallback;
  }
}

// Failure style "trap and tell": the first failure ends the routine and is handed to `tell`
// (which usually shows it to the user). Returns true when the body ran to its end.
template <class F, class Tell>
bool trapAndTell(F&& body, Tell&& tell) {
  try {
    asAutomation(std::forward<F>(body));
    return true;
  } catch (const AutomationError& e) {
    Err().set(e);
    std::forward<Tell>(tell)(e);
    Err().Clear();
    return false;
  }
}

// A routine whose statements ignore their errors clears Err when it returns, as the platform does
// on leaving a routine that had a handler: declare one at the top of such a routine.
class ClearErrOnExit {
 public:
  ClearErrOnExit() = default;
  ~ClearErrOnExit() { Err().Clear(); }
  ClearErrOnExit(const ClearErrOnExit&) = delete;
  ClearErrOnExit& operator=(const ClearErrOnExit&) = delete;
};

// Style "no trap" needs no helper: the routine simply lets the error reach its caller.

}  // namespace automation
