#include "edi_transport/base64_body.h"

namespace fg::edi {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kPad = 255;
constexpr int kSkip = -1;

int valueOf(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    if (c == '=') return kPad;
    return kSkip;
}

}  // namespace

std::string base64Char(int value) {
    if (value < 0 || value > 63) return {};
    return std::string(1, kAlphabet[value]);
}

std::string encodeBase64Bytes(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        unsigned b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]),
                 b2 = static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += kAlphabet[((b1 & 15) << 2) | (b2 >> 6)];
        out += kAlphabet[b2 & 63];
    }
    std::size_t left = bytes.size() - i;
    if (left == 1) {
        unsigned b0 = static_cast<unsigned char>(bytes[i]);
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[(b0 & 3) << 4];
        out += "==";
    } else if (left == 2) {
        unsigned b0 = static_cast<unsigned char>(bytes[i]), b1 = static_cast<unsigned char>(bytes[i + 1]);
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 & 3) << 4) | (b1 >> 4)];
        out += kAlphabet[(b1 & 15) << 2];
        out += '=';
    }
    return out;
}

std::string encodeBase64File(std::string_view bytes) {
    std::string text = encodeBase64Bytes(bytes);
    std::string out = "begin-base64 644 request.zip\n";
    out.reserve(out.size() + text.size() + text.size() / 60 * 2 + 8);
    for (std::size_t at = 0; at < text.size(); at += 60) {
        out.append(text, at, 60);
        out += "\r\n";
    }
    out += "====";
    return out;
}

bool decodeBase64Text(std::string_view text, std::string& bytes) {
    bytes.clear();
    if (text.empty()) return false;
    text.remove_suffix(1);
    std::size_t first = text.find('\n');
    std::size_t last = text.rfind('\n');
    if (first == std::string_view::npos || last <= first + 1) return false;
    std::string_view s = text.substr(first + 1, last - first - 1);

    std::string out;
    out.reserve(s.size() / 4 * 3);
    int group[4];
    int filled = 0;
    for (char c : s) {
        int v = valueOf(c);
        if (v == kSkip) continue;
        group[filled++] = v;
        if (filled < 4) continue;
        filled = 0;
        // Padding can only stand in the last two places, and a padded third
        // place must be followed by padding: anything else names no byte.
        if (group[0] == kPad || group[1] == kPad || (group[2] == kPad && group[3] != kPad)) return false;
        out += static_cast<char>(group[0] * 4 + group[1] / 16);
        if (group[2] != kPad) out += static_cast<char>((group[1] % 16) * 16 + group[2] / 4);
        if (group[3] != kPad) out += static_cast<char>((group[2] % 4) * 64 + group[3]);
    }
    if (filled != 0) return false;
    bytes = std::move(out);
    return true;
}

}  // namespace fg::edi
