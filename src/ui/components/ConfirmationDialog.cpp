#include "ui/components/ConfirmationDialog.h"

#include "ui/components/DialogResult.h"

#include <QPointer>
#include <QPushButton>

namespace tarnwell {

ConfirmationDialog::ConfirmationDialog(const QString& question, const QString& detail,
                                       const QString& confirmLabel, QWidget* parent)
    : QMessageBox(QMessageBox::Warning, question, question, QMessageBox::NoButton, parent)
    , m_confirm(addButton(confirmLabel, QMessageBox::DestructiveRole)) {
    setInformativeText(detail);
    setWindowModality(Qt::WindowModal);
    // Return on a question about losing something keeps it.
    setDefaultButton(addButton(QMessageBox::Cancel));
}

QCoro::Task<bool> ConfirmationDialog::ask(QWidget* parent, QString question, QString detail,
                                          QString confirmLabel) {
    QPointer<ConfirmationDialog> dialog =
        new ConfirmationDialog(question, detail, confirmLabel, parent ? parent->window() : nullptr);
    QCoro::Task<int> answered = DialogResult::of(dialog);
    dialog->open();
    co_await std::move(answered);
    const bool confirmed = dialog && dialog->clickedButton() == dialog->confirmButton();
    if (dialog) {
        dialog->deleteLater();
    }
    co_return confirmed;
}

} // namespace tarnwell
