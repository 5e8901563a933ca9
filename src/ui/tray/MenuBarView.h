#pragma once

#include "app/TarnwellContainer.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace tarnwell {

class MenuValueRow;
class NoticeLabel;
class PrimaryActionButton;
class SymbolLabel;
class ToggleSwitch;

// The tray panel: the status headline, one row per rule, the bulk mount and unmount actions and
// the application's commands. It shows what the menu view model publishes and acts only through
// the container. Every showing refreshes the drive status once.
class MenuBarView : public QWidget {
    Q_OBJECT

public:
    static constexpr int panelWidth = 318;

    MenuBarView(TarnwellContainer* container, TarnwellContainer::OpenWindow openWindow,
                QWidget* parent = nullptr);

    PrimaryActionButton* mountButton() const { return m_mount; }
    PrimaryActionButton* unmountButton() const { return m_unmount; }
    NoticeLabel* notice() const { return m_notice; }

Q_SIGNALS:
    void quitRequested();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildLayout();
    void render();
    void mountMissing();
    void unmountReady();
    void openTarnwell();
    void launchAtLoginClicked(bool enabled);
    static QCoro::Task<> applyLaunchAtLogin(QPointer<MenuBarView> view, QPointer<TarnwellContainer> container,
                                            bool enabled);

    QPointer<TarnwellContainer> m_container;
    QPointer<MenuBarViewModel> m_viewModel;
    TarnwellContainer::OpenWindow m_openWindow;
    SymbolLabel* m_statusIcon = nullptr;
    QLabel* m_statusTitle = nullptr;
    QVBoxLayout* m_targetRows = nullptr;
    MenuValueRow* m_apps = nullptr;
    PrimaryActionButton* m_mount = nullptr;
    PrimaryActionButton* m_unmount = nullptr;
    ToggleSwitch* m_launchAtLogin = nullptr;
    NoticeLabel* m_notice = nullptr;
};

} // namespace tarnwell
