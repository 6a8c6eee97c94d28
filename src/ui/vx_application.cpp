#include "ui/vx_application.h"

#include <QIcon>
#include <QMessageBox>
#include <exception>

#include "ui/accessible_controls.h"
#include "ui/window_font.h"

namespace vx::ui {

void ShowErrorBox(const QString& message) {
    QMessageBox::critical(nullptr, QString::fromUtf8(kApplicationTitle), message);
}

VxApplication::VxApplication(int& argc, char** argv, ErrorReport report)
    : QApplication(argc, argv), report_(std::move(report)) {
    setApplicationName(QString::fromUtf8(kApplicationTitle));
    setDesktopFileName(QStringLiteral("vxconfig"));
    RegisterWindowFont();
    InstallAccessibleControls();
    // One look on every desktop: the window's own colours (the yellow-on-blue
    // lists, the red English caption) are honoured by this style, while a
    // native one may draw yellow text on white.
    setStyle(QStringLiteral("Fusion"));
    // And the style's own pictures on the buttons, not the desktop's icon
    // theme: the same look everywhere, Windows included, and no search
    // through the theme's folders before the window can show. (An empty list
    // would mean the system's folders; this one holds no theme.)
    QIcon::setThemeSearchPaths({QStringLiteral(":/no-icon-theme")});
}

bool VxApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        report_(QString::fromUtf8(error.what()));
    } catch (...) {
        report_(QStringLiteral("Unknown exception"));
    }
    return false;
}

}  // namespace vx::ui
