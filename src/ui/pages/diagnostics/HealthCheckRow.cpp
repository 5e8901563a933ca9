#include "ui/pages/diagnostics/HealthCheckRow.h"

#include "core/support/Localization.h"
#include "ui/components/SymbolLabel.h"
#include "ui/theme/TarnwellTheme.h"

#include <QEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnwell {

namespace {

using Kind = MenuBarViewModel::StatusColorKind;

QLabel* textLabel(const QFont& font) {
    auto* label = new QLabel;
    label->setFont(font);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return label;
}

} // namespace

HealthCheckRow::HealthCheckRow(QWidget* parent)
    : QWidget(parent)
    , m_icon(new SymbolLabel("questionmark.circle.fill"_symbol, TarnwellTheme::rowIconSize))
    , m_title(textLabel(TarnwellTheme::font(13, QFont::DemiBold)))
    , m_state(textLabel(TarnwellTheme::captionFont()))
    , m_finding(textLabel(TarnwellTheme::bodyFont()))
    , m_advice(textLabel(TarnwellTheme::bodyFont()))
    , m_details(textLabel(QFontDatabase::systemFont(QFontDatabase::FixedFont))) {
    TarnwellTheme::makeSecondary(m_advice);
    m_title->setWordWrap(false);
    m_state->setWordWrap(false);
    auto* heading = new QHBoxLayout;
    heading->setContentsMargins(0, 0, 0, 0);
    heading->setSpacing(8);
    heading->addWidget(m_title);
    heading->addWidget(m_state);
    heading->addStretch(1);
    auto* text = new QVBoxLayout;
    text->setContentsMargins(0, 0, 0, 0);
    text->setSpacing(2);
    text->addLayout(heading);
    text->addWidget(m_finding);
    text->addWidget(m_advice);
    text->addWidget(m_details);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(10);
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    layout->addLayout(text, 1);
}

void HealthCheckRow::setRow(const DiagnosticsViewModel::Row& row) {
    const HealthCheck& check = row.check;
    Kind kind = Kind::Secondary;
    QString state;
    SymbolName symbol = "questionmark.circle.fill"_symbol;
    if (row.isChecking) {
        state = localized("Checking…");
        symbol = "clock.arrow.circlepath"_symbol;
    } else if (!row.hasAnswered) {
        state = localized("Not checked");
    } else {
        switch (check.state) {
        case HealthState::Fine:
            kind = Kind::Green;
            symbol = "checkmark.circle.fill"_symbol;
            break;
        case HealthState::NeedsAttention:
            kind = Kind::Orange;
            symbol = "exclamationmark.triangle.fill"_symbol;
            break;
        case HealthState::NotWorking:
            kind = Kind::Red;
            symbol = "xmark.octagon.fill"_symbol;
            break;
        }
        state = HealthCheck::stateText(check.state);
    }
    m_icon->setSymbol(symbol);
    m_icon->setColorKind(kind);
    m_title->setText(check.title);
    m_state->setText(state);
    m_kind = kind;
    TarnwellTheme::setTextColor(m_state, TarnwellTheme::statusColor(kind, palette()));
    // Before the first answer there is nothing found to show.
    m_finding->setText(row.hasAnswered ? check.finding : QString());
    m_finding->setVisible(row.hasAnswered);
    m_advice->setText(check.advice);
    m_advice->setVisible(row.hasAnswered && !check.advice.isEmpty());
    m_details->setText(check.details);
    m_details->setVisible(row.hasAnswered && !check.details.isEmpty());
    setAccessibleName(check.title + QStringLiteral(": ") + state);
    setAccessibleDescription(QStringList{m_finding->text(), m_advice->text()}.join(u' ').trimmed());
}

void HealthCheckRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The state's colour is chosen for the palette, so light and dark each get their own.
    if (event->type() == QEvent::PaletteChange) {
        TarnwellTheme::setTextColor(m_state, TarnwellTheme::statusColor(m_kind, palette()));
    }
}

QString HealthCheckRow::stateText() const {
    return m_state->text();
}

QString HealthCheckRow::findingText() const {
    return m_finding->text();
}

QString HealthCheckRow::adviceText() const {
    return m_advice->isHidden() ? QString() : m_advice->text();
}

QString HealthCheckRow::detailsText() const {
    return m_details->isHidden() ? QString() : m_details->text();
}

} // namespace tarnwell
