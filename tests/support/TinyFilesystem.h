#pragma once
// A tmpfs of its own for a test, so that a disk can be filled up or made read-only for real.
// Mounting needs root (as the tests run in CI); elsewhere mounted() is false and the test skips.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>

namespace kvt::test {

/// A small filesystem of its own, so that a test can fill it or make it read-only for real.
class TinyFilesystem {
public:
    explicit TinyFilesystem(const char* size) {
        if (geteuid() != 0)
            return;
        m_mounted =
            QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=%1").arg(size), QStringLiteral("tmpfs"), m_dir.path()}) == 0;
    }
    ~TinyFilesystem() {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_dir.path()});
    }
    bool mounted() const { return m_mounted; }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    bool remountReadOnly() const {
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-o"), QStringLiteral("remount,ro"), m_dir.path()}) == 0;
    }
    /// Fills the filesystem up with a file of its own, then gives back leaveFree bytes (whole
    /// pages) of it; removing that file frees the space.
    void fill(qint64 leaveFree = 0) const {
        QFile f(path(QStringLiteral("filler")));
        f.open(QIODevice::WriteOnly);
        const QByteArray block(4096, 'x');
        while (f.write(block) == block.size() && f.flush()) {
        }
        // Whatever a page does not fit into is left over as well.
        QByteArray small(64, 'x');
        while (f.write(small) == small.size() && f.flush()) {
        }
        if (leaveFree > 0)
            f.resize(f.size() - leaveFree);
    }
    void unfill() const { QFile::remove(path(QStringLiteral("filler"))); }
    /// Frees bytes of the filler (rounded up to whole pages), as a user deletes a file or two.
    void giveBack(qint64 bytes) const {
        QFile f(path(QStringLiteral("filler")));
        f.resize(std::max<qint64>(0, f.size() - (bytes + 4095) / 4096 * 4096));
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace kvt::test
