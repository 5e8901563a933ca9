#include "ui/pages/rules/RuleCard.h"

#include "core/support/Localization.h"
#include "ui/components/ToggleSwitch.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>

namespace tarnwell {

namespace {

constexpr int horizontalMargin = 12;
constexpr int verticalMargin = 10;
constexpr int iconSpacing = 10;
constexpr int lineSpacing = 3;
constexpr int itemSpacing = 8;
constexpr int tileSize = TarnwellTheme::headerIconSize + 2 * TarnwellTheme::tilePadding;

QFont nameFont() {
    return TarnwellTheme::font(14, QFont::DemiBold);
}

// The heading line is as tall as the switch or the name; each detail line as its icon or text.
int headingHeight(const ToggleSwitch* toggle) {
    return std::max(toggle->sizeHint().height(), QFontMetrics(nameFont()).height());
}

int detailHeight() {
    return std::max(TarnwellTheme::rowIconSize, QFontMetrics(TarnwellTheme::captionFont()).height());
}

} // namespace

RuleCard::RuleCard(QWidget* parent)
    : QWidget(parent)
    , m_enabled(new ToggleSwitch(this)) {
    showSelection(this, false);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_enabled->resize(m_enabled->sizeHint());
    renderIcons();
    connect(m_enabled, &QAbstractButton::toggled, this,
            [this](bool checked) { Q_EMIT enabledChanged(m_rule.id, checked); });
}

QString RuleCard::appCountText(const StorageTargetRule& rule, const QList<AppTrigger>& appTriggers) {
    const auto count =
        std::count_if(rule.appTriggerIDs.begin(), rule.appTriggerIDs.end(), [&](const QUuid& id) {
            return std::any_of(appTriggers.begin(), appTriggers.end(),
                               [&](const AppTrigger& trigger) { return trigger.id == id; });
        });
    if (count == 0) {
        return localized("No apps bound");
    }
    return count == 1 ? localized("1 app bound") : localizedCount("%lld apps bound", count);
}

void RuleCard::setRule(const StorageTargetRule& rule, const QList<AppTrigger>& appTriggers, bool isSelected) {
    const bool iconChanges = rule.isEnabled != m_rule.isEnabled || m_icon.isNull();
    m_rule = rule;
    if (isSelected != m_selected) {
        m_selected = isSelected;
        showSelection(this, isSelected);
    }
    m_policy = rule.policySummary();
    m_appCount = appCountText(rule, appTriggers);
    if (iconChanges) {
        renderIcons();
    }
    m_enabled->setStoredValue(rule.isEnabled);
    // Every card has a switch: its name says whose it is.
    m_enabled->setAccessibleName(localizedFormat("Enable %@", {rule.name}));
    setAccessibleName(rule.name);
    setAccessibleDescription(m_policy + QStringLiteral(", ") + m_appCount);
    // The card elides its lines; the tooltip keeps them whole.
    setToolTip(rule.name + u'\n' + m_policy + u'\n' + m_appCount);
    update();
}

QSize RuleCard::sizeHint() const {
    // The list gives the card its width and the lines elide to it.
    return minimumSizeHint();
}

QSize RuleCard::minimumSizeHint() const {
    const int text = headingHeight(m_enabled) + 2 * (lineSpacing + detailHeight());
    return {2 * horizontalMargin + tileSize + iconSpacing + m_enabled->sizeHint().width(),
            2 * verticalMargin + std::max(tileSize, text)};
}

MenuBarViewModel::StatusColorKind RuleCard::iconColor() const {
    return m_rule.isEnabled ? MenuBarViewModel::StatusColorKind::Accent
                            : MenuBarViewModel::StatusColorKind::Secondary;
}

void RuleCard::renderIcons() {
    const qreal ratio = devicePixelRatioF();
    m_icon = SymbolIcons::tinted(m_rule.isEnabled ? "externaldrive.fill"_symbol : "externaldrive"_symbol,
                                 TarnwellTheme::headerIconSize,
                                 TarnwellTheme::statusColor(iconColor(), palette()), ratio);
    const QSize line(TarnwellTheme::rowIconSize, TarnwellTheme::rowIconSize);
    m_policyIcon = SymbolIcons::icon("checkmark.shield"_symbol).pixmap(line, ratio);
    m_appsIcon = SymbolIcons::icon("square.grid.2x2"_symbol).pixmap(line, ratio);
}

void RuleCard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize toggle = m_enabled->sizeHint();
    const int top = verticalMargin + (headingHeight(m_enabled) - toggle.height()) / 2;
    m_enabled->setGeometry(width() - horizontalMargin - toggle.width(), top, toggle.width(), toggle.height());
}

