#pragma once
#include <QString>
#include <stdexcept>

namespace kvt {

/// The one error the store raises; what() is the UTF-8 text the user is shown.
class StoreError : public std::runtime_error {
public:
    explicit StoreError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

} // namespace kvt
