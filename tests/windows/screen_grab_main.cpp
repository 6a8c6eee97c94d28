// Writes the whole X screen to a PNG file: the picture of the Windows
// program under Wine on a virtual display, which no Qt of ours runs inside.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vx_screen_grab FILE.png\n");
        return 2;
    }
    QGuiApplication application(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || !screen->grabWindow(0).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "vx_screen_grab: could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
