#include "ui/window/MainWindowPlaceholderView.h"

#include "core/support/Localization.h"
#include "ui/components/SectionTitle.h"
#include "ui/components/SettingsPanel.h"
#include "ui/theme/TarnwellTheme.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tarnwell {

MainWindowPlaceholderView::MainWindowPlaceholderView(const QString& title, SymbolName symbol, QWidget* parent)
    : WorkspacePage(title, std::move(symbol), parent) {
    auto* panel = new SettingsPanel;
    panel->addWidget(
        new SectionTitle(localized("Diagnostics workspace ready"), "clock.arrow.circlepath"_symbol));
    auto* text = new QLabel(localized("Logs, health checks, and troubleshooting tools will appear here."));
    text->setFont(TarnwellTheme::bodyFont());
    text->setWordWrap(true);
    TarnwellTheme::makeSecondary(text);
    panel->addWidget(text);
    addContent(panel);
    contentLayout()->addStretch(1);
}

} // namespace tarnwell
