#include "ui/pages/apps/ApplicationChooserDialog.h"

#include "core/support/Localization.h"

#include <QCoroSignal>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <memory>

namespace tarnwell {

namespace {

bool isApplicationFolder(const QString& path) {
    return path.endsWith(QStringLiteral(".app")) && QFileInfo(path).isDir();
}

} // namespace

QCoro::Task<std::optional<QString>> ApplicationChooserDialog::choose() {
    const QString start = QDir(QStringLiteral("/usr/share/applications")).exists()
                              ? QStringLiteral("/usr/share/applications")
                              : QDir::homePath();
    QPointer<QFileDialog> dialog = new QFileDialog(nullptr, localized("Choose an app"), start);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters(
        {localized("Applications (*.desktop *.app)"), localized("Programs and portable images (*)")});
    dialog->setLabelText(QFileDialog::Accept, localized("Choose"));
    // An application folder is a directory, which a file dialog would open rather than pick:
    // opening one (double-click, or Choose with it selected) picks it.
    auto chosenFolder = std::make_shared<std::optional<QString>>();
    QObject::connect(dialog.data(), &QFileDialog::directoryEntered, dialog.data(),
                     [dialog = dialog.data(), chosenFolder](const QString& directory) {
                         if (isApplicationFolder(directory)) {
                             *chosenFolder = QDir::cleanPath(directory);
                             static_cast<QDialog*>(dialog)->accept();
                         }
                     });
    dialog->open();
    const int result = co_await qCoro(dialog.data(), &QFileDialog::finished);
    if (result != QDialog::Accepted) {
        co_return std::nullopt;
    }
    if (*chosenFolder) {
        co_return *chosenFolder;
    }
    if (!dialog || dialog->selectedFiles().isEmpty()) {
        co_return std::nullopt;
    }
    co_return dialog->selectedFiles().first();
}

} // namespace tarnwell
