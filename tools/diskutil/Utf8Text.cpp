#include "diskutil/Utf8Text.h"

namespace tarnwell {

namespace {

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

} // namespace

size_t Utf8Text::sequenceLength(std::string_view text, size_t index) {
    const auto lead = static_cast<unsigned char>(text[index]);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (index + length > text.size()) {
        return 0;
    }
    for (size_t offset = 1; offset < length; ++offset) {
        if (!isContinuation(static_cast<unsigned char>(text[index + offset]))) {
            return 0;
        }
    }
    const char32_t code = decode(text.substr(index, length));
    // Overlong forms, UTF-16 surrogates and values beyond Unicode are not characters.
    if (code < minimum || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return 0;
    }
    return length;
}

char32_t Utf8Text::decode(std::string_view sequence) {
    const auto lead = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) {
        return lead;
    }
    char32_t code = lead & (0x7F >> sequence.size());
    for (size_t offset = 1; offset < sequence.size(); ++offset) {
        code = (code << 6) | (static_cast<unsigned char>(sequence[offset]) & 0x3F);
    }
    return code;
}

std::string Utf8Text::valid(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    size_t index = 0;
    while (index < bytes.size()) {
        const size_t length = sequenceLength(bytes, index);
        if (length > 0) {
            text.append(bytes.substr(index, length));
            index += length;
            continue;
        }
        text.append(replacement);
        ++index;
    }
    return text;
}

std::string Utf8Text::trimmed(std::string_view text) {
    const auto isSpace = [](char character) {
        return character == ' ' || (character >= '\t' && character <= '\r');
    };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

} // namespace tarnwell
