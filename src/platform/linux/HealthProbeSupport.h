#pragma once

#include "core/diagnostics/HealthCheck.h"

#include <QCoroFuture>
#include <QCoroTask>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFuture>
#include <QPromise>
#include <QThreadPool>
#include <functional>
#include <memory>

namespace tarnwell {

// What the health checks share: a D-Bus call that folds failures into the reply, and a way to
// read files and the kernel's tables on a worker thread rather than the interface's.
namespace HealthProbeSupport {

// The reply, or an error message whose text says why there is none.
QCoro::Task<QDBusMessage> call(QDBusConnection connection, QDBusMessage message);
// The text of an error reply, for the user.
QString errorText(const QDBusMessage& reply);
// A method of the bus itself, such as NameHasOwner.
QDBusMessage busMethod(const QString& method, const QVariantList& arguments);
// A property read through org.freedesktop.DBus.Properties.Get.
QDBusMessage propertyRead(const QString& service, const QString& path, const QString& interface,
                          const QString& property);
// The value of a property reply, unwrapped from its variant.
QVariant propertyValue(const QDBusMessage& reply);
// Whether the name has an owner now; false when the bus cannot say.
QCoro::Task<bool> hasOwner(QDBusConnection connection, QString name);

// Runs the work on the global thread pool and resumes with its result on the caller's thread. The
// work must hold copies only, since its caller may be gone by the time it ends. Callers pass a named
// function rather than a lambda written into the co_await: g++ 12 destroys such a temporary twice.
template <typename Result> QCoro::Task<Result> offThread(std::function<Result()> work) {
    auto promise = std::make_shared<QPromise<Result>>();
    QFuture<Result> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, work = std::move(work)] {
        promise->addResult(work());
        promise->finish();
    });
    co_return co_await future;
}

} // namespace HealthProbeSupport

} // namespace tarnwell
