#pragma once
// The errors the JSON library raises. Each carries its message as UTF-16 text; what() gives it
// in UTF-8.
#include <stdexcept>
#include <string>

#include "core/ustring.h"

namespace vx::json {

// Message() is the text as raised; what() shows a NUL in it as \u0000, so that a C string
// carries the whole message (the position suffix of syntax errors included).
class EJSONBaseError : public std::runtime_error {
 public:
  explicit EJSONBaseError(const UString& message) : std::runtime_error(Visible(message)), FMessage(message) {}
  [[nodiscard]] const UString& Message() const noexcept { return FMessage; }

 private:
  static std::string Visible(const UString& message) {
    std::string text = UToUtf8(message);
    for (size_t i = text.find('\0'); i != std::string::npos; i = text.find('\0', i + 6))
      text.replace(i, 1, "\\u0000");
    return text;
  }
  UString FMessage;
};

// The library's own errors ("Unknown JSON Type").
class EJSONError : public EJSONBaseError {
 public:
  using EJSONBaseError::EJSONBaseError;
};

// A text stored into a date member is not a date ("Invalid date format.").
class EJSONInvalidDate : public EJSONError {
 public:
  using EJSONError::EJSONError;
};

// The reader's syntax errors; the message ends with ". (Line: %d Col: %d)".
class TJSONSyntaxError : public EJSONError {
 public:
  TJSONSyntaxError(const UString& text, std::int32_t line, std::int32_t col)
      : EJSONError(text + u". (Line: " + IntToU(line) + u" Col: " + IntToU(col) + u")") {}
};

// A value was asked for as a kind it is not.
class EInvalidCast : public EJSONBaseError {
 public:
  EInvalidCast() : EJSONBaseError(u"Invalid class typecast") {}
};

// A text could not be converted to a number.
class EConvertError : public EJSONBaseError {
 public:
  using EJSONBaseError::EJSONBaseError;
};

// A negative or otherwise impossible index.
class EArgumentOutOfRange : public EJSONBaseError {
 public:
  EArgumentOutOfRange() : EJSONBaseError(u"Argument out of range") {}
};

// A local time inside the hour skipped when daylight saving time starts has no UTC equivalent.
class ELocalTimeInvalid : public EJSONBaseError {
 public:
  using EJSONBaseError::EJSONBaseError;
};

}  // namespace vx::json
