#include "diskutil/PlistWriter.h"

#include "diskutil/Utf8Text.h"

namespace tarnwell {

namespace {

void appendEscaped(std::string& output, std::string_view text) {
    Utf8Text::forEach(Utf8Text::valid(text), [&output](char32_t code, std::string_view sequence) {
        switch (code) {
        case '<':
            output += "&lt;";
            return;
        case '>':
            output += "&gt;";
            return;
        case '&':
            output += "&amp;";
            return;
        case '"':
            output += "&quot;";
            return;
        case '\r':
            // A literal carriage return would read back as a line feed.
            output += "&#13;";
            return;
        default:
            break;
        }
        const bool allowedControl = code == '\t' || code == '\n';
        const bool invalid = (code < 0x20 && !allowedControl) || code == 0xFFFE || code == 0xFFFF;
        output += invalid ? Utf8Text::replacement : sequence;
    });
}

void indent(std::string& output, int depth) {
    output += '\n';
    output.append(static_cast<size_t>(depth), '\t');
}

void textElement(std::string& output, int depth, const char* name, std::string_view text) {
    indent(output, depth);
    output += '<';
    output += name;
    output += '>';
    appendEscaped(output, text);
    output += "</";
    output += name;
    output += '>';
}

template <typename Items, typename WriteItem>
void container(std::string& output, int depth, const char* name, const Items& items, WriteItem writeItem) {
    indent(output, depth);
    output += '<';
    output += name;
    if (items.empty()) {
        output += "/>";
        return;
    }
    output += '>';
    for (const auto& item : items) {
        writeItem(item);
    }
    indent(output, depth);
    output += "</";
    output += name;
    output += '>';
}

void writeValue(std::string& output, int depth, const PlistValue& value) {
    if (const auto* text = std::get_if<std::string>(&value.value())) {
        textElement(output, depth, "string", *text);
    } else if (const auto* integer = std::get_if<std::int64_t>(&value.value())) {
        textElement(output, depth, "integer", std::to_string(*integer));
    } else if (const auto* boolean = std::get_if<bool>(&value.value())) {
        indent(output, depth);
        output += *boolean ? "<true/>" : "<false/>";
    } else if (const auto* array = std::get_if<PlistValue::Array>(&value.value())) {
        container(output, depth, "array", *array,
                  [&output, depth](const PlistValue& item) { writeValue(output, depth + 1, item); });
    } else {
        container(output, depth, "dict", std::get<PlistValue::Dictionary>(value.value()),
                  [&output, depth](const auto& entry) {
                      textElement(output, depth + 1, "key", entry.first);
                      writeValue(output, depth + 1, entry.second);
                  });
    }
}

} // namespace

std::string PlistWriter::write(const PlistValue& value) {
    std::string output = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD "
                         "PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                         "<plist version=\"1.0\">";
    writeValue(output, 1, value);
    output += "\n</plist>\n";
    return output;
}

} // namespace tarnwell
