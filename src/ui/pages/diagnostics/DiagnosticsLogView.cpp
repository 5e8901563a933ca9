#include "ui/pages/diagnostics/DiagnosticsLogView.h"

#include "app/DiagnosticsViewModel.h"
#include "core/support/Localization.h"
#include "platform/LogService.h"

#include <QFontDatabase>
#include <QScrollBar>

namespace tarnwell {

DiagnosticsLogView::DiagnosticsLogView(std::shared_ptr<LogService> log, QWidget* parent)
    : QPlainTextEdit(parent)
    , m_log(std::move(log)) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setPlaceholderText(localized("Nothing has happened yet."));
    setAccessibleName(localized("Activity Log"));
    setMinimumHeight(220);
    if (m_log) {
        // The log drops its oldest lines past its limit; the view keeps no more than it does.
        setMaximumBlockCount(static_cast<int>(std::max<qsizetype>(m_log->limit(), 1)));
        connect(m_log.get(), &LogService::entriesChanged, this, &DiagnosticsLogView::follow);
    }
    rebuild();
}

void DiagnosticsLogView::setFailuresOnly(bool failuresOnly) {
    if (m_failuresOnly != failuresOnly) {
        m_failuresOnly = failuresOnly;
        rebuild();
    }
}

QList<QString> DiagnosticsLogView::shownLines() const {
    const QString text = toPlainText();
    return text.isEmpty() ? QList<QString>{} : text.split(u'\n');
}

void DiagnosticsLogView::follow() {
    const QList<QString>& entries = m_log->entries();
    if (entries.size() <= m_seen) {
        // Lines dropped from the front: the unfiltered view has dropped them already, while a
        // filtered one may still show a failure the log no longer holds.
        m_seen = entries.size();
        if (m_failuresOnly) {
            rebuild();
        }
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    for (qsizetype index = m_seen; index < entries.size(); ++index) {
        if (!m_failuresOnly || DiagnosticsViewModel::isFailureLine(entries.at(index))) {
            appendPlainText(entries.at(index));
        }
    }
    m_seen = entries.size();
    if (atEnd) {
        bar->setValue(bar->maximum());
    }
}

void DiagnosticsLogView::rebuild() {
    QList<QString> lines = m_log ? m_log->entries() : QList<QString>{};
    m_seen = lines.size();
    if (m_failuresOnly) {
        lines.removeIf([](const QString& line) { return !DiagnosticsViewModel::isFailureLine(line); });
    }
    setPlainText(lines.join(u'\n'));
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

} // namespace tarnwell
