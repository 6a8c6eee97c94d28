// The yardstick for the start-up bench: the least a Qt Widgets program does
// to put a window of the tool's size on the screen with a line of text and a
// push button in it, in the toolkit's default font. Any program that draws
// text pays for the font set-up, so the yardstick does too.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(560, 483);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("Start Scan Module!"), &window));
    layout->addWidget(new QPushButton(QStringLiteral("Exit"), &window));
    window.show();
    return QApplication::exec();
}
