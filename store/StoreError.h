#pragma once
// The one error the store raises, whatever engine or source it comes from: its message is what
// the user is shown, its kind what a caller may answer with a message of its own.
#include <QString>
#include <stdexcept>

namespace kvt {

/// The one error the store raises; what() is the UTF-8 text the user is shown.
class StoreError : public std::runtime_error {
public:
    /// What went wrong, for callers that answer some failures with a message of their own.
    enum class Kind {
        Other,
        /// A saved row changed or vanished since it was read: someone else saved first.
        Conflict,
        /// Another connection holds the lock past the busy timeout.
        Busy,
        ReadOnly,
        DiskFull,
        Io,
        Corrupt,
        /// A unique, primary-key or not-null constraint refused a value.
        Constraint,
    };

    explicit StoreError(const QString& message, Kind kind = Kind::Other)
        : std::runtime_error(message.toStdString()), m_kind(kind)
    {
    }
    QString message() const { return QString::fromUtf8(what()); }
    Kind kind() const { return m_kind; }

private:
    Kind m_kind;
};

} // namespace kvt
