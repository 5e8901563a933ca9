#pragma once

#include "core/support/PropertyList.h"

#include <QByteArray>

namespace tarnwell {

// Writes the XML form of a property list, as the disk tool prints it. Characters that XML cannot
// carry (control characters, unpaired surrogates) become U+FFFD so the output always parses.
class PropertyListWriter {
public:
    static QByteArray write(const PropertyList& value);
};

} // namespace tarnwell
