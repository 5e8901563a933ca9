#pragma once

#include "ui/theme/SymbolName.h"

#include <QWidget>

class QLabel;

namespace tarnwell {

class SymbolLabel;

// A centred block that stands in for missing content: icon, title and message.
class WorkspaceEmptyState : public QWidget {
    Q_OBJECT

public:
    WorkspaceEmptyState(SymbolName symbol, const QString& title, const QString& message,
                        QWidget* parent = nullptr);

    QString title() const;
    QString message() const;
    void setContent(SymbolName symbol, const QString& title, const QString& message);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SymbolLabel* m_icon;
    QLabel* m_title;
    QLabel* m_message;
};

} // namespace tarnwell
