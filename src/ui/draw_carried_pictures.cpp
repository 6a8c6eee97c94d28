// Draws the pictures the window carries (see DrawCarriedPictures) into the
// file named by its argument, for the build to put into the program.
#include <QGuiApplication>
#include <QSaveFile>
#include <QTemporaryDir>
#include <cstdio>

#include "ui/pictures.h"
#include "ui/window_font.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    // A build has no desktop session; without a runtime folder the toolkit
    // complains into the build's output.
    const QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QGuiApplication application(argc, argv);
    vx::ui::RegisterWindowFont();
    const std::optional<QByteArray> pictures = vx::ui::DrawCarriedPictures();
    if (!pictures) {
        std::fprintf(stderr,
                     "%s: no font here has the Chinese characters of the language buttons "
                     "(install fonts-wqy-microhei)\n",
                     argv[0]);
        return 1;
    }
    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(*pictures) != pictures->size() ||
        !file.commit()) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
