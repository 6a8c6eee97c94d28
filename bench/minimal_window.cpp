// The yardstick for the start-up bench: the least a Qt Widgets program does
// to put a window of the tool's size on the screen.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(560, 483);
    window.show();
    return QApplication::exec();
}
