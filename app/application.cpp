#include "app/application.h"

#include <cstdio>
#include <cstdlib>

#include "app/window_operations_qt.h"

void runProgram(const std::function<void(MainWindow&, WindowOperations&)>& prepare,
                const std::function<void()>& showNotice) {
    // Qt sees the program's name only, so that no argument changes what the program does.
    static char name[] = "quorvo";
    static char* arguments[] = {name, nullptr};
    static int count = 1;
    QApplication application(count, arguments);
    MainWindow window;
    QtWindowOperations operations(window);
    prepare(window, operations);
    openMainWindow(window, showNotice);
    runUntilClosed(application, window);
}

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
