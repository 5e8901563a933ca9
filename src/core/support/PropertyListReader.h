#pragma once

#include "core/support/PropertyList.h"

#include <QByteArray>

namespace tarnwell {

// Reads the XML form of a property list. Malformed input throws a DecodingError whose path names
// the line and column; input nested deeper than maximumDepth is refused rather than risking the
// stack.
class PropertyListReader {
public:
    static constexpr int maximumDepth = 256;

    static PropertyList read(const QByteArray& xml);
};

} // namespace tarnwell
