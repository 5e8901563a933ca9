#pragma once

#include <QCoroTask>
#include <QMessageBox>

namespace tarnwell {

// Asks before something is removed for good, modal to the window it belongs to.
class ConfirmationDialog : public QMessageBox {
    Q_OBJECT

public:
    ConfirmationDialog(const QString& question, const QString& detail, const QString& confirmLabel,
                       QWidget* parent);
    QAbstractButton* confirmButton() const { return m_confirm; }

    // True only when the user confirmed.
    static QCoro::Task<bool> ask(QWidget* parent, QString question, QString detail, QString confirmLabel);

private:
    QAbstractButton* m_confirm;
};

} // namespace tarnwell
