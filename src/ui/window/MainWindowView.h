#pragma once

#include "ui/window/MainWindowPages.h"
#include "ui/window/MainWindowSection.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

class QStackedWidget;

namespace tarnwell {

class TarnwellContainer;
class TarnwellSidebar;

// The main window: the sidebar of sections and the page of the selected one. Pages are built the
// first time their section is shown, so a section never opened reads no view model.
class MainWindowView : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize defaultSize{980, 720};
    static constexpr QSize minimumWindowSize{940, 640};

    explicit MainWindowView(TarnwellContainer* container,
                            MainWindowPages::Factory pages = &MainWindowPages::create,
                            QWidget* parent = nullptr);

    MainWindowSection currentSection() const { return m_current; }
    void selectSection(MainWindowSection section);
    // The page of a section, or null while the section has never been shown.
    QWidget* page(MainWindowSection section) const;
    QWidget* currentPage() const;
    TarnwellSidebar* sidebar() const { return m_sidebar; }

Q_SIGNALS:
    void sectionChanged(tarnwell::MainWindowSection section);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPointer<TarnwellContainer> m_container;
    MainWindowPages::Factory m_pages;
    TarnwellSidebar* m_sidebar;
    QStackedWidget* m_stack;
    QHash<MainWindowSection, QWidget*> m_built;
    MainWindowSection m_current = MainWindowSection::Dashboard;
};

} // namespace tarnwell
