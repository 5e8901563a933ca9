#include "ui/pages/apps/ApplicationChooserDialog.h"

#include "core/support/Localization.h"
#include "platform/linux/DesktopEntryCatalog.h"
#include "ui/components/DialogResult.h"
#include "ui/pages/apps/AppManagementIcon.h"
#include "ui/theme/SymbolIcons.h"
#include "ui/theme/TarnwellTheme.h"

#include <QCollator>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnwell {

namespace {

constexpr int pathRole = Qt::UserRole;
constexpr int searchRole = Qt::UserRole + 1;

} // namespace

ApplicationChooserDialog::ApplicationChooserDialog(std::shared_ptr<DesktopEntryCatalog> catalog,
                                                   QWidget* parent)
    : QDialog(parent)
    , m_catalog(catalog)
    , m_search(new QLineEdit(this))
    , m_list(new QListWidget(this))
    , m_add(new QPushButton(localized("Add"), this)) {
    setWindowTitle(localized("Choose an app"));
    setWindowModality(Qt::WindowModal);
    resize(460, 540);
    auto* intro = new QLabel(localized("Choose the editing app that should mount your drive."), this);
    intro->setWordWrap(true);
    intro->setFont(TarnwellTheme::bodyFont());
    m_search->setPlaceholderText(localized("Search apps"));
    m_search->setAccessibleName(localized("Search apps"));
    m_search->setClearButtonEnabled(true);
    m_list->setAccessibleName(localized("Installed apps"));
    m_list->setIconSize(QSize(32, 32));
    m_list->setSpacing(2);
    m_list->setUniformItemSizes(true);

    // The way out of the list stands apart from the answers to it.
    auto* file = new QPushButton(localized("Choose Program File…"), this);
    file->setToolTip(localized("Pick a program or portable image that has no entry in the list."));
    file->setAutoDefault(false);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_add, QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    m_add->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->setSpacing(10);
    layout->addWidget(intro);
    layout->addWidget(m_search);
    layout->addWidget(m_list, 1);
    auto* footer = new QHBoxLayout;
    footer->addWidget(file);
    footer->addStretch(1);
    footer->addWidget(buttons);
    layout->addLayout(footer);

    connect(m_search, &QLineEdit::textChanged, this, &ApplicationChooserDialog::filter);
    connect(m_list, &QListWidget::currentItemChanged, this,
            [this] { m_add->setEnabled(m_list->currentItem() && !m_list->currentItem()->isHidden()); });
    connect(m_list, &QListWidget::itemActivated, this, &ApplicationChooserDialog::acceptSelection);
    connect(m_add, &QPushButton::clicked, this, &ApplicationChooserDialog::acceptSelection);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(file, &QPushButton::clicked, this, &ApplicationChooserDialog::chooseFile);
    // An application installed while the chooser is open joins the list.
    if (catalog) {
        connect(catalog.get(), &DesktopEntryCatalog::changed, this, &ApplicationChooserDialog::populate);
        catalog->refreshIfChanged();
    }
    populate();
    m_search->setFocus();
}

void ApplicationChooserDialog::populate() {
    const QString current =
        m_list->currentItem() ? m_list->currentItem()->data(pathRole).toString() : QString();
    m_list->clear();
    const auto catalog = m_catalog.lock();
    const auto reading = catalog ? catalog->current() : nullptr;
    if (!reading) {
        filter();
        return;
    }
    QList<const DesktopEntry*> entries;
    for (const DesktopEntry& entry : reading->index.entries()) {
        if (!entry.name.isEmpty()) {
            entries.append(&entry);
        }
    }
    QCollator collator;
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const DesktopEntry* left, const DesktopEntry* right) {
                         return collator.compare(left->name, right->name) < 0;
                     });
    for (const DesktopEntry* entry : entries) {
        QIcon icon = AppManagementIcon::entryIcon(entry->icon);
        auto* item = new QListWidgetItem(icon.isNull() ? SymbolIcons::icon("app"_symbol) : icon, entry->name);
        item->setToolTip(entry->id);
        item->setData(pathRole, entry->filePath);
        item->setData(searchRole, entry->name + u' ' + entry->id);
        m_list->addItem(item);
        if (entry->filePath == current) {
            m_list->setCurrentItem(item);
        }
    }
    filter();
}

void ApplicationChooserDialog::filter() {
    const QString text = m_search->text().trimmed();
    QListWidgetItem* firstShown = nullptr;
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        item->setHidden(!item->data(searchRole).toString().contains(text, Qt::CaseInsensitive));
        firstShown = firstShown || item->isHidden() ? firstShown : item;
    }
    // What the user typed picks the first match, so Return adds it; without a search nothing is
    // picked for the user.
    if (!m_list->currentItem() || m_list->currentItem()->isHidden()) {
        m_list->setCurrentItem(text.isEmpty() ? nullptr : firstShown);
    }
    m_add->setEnabled(m_list->currentItem() && !m_list->currentItem()->isHidden());
}

void ApplicationChooserDialog::acceptSelection() {
    QListWidgetItem* item = m_list->currentItem();
    if (!item || item->isHidden()) {
        return;
    }
    m_chosenPath = item->data(pathRole).toString();
    accept();
}

void ApplicationChooserDialog::chooseFile() {
    auto* dialog = new QFileDialog(this, localized("Choose an app"), QDir::homePath());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters(
        {localized("Programs and portable images (*)"), localized("Applications (*.desktop *.app)")});
    dialog->setLabelText(QFileDialog::Accept, localized("Choose"));
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        m_chosenPath = path;
        accept();
    });
    dialog->open();
}

QCoro::Task<std::optional<QString>>
ApplicationChooserDialog::choose(QWidget* parent, std::shared_ptr<DesktopEntryCatalog> catalog) {
    QPointer<ApplicationChooserDialog> dialog =
        new ApplicationChooserDialog(std::move(catalog), parent ? parent->window() : nullptr);
    QCoro::Task<int> finished = DialogResult::of(dialog);
    dialog->open();
    const int result = co_await std::move(finished);
    if (!dialog) {
        co_return std::nullopt;
    }
    dialog->deleteLater();
    co_return result == QDialog::Accepted ? dialog->chosenPath() : std::nullopt;
}

} // namespace tarnwell
