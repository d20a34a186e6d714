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
    class Collect : public Base64TextDecoder::Output {
    public:
        std::string out;
        void write(std::string_view b) override { out.append(b); }
        void cutBack(std::uint64_t size) override { out.resize(size); }
    } collect;
    bytes.clear();
    collect.out.reserve(text.size() / 4 * 3);
    Base64TextDecoder decoder(collect);
    if (!decoder.take(text) || !decoder.finish()) return false;
    bytes = std::move(collect.out);
    return true;
}

bool Base64TextDecoder::take(std::string_view piece) {
    if (failed_) return false;
    textSize_ += piece.size();
    std::string bytes;
    bytes.reserve(piece.size() / 4 * 3 + 3);
    for (char c : piece) {
        // A character counts only once another follows it.
        if (held_ && !step(last_, bytes)) {
            failed_ = true;
            return false;
        }
        held_ = true;
        last_ = c;
    }
    if (!bytes.empty()) out_.write(bytes);
    return true;
}

bool Base64TextDecoder::step(char c, std::string& bytes) {
    if (!afterFirstLine_) {
        afterFirstLine_ = c == '\n';
        return true;
    }
    if (c == '\n') {
        // Everything before an LF that is not the text's last character is
        // decoded: a bad group there fails the text.
        if (now_.broken) return false;
        lineEnded_ = true;
        lastLineEnd_ = sinceFirstLine_++;
        atLineEnd_ = now_;
        return true;
    }
    ++sinceFirstLine_;
    int v = valueOf(c);
    if (v == kSkip || now_.broken) return true;
    int* group = now_.values;
    group[now_.filled++] = v;
    if (now_.filled < 4) return true;
    now_.filled = 0;
    // Padding can only stand in the last two places, and a padded third
    // place must be followed by padding: anything else names no byte. The
    // line may yet turn out to be the last one, which does not count.
    if (group[0] == kPad || group[1] == kPad || (group[2] == kPad && group[3] != kPad)) {
        now_.broken = true;
        return true;
    }
    std::size_t before = bytes.size();
    bytes += static_cast<char>(group[0] * 4 + group[1] / 16);
    if (group[2] != kPad) bytes += static_cast<char>((group[1] % 16) * 16 + group[2] / 4);
    if (group[3] != kPad) bytes += static_cast<char>((group[2] % 4) * 64 + group[3]);
    now_.written += bytes.size() - before;
    return true;
}

bool Base64TextDecoder::finish() {
    // The held character is the text's last, which is dropped; what follows
    // the last LF before it is the closing line.
    if (failed_ || !lineEnded_ || lastLineEnd_ == 0) return false;
    if (atLineEnd_.broken || atLineEnd_.filled != 0) return false;
    if (now_.written > atLineEnd_.written) out_.cutBack(atLineEnd_.written);
    return true;
}

}  // namespace fg::edi
