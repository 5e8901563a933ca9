#pragma once

#include "ui/theme/SymbolName.h"

#include <QList>
#include <QString>

namespace tarnwell {

// The sections of the main window, in sidebar order.
enum class MainWindowSection { Dashboard, Rules, Volumes, Apps, Diagnostics, Settings };

QList<MainWindowSection> allMainWindowSections();
QString mainWindowSectionTitle(MainWindowSection section);
SymbolName mainWindowSectionSymbol(MainWindowSection section);

} // namespace tarnwell
