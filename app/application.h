#pragma once
// The program's course around its main window. UI thread only.
#include <QApplication>

#include <functional>

#include "app/main_window.h"
#include "app/message_boxes.h"
#include "platform/window_operations.h"

// The whole program: the application, which takes no command line, the main window and the
// operations its workers use, `prepare` (which connects the search command), then the notice,
// the window and the loop, until the window closes and the process ends.
[[noreturn]] void runProgram(
    const std::function<void(MainWindow& window, WindowOperations& operations)>& prepare,
    const std::function<void()>& showNotice = showStartupNotice);

// Shows the start-up notice while the window is still hidden and, once the notice has been
// dismissed, the window, centred.
void openMainWindow(MainWindow& window, const std::function<void()>& showNotice = showStartupNotice);

// Runs the event loop until the main window is closed, then ends the process at once, with
// any query still running.
[[noreturn]] void runUntilClosed(QApplication& application, MainWindow& window);
