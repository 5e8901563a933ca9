#pragma once

#include <string>
#include <string_view>

namespace tarnwell {

// Names, labels and paths travel through the tool as UTF-8 bytes. Whatever reaches it from the
// system is made valid UTF-8 once, so every message and document carries the same text for it.
class Utf8Text {
public:
    // Every byte that does not belong to a valid UTF-8 sequence becomes U+FFFD, as the
    // application reads such text.
    static std::string valid(std::string_view bytes);

    // The text without the ASCII white space at either end that programs put around messages.
    static std::string trimmed(std::string_view text);

    // Calls visit(codePoint, sequence) for each character of the text; a byte that belongs to no
    // valid sequence is visited alone as U+FFFD.
    template <typename Visitor> static void forEach(std::string_view text, Visitor visit) {
        size_t index = 0;
        while (index < text.size()) {
            const size_t length = sequenceLength(text, index);
            const std::string_view sequence = text.substr(index, length > 0 ? length : 1);
            visit(length > 0 ? decode(sequence) : U'\uFFFD', sequence);
            index += sequence.size();
        }
    }

    static constexpr std::string_view replacement = "\xEF\xBF\xBD";

private:
    // The length of the valid sequence at index, 0 when there is none.
    static size_t sequenceLength(std::string_view text, size_t index);
    static char32_t decode(std::string_view sequence);
};

} // namespace tarnwell
