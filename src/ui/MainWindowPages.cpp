#include "ui/MainWindowPages.h"

#include "ui/AppsView.h"
#include "ui/DashboardView.h"
#include "ui/GeneralSettingsView.h"
#include "ui/MainWindowPlaceholderView.h"
#include "ui/RulesView.h"
#include "ui/VolumesView.h"

namespace tarnwell {

QWidget* MainWindowPages::create(MainWindowSection section, TarnwellContainer* container) {
    switch (section) {
    case MainWindowSection::Dashboard:
        return new DashboardView(container);
    case MainWindowSection::Rules:
        return new RulesView(container);
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
