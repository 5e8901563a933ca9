#pragma once

#include <QCoroTask>

class QDialog;

namespace tarnwell {

// Awaits the end of a dialog opened with open(). A dialog goes with the window it belongs to
// without ever finishing, and a signal awaited on the dialog itself is delivered to it only after
// a deferred deletion could have taken it away; this hears of both, from outside the dialog.
class DialogResult {
public:
    // The dialog's result code once it has finished; Rejected when it was destroyed first. The
    // dialog is left as it is: the caller reads what it needs, then lets it go.
    static QCoro::Task<int> of(QDialog* dialog);
};

} // namespace tarnwell
