#pragma once

#include "ui/theme/SymbolName.h"

#include <QScrollArea>

class QVBoxLayout;

namespace tarnwell {

class WorkspaceHeader;

// A vertically scrolling page: a header with title, icon and actions, then the content, stacked
// with the section spacing in a column of at most the maximum content width.
class WorkspacePage : public QScrollArea {
    Q_OBJECT

public:
    WorkspacePage(const QString& title, SymbolName symbol, QWidget* parent = nullptr);

    WorkspaceHeader* header() const { return m_header; }
    void addHeaderAction(QWidget* action);
    // Content is stacked below the header in the order it is added; a stretch lets a block take
    // the height the page leaves over.
    void addContent(QWidget* content, int stretch = 0);
    QVBoxLayout* contentLayout() const { return m_column; }

private:
    WorkspaceHeader* m_header;
    QVBoxLayout* m_column;
};

} // namespace tarnwell
