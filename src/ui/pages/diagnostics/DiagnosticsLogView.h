#pragma once

#include <QPlainTextEdit>
#include <memory>

namespace tarnwell {

class LogService;

// The activity log, live, newest last: new lines are appended rather than the whole text set
// again, so a long log never holds the interface. The text can be selected and copied.
class DiagnosticsLogView : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit DiagnosticsLogView(std::shared_ptr<LogService> log, QWidget* parent = nullptr);

    bool failuresOnly() const { return m_failuresOnly; }
    void setFailuresOnly(bool failuresOnly);
    // The lines shown now.
    QList<QString> shownLines() const;

private:
    void follow();
    void rebuild();

    std::shared_ptr<LogService> m_log;
    bool m_failuresOnly = false;
    qsizetype m_seen = 0;
};

} // namespace tarnwell
