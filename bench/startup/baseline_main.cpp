// The smallest Qt Widgets program that shows a window: the yardstick for the gadget's start-up and memory.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Qt"));
    window.setWindowTitle(QStringLiteral("corvane-bench-baseline"));
    window.resize(156, 347);
    window.show();
    return app.exec();
}
