#include <QApplication>

int main(int argc, char** argv)
{
    // The strip is an X11 dock window: run on xcb (XWayland on Wayland sessions).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tidewire"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tidewire"));
    app.setQuitOnLastWindowClosed(false);
    return 0;
}
