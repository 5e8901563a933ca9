#include "core/support/DecodingError.h"

namespace tarnwell {

namespace {
QString composeMessage(const QString& description, const QString& path) {
    return path.isEmpty() ? description : QStringLiteral("%1 (at %2)").arg(description, path);
}
} // namespace

DecodingError::DecodingError(QString description, QString path)
    : std::runtime_error(composeMessage(description, path).toStdString())
    , m_description(std::move(description))
    , m_path(std::move(path)) {
}

QString DecodingError::userMessage() const {
    return composeMessage(m_description, m_path);
}

} // namespace tarnwell
