#include "ui/MainWindowPages.h"

#include "core/support/Localization.h"
#include "ui/AppsView.h"
#include "ui/GeneralSettingsView.h"
#include "ui/MainWindowPlaceholderView.h"
#include "ui/VolumesView.h"
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
        return pendingPage(section);
    case MainWindowSection::Rules:
        return pendingPage(section);
    case MainWindowSection::Volumes:
        return new VolumesView(container);
    case MainWindowSection::Apps:
        return new AppsView(container);
    case MainWindowSection::Diagnostics:
        return new MainWindowPlaceholderView(mainWindowSectionTitle(section),
                                             mainWindowSectionSymbol(section));
    case MainWindowSection::Settings:
        return new GeneralSettingsView(container);
    }
    return nullptr;
}

} // namespace tarnwell
