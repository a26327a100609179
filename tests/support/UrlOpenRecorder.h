#pragma once
// Stands in for the desktop's file opener: install it with
// QDesktopServices::setUrlHandler("file", &recorder, "open") and read which files were opened.

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>

namespace kvt::test {

class UrlOpenRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

/// The files the desktop was asked to open while action ran (a workbook sent to the spreadsheet).
inline QList<QUrl> FilesOpenedBy(const std::function<void()>& action) {
    UrlOpenRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    action();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    return recorder.opened;
}

} // namespace kvt::test
