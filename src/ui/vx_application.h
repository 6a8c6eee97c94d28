#pragma once

#include <QApplication>
#include <QString>
#include <functional>

namespace vx::ui {

// The name the program goes by outside its window: on the error box and
// for the desktop.
inline constexpr const char* kApplicationTitle = "TAVRO VX-9400 Module Config";

// The standard error box, titled with the application title.
void ShowErrorBox(const QString& message);

// The application object. An exception that escapes an event handler is
// reported (by default in the standard error box) and the event loop goes on.
class VxApplication final : public QApplication {
    Q_OBJECT

public:
    using ErrorReport = std::function<void(const QString& message)>;

    VxApplication(int& argc, char** argv, ErrorReport report = ShowErrorBox);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    ErrorReport report_;
};

}  // namespace vx::ui
