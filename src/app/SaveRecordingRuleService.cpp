#include "app/SaveRecordingRuleService.h"

#include "core/model/TarnwellError.h"

namespace tarnwell {

SaveRecordingRuleService::SaveRecordingRuleService(std::shared_ptr<RuleServicing> store)
    : m_store(std::move(store)) {
}

TarnwellConfiguration SaveRecordingRuleService::loadConfiguration() {
    return m_store->loadConfiguration();
}

void SaveRecordingRuleService::saveConfiguration(const TarnwellConfiguration& configuration) {
    recordSave([&] { m_store->saveConfiguration(configuration); });
}

DriveRule SaveRecordingRuleService::loadRule() {
    return m_store->loadRule();
}

void SaveRecordingRuleService::saveRule(const DriveRule& rule) {
    recordSave([&] { m_store->saveRule(rule); });
}

template <typename Save> void SaveRecordingRuleService::recordSave(Save save) {
    const QDateTime moment = QDateTime::currentDateTimeUtc();
    try {
        save();
        m_lastSave = SaveOutcome{moment, std::nullopt};
    } catch (const TarnwellError& error) {
        m_lastSave = SaveOutcome{moment, error.userMessage()};
        throw;
    } catch (const std::exception& error) {
        m_lastSave = SaveOutcome{moment, QString::fromUtf8(error.what())};
        throw;
    }
}

} // namespace tarnwell
