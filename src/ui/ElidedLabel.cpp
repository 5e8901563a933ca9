#include "ui/ElidedLabel.h"

#include <QEvent>

namespace tarnwell {

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent)
    : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
    setFullText(text);
}

void ElidedLabel::setFullText(const QString& text) {
    m_fullText = text;
    setToolTip(text);
    setAccessibleName(text);
    updateGeometry();
    elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

QSize ElidedLabel::sizeHint() const {
    return {fontMetrics().horizontalAdvance(m_fullText), fontMetrics().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
        elide();
    }
}

void ElidedLabel::elide() {
    // Line breaks would make a second line that the row has no room for.
    QString line = m_fullText;
    line.replace(u'\n', u' ');
    setText(fontMetrics().elidedText(line, Qt::ElideRight, qMax(0, contentsRect().width())));
}

} // namespace tarnwell
