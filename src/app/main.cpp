#include "core/model/RuleService.h"
#include "core/model/TarnwellError.h"
#include "platform/SettingsPreferencesStore.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace tarnwell;

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QTextStream err(stderr);

    RuleService rules(std::make_shared<SettingsPreferencesStore>());
    try {
        const TarnwellConfiguration configuration = rules.loadConfiguration();
        err << "Tarnwell: " << configuration.storageRules.size() << " rules, "
            << configuration.appTriggers.size()
            << " triggers, showAllVolumes=" << (configuration.showAllVolumes ? "true" : "false")
            << ", launchAtLogin=" << (configuration.launchAtLogin ? "true" : "false") << Qt::endl;
    } catch (const std::exception& error) {
        err << "Tarnwell: failed to load the configuration: " << userFacingMessage(error) << Qt::endl;
        return 1;
    }
    return 0;
}
