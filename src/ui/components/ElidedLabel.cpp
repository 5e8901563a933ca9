#include "ui/components/ElidedLabel.h"

#include <QEvent>

namespace tarnwell {

ElidedLabel::ElidedLabel(const QString& text, QWidget* parent)
    : QLabel(parent) {
    // Preferred rather than ignored: the text takes its full width when the row has room, and its
    // zero minimum lets it shrink when it has not.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
    setFullText(text);
}

void ElidedLabel::setFullText(const QString& text) {
    if (text == m_fullText) {
        return;
    }
    m_fullText = text;
    // Line breaks would make a second line that the row has no room for.
    m_line = text;
    m_line.replace(u'\n', u' ');
    m_lineWidth = -1;
    setToolTip(text);
    setAccessibleName(text);
    updateGeometry();
    elide();
}

QSize ElidedLabel::minimumSizeHint() const {
    return {0, fontMetrics().height()};
}

QSize ElidedLabel::sizeHint() const {
    return {lineWidth(), fontMetrics().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::showEvent(QShowEvent* event) {
    QLabel::showEvent(event);
    // A text set while hidden was not fitted, and a layout that keeps the size sends no resize.
    elide();
}

void ElidedLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_lineWidth = -1;
        updateGeometry();
        elide();
    }
}

int ElidedLabel::lineWidth() const {
    // Measuring shapes the whole text: layouts ask for the size hint many times, so it is kept.
    if (m_lineWidth < 0) {
        m_lineWidth = fontMetrics().horizontalAdvance(m_line);
    }
    return m_lineWidth;
}

void ElidedLabel::elide() {
    // Until a layout has placed it, the label's width means nothing; the first resize or showing
    // fits the text.
    if (!testAttribute(Qt::WA_Resized) && !isVisible()) {
        setText(m_line);
        return;
    }
    const int available = qMax(0, contentsRect().width());
    // Most texts fit, and finding that out costs far less than eliding; an unchanged text makes
    // the label neither re-measure nor ask its layout again.
    setText(lineWidth() <= available ? m_line : fontMetrics().elidedText(m_line, Qt::ElideRight, available));
}

} // namespace tarnwell
