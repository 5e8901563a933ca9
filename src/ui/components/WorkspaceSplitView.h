#pragma once

#include <QWidget>

class QHBoxLayout;

namespace tarnwell {

// Two columns side by side: the leading column of fixed width, the detail column taking the rest.
class WorkspaceSplitView : public QWidget {
    Q_OBJECT

public:
    explicit WorkspaceSplitView(QWidget* leading = nullptr, QWidget* detail = nullptr,
                                QWidget* parent = nullptr);

    QWidget* leading() const { return m_leading; }
    QWidget* detail() const { return m_detail; }
    // Each replaces (and deletes) the column's previous widget.
    void setLeading(QWidget* leading);
    void setDetail(QWidget* detail);

private:
    void replace(QWidget*& slot, QWidget* widget, int index);

    QHBoxLayout* m_layout;
    QWidget* m_leading = nullptr;
    QWidget* m_detail = nullptr;
};

} // namespace tarnwell
