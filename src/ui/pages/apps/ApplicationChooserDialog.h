#pragma once

#include <QCoroTask>
#include <QDialog>
#include <QString>
#include <memory>
#include <optional>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tarnwell {

class DesktopEntryCatalog;

// How the user picks an editing application: the installed applications by name and icon (every
// application folder the catalog reads), with search, or any program or portable image file for
// an editor that has no desktop entry. Modal to the window it belongs to, so one press gives one
// chooser.
class ApplicationChooserDialog : public QDialog {
    Q_OBJECT

public:
    ApplicationChooserDialog(std::shared_ptr<DesktopEntryCatalog> catalog, QWidget* parent);

    // The desktop file or program picked, once the dialog was accepted.
    const std::optional<QString>& chosenPath() const { return m_chosenPath; }
    QLineEdit* searchField() const { return m_search; }
    QListWidget* applicationList() const { return m_list; }

    // Opens a chooser modal to the parent's window; the chosen path, or nothing when cancelled.
    static QCoro::Task<std::optional<QString>> choose(QWidget* parent,
                                                      std::shared_ptr<DesktopEntryCatalog> catalog);

private:
    void populate();
    void filter();
    void acceptSelection();
    void chooseFile();

    std::weak_ptr<DesktopEntryCatalog> m_catalog;
    QLineEdit* m_search;
    QListWidget* m_list;
    QPushButton* m_add;
    std::optional<QString> m_chosenPath;
};

} // namespace tarnwell
