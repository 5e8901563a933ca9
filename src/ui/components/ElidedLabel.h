#pragma once

#include <QLabel>

namespace tarnwell {

// One line of text that gives way to its neighbours: too long for its width, it ends in an
// ellipsis, and the whole text is always in its tooltip and accessible name.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    const QString& fullText() const { return m_fullText; }
    void setFullText(const QString& text);

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int lineWidth() const;
    void elide();

    QString m_fullText;
    // The text on one line, and its width in the current font once measured (-1 before).
    QString m_line;
    mutable int m_lineWidth = -1;
};

} // namespace tarnwell
