#include <QApplication>

#include "app/application.h"
#include "app/main_window.h"

int main() {
    // The program takes no command line; Qt sees the program's name only.
    char name[] = "quorvo";
    char* arguments[] = {name, nullptr};
    int count = 1;
    QApplication application(count, arguments);
    MainWindow window;
    openMainWindow(window);
    runUntilClosed(application, window);
}
