#pragma once

#include <QString>
#include <cstddef>

namespace tarnwell {

// The name of a symbol in the cross-platform naming of the interface texts ("externaldrive.fill").
// Written as a string literal with the _symbol suffix, so every symbol the interface uses can be found in its
// sources and checked against the icon table.
struct SymbolName {
    QString name;

    bool operator==(const SymbolName&) const = default;
};

inline SymbolName operator""_symbol(const char* text, std::size_t length) {
    return SymbolName{QString::fromLatin1(text, static_cast<qsizetype>(length))};
}

} // namespace tarnwell