void RuleCard::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        renderIcons();
        update();
    }
}

void RuleCard::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    Q_EMIT selected(m_rule.id);
}

void RuleCard::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    selectOnFocus(*event);
}

void RuleCard::keyPressEvent(QKeyEvent* event) {
    if (!selectOnKey(*event)) {
        QWidget::keyPressEvent(event);
    }
}

void RuleCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_selected) {
        TarnwellTheme::paintSelection(painter, rect(), palette(), TarnwellTheme::controlRadius);
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(TarnwellTheme::rowBackground(palette()));
        painter.drawRoundedRect(QRectF(rect()), TarnwellTheme::controlRadius, TarnwellTheme::controlRadius);
    }
    if (hasFocus()) {
        painter.setPen(QPen(TarnwellTheme::accent(palette()), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), TarnwellTheme::controlRadius,
                                TarnwellTheme::controlRadius);
    }

    const int iconSize = TarnwellTheme::headerIconSize;
    TarnwellTheme::paintIconTile(painter, QRectF(horizontalMargin, verticalMargin, tileSize, tileSize),
                                 TarnwellTheme::statusColor(iconColor(), palette()), palette());
    painter.drawPixmap(QRect(horizontalMargin + TarnwellTheme::tilePadding,
                             verticalMargin + TarnwellTheme::tilePadding, iconSize, iconSize),
                       m_icon);
    const int left = horizontalMargin + tileSize + iconSpacing;
    const QColor text = palette().color(QPalette::WindowText);
    const auto draw = [&](const QFont& font, const QRect& box, const QString& line) {
        QString single = line;
        single.replace(u'\n', u' ');
        painter.setFont(font);
        painter.setPen(text);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetrics(font).elidedText(single, Qt::ElideRight, std::max(0, box.width())));
    };

    // Heading: the name, then "Enabled" beside the switch.
    const QFont caption = TarnwellTheme::captionFont();
    const QString enabled = localized("Enabled");
    const int enabledWidth = QFontMetrics(caption).horizontalAdvance(enabled);
    const int heading = headingHeight(m_enabled);
    const int enabledLeft = m_enabled->x() - itemSpacing - enabledWidth;
    painter.setFont(caption);
    painter.setPen(text);
    painter.drawText(QRect(enabledLeft, verticalMargin, m_enabled->x() - enabledLeft, heading),
                     Qt::AlignLeft | Qt::AlignVCenter, enabled);
    draw(nameFont(), QRect(left, verticalMargin, enabledLeft - itemSpacing - left, heading), m_rule.name);

    // The policy and the bound applications, each after its icon.
    const int line = detailHeight();
    const int textLeft = left + TarnwellTheme::rowIconSize + itemSpacing;
    const int textWidth = width() - horizontalMargin - textLeft;
    int top = verticalMargin + heading + lineSpacing;
    for (const auto& [icon, value] :
         {std::pair{&m_policyIcon, &m_policy}, std::pair{&m_appsIcon, &m_appCount}}) {
        const int iconTop = top + (line - TarnwellTheme::rowIconSize) / 2;
        painter.drawPixmap(QRect(left, iconTop, TarnwellTheme::rowIconSize, TarnwellTheme::rowIconSize),
                           *icon);
        draw(caption, QRect(textLeft, top, textWidth, line), *value);
        top += line + lineSpacing;
    }
}

} // namespace tarnwell
