#pragma once

#include <QApplication>
#include <QString>

#include <memory>

// Connects the widget application to the desktop's display. Where Qt cannot reach one (no DISPLAY
// or WAYLAND_DISPLAY, or a display that refuses the connection) it would abort with its platform
// plugin message; here the process ends with status 1 and one line saying what is missing.
// Platforms that need no display (QT_QPA_PLATFORM=offscreen or minimal) start as usual.
class GraphicalSession {
public:
    static constexpr int missingExitCode = 1;

    static std::unique_ptr<QApplication> start(int& argc, char** argv);

    // The line printed when no display could be reached, from the environment as it is now.
    static QString missingDisplayMessage();
};
