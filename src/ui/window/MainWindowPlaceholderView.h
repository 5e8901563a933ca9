#pragma once

#include "ui/components/WorkspacePage.h"

namespace tarnwell {

// A page whose workspace is still to come: one panel saying so. It reads no view model.
class MainWindowPlaceholderView : public WorkspacePage {
    Q_OBJECT

public:
    MainWindowPlaceholderView(const QString& title, SymbolName symbol, QWidget* parent = nullptr);
};

} // namespace tarnwell
