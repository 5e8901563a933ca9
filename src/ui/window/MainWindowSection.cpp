#include "ui/window/MainWindowSection.h"

#include "core/support/Localization.h"

namespace tarnwell {

QList<MainWindowSection> allMainWindowSections() {
    return {MainWindowSection::Dashboard, MainWindowSection::Rules,       MainWindowSection::Volumes,
            MainWindowSection::Apps,      MainWindowSection::Diagnostics, MainWindowSection::Settings};
}

QString mainWindowSectionTitle(MainWindowSection section) {
    switch (section) {
    case MainWindowSection::Dashboard:
        return localized("Dashboard");
    case MainWindowSection::Rules:
        return localized("Rules");
    case MainWindowSection::Volumes:
        return localized("Volumes");
    case MainWindowSection::Apps:
        return localized("Apps");
    case MainWindowSection::Diagnostics:
        return localized("Diagnostics");
    case MainWindowSection::Settings:
        return localized("Settings");
    }
    return {};
}

SymbolName mainWindowSectionSymbol(MainWindowSection section) {
    switch (section) {
    case MainWindowSection::Dashboard:
        return "gauge.with.dots.needle.bottom.50percent"_symbol;
    case MainWindowSection::Rules:
        return "list.bullet.rectangle"_symbol;
    case MainWindowSection::Volumes:
        return "externaldrive.connected.to.line.below"_symbol;
    case MainWindowSection::Apps:
        return "square.grid.2x2"_symbol;
    case MainWindowSection::Diagnostics:
        return "stethoscope"_symbol;
    case MainWindowSection::Settings:
        return "gearshape"_symbol;
    }
    return {};
}

} // namespace tarnwell
