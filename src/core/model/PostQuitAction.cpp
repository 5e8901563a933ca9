#include "core/model/PostQuitAction.h"

namespace tarnwell {

QString rawValue(PostQuitAction action) {
    switch (action) {
    case PostQuitAction::Off:
        return QStringLiteral("off");
    case PostQuitAction::Remind:
        return QStringLiteral("remind");
    case PostQuitAction::AutoUnmount:
        return QStringLiteral("autoUnmount");
    }
    Q_UNREACHABLE();
}

std::optional<PostQuitAction> postQuitActionFromRawValue(const QString& raw) {
    for (const PostQuitAction action : allPostQuitActions) {
        if (rawValue(action) == raw) {
            return action;
        }
    }
    return std::nullopt;
}

} // namespace tarnwell
