// The smallest Qt program that shows a window: the yardstick of the program's start-up. With
// KVT_QUIT_WHEN_SHOWN set it leaves as soon as the window is up, as the program does.

#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("门框与门扇"));
    window.resize(400, 300);
    window.show();
    if (qEnvironmentVariableIsSet("KVT_QUIT_WHEN_SHOWN"))
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
    return app.exec();
}
