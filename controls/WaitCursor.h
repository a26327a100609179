#pragma once
// The hourglass while a long step of a handler runs (only where there is a screen to show it on).

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>

namespace kvt {

class WaitCursor {
public:
    WaitCursor() : m_on(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
        if (m_on)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~WaitCursor() {
        if (m_on)
            QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    bool m_on;
};

} // namespace kvt
