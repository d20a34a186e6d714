// The one error type of the system: a number, a description and a source.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace fg {

// Numbers with a fixed meaning across the system.
namespace errnum {
inline constexpr long InvalidProcedureCall = 5;  // also: a missing collection key or position
inline constexpr long Overflow = 6;
inline constexpr long OutOfMemory = 7;
inline constexpr long SubscriptOutOfRange = 9;
inline constexpr long TypeMismatch = 13;
inline constexpr long BadFileNameOrNumber = 52;
inline constexpr long FileNotFound = 53;
inline constexpr long FileAlreadyExists = 58;
inline constexpr long PermissionDenied = 70;
inline constexpr long PathFileAccessError = 75;
inline constexpr long PathNotFound = 76;
inline constexpr long ObjectNotSet = 91;
inline constexpr long InvalidPropertyValue = 380;
inline constexpr long ReadOnlyProperty = 383;
inline constexpr long InvalidPicture = 481;
// Object error 513, raised by the common and client classes to their callers.
inline constexpr long ClientClassError = static_cast<int32_t>(0x80040201u);
}  // namespace errnum

class Error : public std::exception {
public:
    Error(long number, std::string description, std::string source = {});

    // An error with the standard Japanese text of a well-known number.
    static Error standard(long number, std::string source = {});
    static std::string standardText(long number);

    long number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    const std::string& source() const noexcept { return source_; }
    void setSource(std::string source) { source_ = std::move(source); }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    long number_;
    std::string description_;
    std::string source_;
    std::string what_;
};

// The exception being handled, as an Error. Ours keep their number; a foreign
// one gets a fixed number for its kind (out of memory 7, out of range 9, any
// other 5) with its standard text and its own words. Call only inside a catch.
Error currentError();

// Writes the exception being handled to the error log under `source` and
// returns it as an Error. Never throws; call only inside a catch.
Error logCurrentError(const std::string& source) noexcept;

}  // namespace fg
