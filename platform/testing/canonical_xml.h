// Documents compared as documents: the canonical form of an XML text, so
// that a checked-in expected document may be laid out for people to read.
#pragma once

#include <string>

namespace fg::testing {

// The canonical XML (xmllint --c14n, UTF-8) of the bytes of a document,
// after white-space-only text between elements is dropped and the text is
// decoded as its declaration says. "<not XML: reason>" when it does not load.
std::string canonicalXml(const std::string& bytes);

}  // namespace fg::testing
