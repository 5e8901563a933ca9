#pragma once

#include "ui/theme/SymbolName.h"

#include <QWidget>

class QLabel;

namespace tarnwell {

class SymbolLabel;

// A labelled heading inside a page or panel: icon and title.
class SectionTitle : public QWidget {
    Q_OBJECT

public:
    SectionTitle(const QString& title, SymbolName symbol, QWidget* parent = nullptr);

    QString title() const;
    void setTitle(const QString& title);

private:
    SymbolLabel* m_icon;
    QLabel* m_title;
};

} // namespace tarnwell
