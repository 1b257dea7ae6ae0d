#include "app/application.h"

#include <cstdio>
#include <cstdlib>

void openMainWindow(MainWindow& window, const std::function<void()>& showNotice) {
    showNotice();
    window.showCentred();
}

void runUntilClosed(QApplication& application, MainWindow& window) {
    // Only the main window ends the program: a worker's message box left open must not keep
    // it running, nor must the notice closing before the loop starts end it.
    application.setQuitOnLastWindowClosed(false);
    // Queued, so that a close before the loop runs still ends it once it does.
    QObject::connect(&window, &MainWindow::closed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    const int code = application.exec();
    // Query workers are never joined and may be blocked in a call queued to this thread.
    // Destroying the window and the application would release those calls onto freed objects,
    // so the process ends here, without running destructors or exit handlers.
    std::fflush(nullptr);
    std::_Exit(code);
}
