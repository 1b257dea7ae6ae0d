#pragma once
// The program's course around its main window. UI thread only.
#include <QApplication>

#include <functional>

#include "app/main_window.h"
#include "app/message_boxes.h"

// Shows the start-up notice while the window is still hidden and, once the notice has been
// dismissed, the window, centred.
void openMainWindow(MainWindow& window, const std::function<void()>& showNotice = showStartupNotice);

// Runs the event loop until the main window is closed, then ends the process at once, with
// any query still running.
[[noreturn]] void runUntilClosed(QApplication& application, MainWindow& window);
