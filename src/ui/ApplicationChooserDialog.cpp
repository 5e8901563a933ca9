#include "ui/ApplicationChooserDialog.h"

#include "core/support/Localization.h"

#include <QCoroSignal>
#include <QDir>
#include <QFileDialog>
#include <QPointer>

namespace tarnwell {

QCoro::Task<std::optional<QString>> ApplicationChooserDialog::choose() {
    const QString start = QDir(QStringLiteral("/usr/share/applications")).exists()
                              ? QStringLiteral("/usr/share/applications")
                              : QDir::homePath();
    QPointer<QFileDialog> dialog = new QFileDialog(nullptr, localized("Choose an app"), start);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({localized("Applications (*.desktop *.app)")});
    dialog->setLabelText(QFileDialog::Accept, localized("Choose"));
    dialog->open();
    const int result = co_await qCoro(dialog.data(), &QFileDialog::finished);
    if (result != QDialog::Accepted || !dialog || dialog->selectedFiles().isEmpty()) {
        co_return std::nullopt;
    }
    co_return dialog->selectedFiles().first();
}

} // namespace tarnwell
