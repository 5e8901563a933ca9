#pragma once

#include "diskutil/PlistValue.h"

namespace tarnwell {

// Writes the XML form of a property list, laid out as the application's own writer lays it out,
// so the documents are the same whichever side wrote them. Characters that XML cannot carry
// (control characters, U+FFFE, U+FFFF, bytes that are no UTF-8) become U+FFFD.
class PlistWriter {
public:
    static std::string write(const PlistValue& value);
};

} // namespace tarnwell
