#include "ui/pages/diagnostics/DiagnosticsView.h"

#include "app/TarnwellContainer.h"
#include "core/support/Localization.h"
#include "ui/components/NoticeLabel.h"
#include "ui/components/PrimaryActionButton.h"
#include "ui/components/SectionTitle.h"
#include "ui/components/SettingsPanel.h"
#include "ui/components/ToggleSwitch.h"
#include "ui/pages/diagnostics/DiagnosticsLogView.h"
#include "ui/pages/diagnostics/HealthCheckRow.h"
#include "ui/theme/TarnwellTheme.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace tarnwell {

namespace {

QString askForSaveLocation(QWidget* parent) {
    return QFileDialog::getSaveFileName(parent, localized("Save Log"),
                                        QDir::home().filePath(QStringLiteral("tarnwell-activity.log")),
                                        localized("Log files (*.log *.txt)"));
}

} // namespace

DiagnosticsView::DiagnosticsView(TarnwellContainer* container, SaveLocation saveLocation, QWidget* parent)
    : WorkspacePage(localized("Diagnostics"), "stethoscope"_symbol, parent)
    , m_viewModel(container->diagnosticsViewModel())
    , m_saveLocation(saveLocation ? std::move(saveLocation) : SaveLocation(&askForSaveLocation))
    , m_runAgain(new PrimaryActionButton(localized("Run Checks Again"), "arrow.clockwise"_symbol, true))
    , m_log(new DiagnosticsLogView(container->logger()))
    , m_failuresOnly(new ToggleSwitch)
    , m_notice(new NoticeLabel) {
    auto* copyReport = new PrimaryActionButton(localized("Copy Report"), "doc.on.doc"_symbol, false);
    // The buttons draw their symbol beside the text, which the style's size leaves no room for.
    for (PrimaryActionButton* button : {copyReport, m_runAgain}) {
        button->setMinimumWidth(button->sizeHint().width() + TarnwellTheme::rowIconSize + 13);
        addHeaderAction(button);
    }

    auto* checks = new SettingsPanel;
    checks->addWidget(new SectionTitle(localized("Health Checks"), "checkmark.shield"_symbol));
    for (qsizetype index = 0; index < m_viewModel->rows().size(); ++index) {
        if (index > 0) {
            checks->addSeparator();
        }
        auto* row = new HealthCheckRow;
        m_rows.append(row);
        checks->addWidget(row);
    }
    addContent(checks);

    auto* log = new SettingsPanel;
    auto* toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(0, 0, 0, 0);
    toolbar->setSpacing(10);
    toolbar->addWidget(new SectionTitle(localized("Activity Log"), "waveform.path.ecg"_symbol), 1);
    auto* failuresCaption = new QLabel(localized("Failures only"));
    failuresCaption->setFont(TarnwellTheme::bodyFont());
    failuresCaption->setBuddy(m_failuresOnly);
    m_failuresOnly->setAccessibleName(localized("Failures only"));
    toolbar->addWidget(failuresCaption);
    toolbar->addWidget(m_failuresOnly);
    auto* copy = new PrimaryActionButton(localized("Copy"), "doc.on.doc"_symbol, false);
    auto* save = new PrimaryActionButton(localized("Save…"), "square.and.arrow.down"_symbol, false);
    toolbar->addWidget(copy);
    toolbar->addWidget(save);
    auto* toolbarWidget = new QWidget;
    toolbarWidget->setLayout(toolbar);
    log->addWidget(toolbarWidget);
    log->addWidget(m_log, 1);
    addContent(log, 1);
    addContent(m_notice);

    connect(m_runAgain, &QPushButton::clicked, this, [this] {
        if (m_viewModel) {
            m_viewModel->runChecks();
        }
    });
    connect(copyReport, &QPushButton::clicked, this, &DiagnosticsView::copyReport);
    connect(copy, &QPushButton::clicked, this, &DiagnosticsView::copyLog);
    connect(save, &QPushButton::clicked, this, &DiagnosticsView::saveLog);
    connect(m_failuresOnly, &ToggleSwitch::toggled, m_log, &DiagnosticsLogView::setFailuresOnly);
    connect(m_viewModel, &DiagnosticsViewModel::rowsChanged, this, &DiagnosticsView::render);
    connect(m_viewModel, &DiagnosticsViewModel::isRunningChanged, this, &DiagnosticsView::render);
    render();
}

void DiagnosticsView::showEvent(QShowEvent* event) {
    WorkspacePage::showEvent(event);
    // The system may have changed while the page was away; checks only look, so running them on
    // every showing is safe.
    // They start once the page has been drawn, so that showing it never waits for them.
    QTimer::singleShot(0, this, [this] {
        if (m_viewModel && !m_viewModel->isRunning() && isVisible()) {
            m_viewModel->runChecks();
        }
    });
}

void DiagnosticsView::render() {
    if (!m_viewModel) {
        return;
    }
    const auto& rows = m_viewModel->rows();
    for (qsizetype index = 0; index < rows.size() && index < m_rows.size(); ++index) {
        m_rows.at(index)->setRow(rows.at(index));
    }
    m_runAgain->setEnabled(!m_viewModel->isRunning());
}

void DiagnosticsView::copyLog() {
    const QString selected = m_log->textCursor().selectedText().replace(QChar::ParagraphSeparator, u'\n');
    const QList<QString> shown = m_log->shownLines();
    QGuiApplication::clipboard()->setText(selected.isEmpty() ? shown.join(u'\n') : selected);
    m_notice->setNotice(selected.isEmpty() ? localizedCount("Copied %lld log lines.", shown.size())
                                           : localized("Copied the selected text."),
                        NoticeLabel::Kind::Outcome);
}

void DiagnosticsView::saveLog() {
    const QString path = m_saveLocation(this);
    if (path.isEmpty() || !m_viewModel) {
        return;
    }
    const std::optional<QString> failure = m_viewModel->saveLog(path, m_failuresOnly->isChecked());
    m_notice->setNotice(failure ? failure : localizedFormat("Saved the log to %@.", {path}),
                        failure ? NoticeLabel::Kind::Failure : NoticeLabel::Kind::Outcome);
}

void DiagnosticsView::copyReport() {
    if (!m_viewModel) {
        return;
    }
    QGuiApplication::clipboard()->setText(m_viewModel->report());
    m_notice->setNotice(localized("Copied the report: the checks and the versions, for a bug report."),
                        NoticeLabel::Kind::Outcome);
}

} // namespace tarnwell
