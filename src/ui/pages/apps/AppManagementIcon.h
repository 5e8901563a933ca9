#pragma once

#include "core/model/AppTrigger.h"

#include <QIcon>
#include <QWidget>
#include <memory>

namespace tarnwell {

class DesktopEntryIndex;

// The picture of an editing application: the application the user picked, else an installed one
// with one of its identifiers, else a monogram of a known editor, else the generic application
// icon.
class AppManagementIcon : public QWidget {
    Q_OBJECT

public:
    enum class Source { AppPath, DesktopEntry, Preset, Generic };
    Q_ENUM(Source)

    static constexpr int iconSize = 44;

    AppManagementIcon(AppTrigger trigger, std::shared_ptr<const DesktopEntryIndex> index,
                      QWidget* parent = nullptr);

    void setTrigger(AppTrigger trigger);
    // The installed applications changed: the entry's icon may be there now, or gone.
    void setDesktopEntries(std::shared_ptr<const DesktopEntryIndex> index);
    Source source() const { return m_source; }
    // The preset asset shown, when the source is a preset.
    const QString& presetAsset() const { return m_presetAsset; }

    // The preset asset of a trigger: by its identifiers in order, then by its display name.
    static std::optional<QString> presetAssetName(const AppTrigger& trigger);
    // A desktop entry's Icon value: an absolute file, or a name looked up in the icon theme.
    static QIcon entryIcon(const std::optional<QString>& icon);

    QSize sizeHint() const override { return {iconSize, iconSize}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void resolve();

    AppTrigger m_trigger;
    std::shared_ptr<const DesktopEntryIndex> m_index;
    Source m_source = Source::Generic;
    QString m_presetAsset;
    QIcon m_icon;
};

} // namespace tarnwell
