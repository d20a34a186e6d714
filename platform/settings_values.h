// Values of the small settings files of our own (connection.xml, waits.xml):
// a root element with one child element per value.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace fg::xml {
class Node;
}

namespace fg::settings_values {

// The trimmed text of the first child element of that name; "" when none.
std::string childText(const xml::Node& root, const char* name);

// A time in milliseconds: `fallback` when the element is missing or empty.
// Raises fg::Error 13 (type mismatch), naming the file and the element, for
// a value that is not a positive whole number.
std::chrono::milliseconds milliseconds(const xml::Node& root, const char* name, std::chrono::milliseconds fallback,
                                       const std::string& file, const char* source);

// A count (of bytes, say): `fallback` when the element is missing or empty.
// Raises fg::Error 13, naming the file and the element, for a value that is
// not a positive whole number.
std::uint64_t positiveNumber(const xml::Node& root, const char* name, std::uint64_t fallback, const std::string& file,
                             const char* source);

}  // namespace fg::settings_values
