#include "ui/components/NoticeLabel.h"

#include "ui/theme/TarnwellTheme.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>

namespace tarnwell {

namespace {

// A failure is an alert to assistive tools, which read it out when it appears; an outcome is text.
class NoticeAccessible : public QAccessibleWidget {
public:
    explicit NoticeAccessible(NoticeLabel* notice)
        : QAccessibleWidget(notice, QAccessible::StaticText) {}

    QAccessible::Role role() const override {
        return static_cast<NoticeLabel*>(widget())->kind() == NoticeLabel::Kind::Failure
                   ? QAccessible::AlertMessage
                   : QAccessible::StaticText;
    }
    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Name ? static_cast<NoticeLabel*>(widget())->text()
                                         : QAccessibleWidget::text(kind);
    }
};

QAccessibleInterface* noticeInterface(const QString& className, QObject* object) {
    auto* notice = qobject_cast<NoticeLabel*>(object);
    return notice && className == QLatin1String(object->metaObject()->className())
               ? new NoticeAccessible(notice)
               : nullptr;
}

} // namespace

NoticeLabel::NoticeLabel(QWidget* parent)
    : QLabel(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(&noticeInterface);
        return true;
    }();
    Q_UNUSED(installed);
    setWordWrap(true);
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setFont(TarnwellTheme::bodyFont());
    hide();
}

void NoticeLabel::setNotice(const std::optional<QString>& text, Kind kind) {
    const bool announce = text && kind == Kind::Failure && (text != this->text() || isHidden());
    m_kind = kind;
    setText(text.value_or(QString()));
    setVisible(text.has_value());
    restyle();
    if (announce) {
        QAccessibleEvent alert(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
    }
}

void NoticeLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        restyle();
    }
}

void NoticeLabel::restyle() {
    // Each of these changes the palette, so each is made only when it changes something; the red
    // follows only the window colour, which is never set here, so the palette change ends at once.
    const QPalette::ColorRole role =
        m_kind == Kind::Failure ? QPalette::WindowText : QPalette::PlaceholderText;
    if (foregroundRole() != role) {
        setForegroundRole(role);
    }
    QPalette colours = palette();
    const QColor red = TarnwellTheme::red(colours);
    if (m_kind == Kind::Failure && colours.color(QPalette::WindowText) != red) {
        colours.setColor(QPalette::WindowText, red);
        colours.setColor(QPalette::Text, red);
        setPalette(colours);
    }
}

} // namespace tarnwell
