#include "ui/components/DetachedTask.h"

#include <QLoggingCategory>
#include <exception>

namespace tarnwell {

namespace {

Q_LOGGING_CATEGORY(interfaceTasks, "tarnwell.ui")

QCoro::Task<> awaitDetached(QCoro::Task<> task, const char* purpose) {
    try {
        co_await std::move(task);
    } catch (const std::exception& error) {
        qCWarning(interfaceTasks) << purpose << "failed:" << error.what();
    } catch (...) {
        qCWarning(interfaceTasks) << purpose << "failed with an unknown error";
    }
}

} // namespace

void startDetached(QCoro::Task<> task, const char* purpose) {
    awaitDetached(std::move(task), purpose);
}

} // namespace tarnwell
