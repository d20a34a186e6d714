// The text form of EDI request and answer files: a "begin-base64" line,
// base64 lines and a closing "====".
#pragma once

#include <string>
#include <string_view>

namespace fg::edi {

// The request body: "begin-base64 644 request.zip" and LF (always that name),
// the base64 of `bytes` in lines of 60 characters each ended by CR LF, then
// "====" with nothing after it.
std::string encodeBase64File(std::string_view bytes);
// Padded base64 without line breaks.
std::string encodeBase64Bytes(std::string_view bytes);
// One character of the alphabet; "" outside 0..63.
std::string base64Char(int value);
// Decodes the characters between the first LF and the last LF of `text`
// (after its last character is dropped, so "====", "====" LF and "====" CR LF
// all end it alike). Characters outside the alphabet are skipped. False when
// there is nothing between the two LFs, when a group is cut short, or when
// padding stands where no byte can end.
bool decodeBase64Text(std::string_view text, std::string& bytes);

}  // namespace fg::edi
