#pragma once

#include <QCoroTask>
#include <QString>
#include <optional>

namespace tarnwell {

// The file dialog through which the user picks an editing application: a desktop entry or an
// application bundle.
class ApplicationChooserDialog {
public:
    // The chosen path, or nothing when the user cancels.
    static QCoro::Task<std::optional<QString>> choose();
};

} // namespace tarnwell
