#pragma once

#include "ui/theme/SymbolName.h"

#include <QWidget>

namespace tarnwell {

// A settings row that only informs: icon, title, and the value as secondary text.
class SettingsInfoRow : public QWidget {
    Q_OBJECT

public:
    SettingsInfoRow(SymbolName symbol, const QString& title, const QString& value, QWidget* parent = nullptr);
};

} // namespace tarnwell
