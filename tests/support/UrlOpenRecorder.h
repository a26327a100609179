#pragma once
// Stands in for the desktop's file opener: install it with
// QDesktopServices::setUrlHandler("file", &recorder, "open") and read which files were opened.

#include <QList>
#include <QObject>
#include <QUrl>

namespace kvt::test {

class UrlOpenRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

} // namespace kvt::test
