#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace tarnwell {

// What happens once every application bound to a rule has quit. The declaration order is the
// order offered to the user.
enum class PostQuitAction { Off, Remind, AutoUnmount };

inline const QList<PostQuitAction> allPostQuitActions{PostQuitAction::Off, PostQuitAction::Remind,
                                                      PostQuitAction::AutoUnmount};

// "off", "remind", "autoUnmount": the stored form.
QString rawValue(PostQuitAction action);
std::optional<PostQuitAction> postQuitActionFromRawValue(const QString& raw);

} // namespace tarnwell
