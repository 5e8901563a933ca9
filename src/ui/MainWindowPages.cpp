#include "ui/MainWindowPages.h"

#include "core/support/Localization.h"
#include "ui/DashboardView.h"
#include "ui/MainWindowPlaceholderView.h"
#include "ui/RulesView.h"
#include "ui/WorkspaceEmptyState.h"
#include "ui/WorkspacePage.h"

namespace tarnwell {

namespace {

// The frame of a page whose content is still to come.
QWidget* pendingPage(MainWindowSection section) {
    auto* page = new WorkspacePage(mainWindowSectionTitle(section), mainWindowSectionSymbol(section));
    page->addContent(new WorkspaceEmptyState(mainWindowSectionSymbol(section),
                                             mainWindowSectionTitle(section),
                                             localized("This page is not available yet.")),
                     1);
    return page;
}

} // namespace

QWidget* MainWindowPages::create(MainWindowSection section, TarnwellContainer* container) {
    switch (section) {
    case MainWindowSection::Dashboard:
        return new DashboardView(container);
    case MainWindowSection::Rules:
        return new RulesView(container);
    case MainWindowSection::Volumes:
        return pendingPage(section);
    case MainWindowSection::Apps:
        return pendingPage(section);
    case MainWindowSection::Diagnostics:
        return new MainWindowPlaceholderView(mainWindowSectionTitle(section),
                                             mainWindowSectionSymbol(section));
    case MainWindowSection::Settings:
        return pendingPage(section);
    }
    return nullptr;
}

} // namespace tarnwell
