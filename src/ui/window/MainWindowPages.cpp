#include "ui/window/MainWindowPages.h"

#include "ui/pages/apps/AppsView.h"
#include "ui/pages/dashboard/DashboardView.h"
#include "ui/pages/diagnostics/DiagnosticsView.h"
#include "ui/pages/rules/RulesView.h"
#include "ui/pages/settings/GeneralSettingsView.h"
#include "ui/pages/volumes/VolumesView.h"

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
        return new DiagnosticsView(container);
    case MainWindowSection::Settings:
        return new GeneralSettingsView(container);
    }
    return nullptr;
}

} // namespace tarnwell
