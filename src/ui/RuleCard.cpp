#include "ui/RuleCard.h"

#include "core/support/Localization.h"
#include "ui/DashboardComponents.h"
#include "ui/ElidedLabel.h"
#include "ui/SymbolLabel.h"
#include "ui/TarnwellTheme.h"
#include "ui/ToggleSwitch.h"
#include "ui/WorkspaceLayout.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace tarnwell {

RuleCard::RuleCard(QWidget* parent)
    : QWidget(parent)
    , m_icon(new SymbolLabel("externaldrive.fill"_symbol, TarnwellTheme::headerIconSize, this))
    , m_name(new ElidedLabel({}, this))
    , m_policy(new ElidedLabel({}, this))
    , m_apps(new ElidedLabel({}, this))
    , m_enabled(new ToggleSwitch(this)) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    m_name->setFont(TarnwellTheme::font(14, QFont::DemiBold));
    m_policy->setFont(TarnwellTheme::captionFont());
    m_apps->setFont(TarnwellTheme::captionFont());
    auto* enabledLabel = new QLabel(localized("Enabled"), this);
    enabledLabel->setFont(TarnwellTheme::captionFont());
    enabledLabel->setBuddy(m_enabled);
    m_enabled->setAccessibleName(enabledLabel->text());

    auto* heading = new QHBoxLayout;
    heading->setSpacing(8);
    heading->addWidget(m_name, 1);
    heading->addWidget(enabledLabel);
    heading->addWidget(m_enabled);
    auto* text = new QVBoxLayout;
    text->setSpacing(3);
    text->addLayout(heading);
    text->addWidget(DashboardComponents::iconLine("checkmark.shield"_symbol, m_policy));
    text->addWidget(DashboardComponents::iconLine("square.grid.2x2"_symbol, m_apps));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 10, 12, 10);
    layout->setSpacing(10);
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    layout->addLayout(text, 1);

    connect(m_enabled, &QAbstractButton::clicked, this,
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
    return count == 1 ? localized("1 app bound") : localizedFormat("%lld apps bound", {qint64(count)});
}

QString RuleCard::appCountText() const {
    return m_apps->fullText();
}

void RuleCard::setRule(const StorageTargetRule& rule, const QList<AppTrigger>& appTriggers, bool isSelected) {
    m_rule = rule;
    m_selected = isSelected;
    m_icon->setSymbol(rule.isEnabled ? "externaldrive.fill"_symbol : "externaldrive"_symbol);
    m_icon->setColorKind(rule.isEnabled ? MenuBarViewModel::StatusColorKind::Accent
                                        : MenuBarViewModel::StatusColorKind::Secondary);
    m_name->setFullText(rule.name);
    m_policy->setFullText(rule.policySummary());
    m_apps->setFullText(appCountText(rule, appTriggers));
    m_enabled->setChecked(rule.isEnabled);
    setAccessibleName(rule.name);
    update();
}

void RuleCard::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    Q_EMIT selected(m_rule.id);
}

void RuleCard::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Q_EMIT selected(m_rule.id);
        return;
    }
    QWidget::keyPressEvent(event);
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
}

} // namespace tarnwell
