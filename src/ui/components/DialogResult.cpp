#include "ui/components/DialogResult.h"

#include <QCoroFuture>
#include <QDialog>
#include <QPromise>
#include <memory>

namespace tarnwell {

QCoro::Task<int> DialogResult::of(QDialog* dialog) {
    auto promise = std::make_shared<QPromise<int>>();
    promise->start();
    const auto settle = [promise](int result) {
        if (!promise->future().isFinished()) {
            promise->addResult(result);
            promise->finish();
        }
    };
    QObject::connect(dialog, &QDialog::finished, settle);
    QObject::connect(dialog, &QObject::destroyed, [settle] { settle(QDialog::Rejected); });
    const QFuture<int> future = promise->future();
    co_return co_await future;
}

} // namespace tarnwell
