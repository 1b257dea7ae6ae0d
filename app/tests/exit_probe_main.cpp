// The program, closed while its workers wait on the window. It prints one line just before the
// close; the process must then end at once, without another word and with code 0.
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <string>
#include <thread>

#include "app/application.h"
#include "text/url_encode.h"

namespace {

void closeWhileWorkersWait(MainWindow& window, WindowOperations& operations) {
    // Workers are detached, as query workers are: nobody waits for them.
    for (int w = 0; w < 3; ++w) {
        std::thread([&operations, w] {
            for (int r = 0;; ++r) {
                const int row = operations.appendRow(utf8ToAnsi("行 " + std::to_string(r)));
                for (int c = 1; c < 5; ++c) operations.setCell(row, c, std::to_string(w));
                if (r % 50 == 49) operations.deleteAllRows();
                operations.readSearchBox();
            }
        }).detach();
    }
    std::thread([&operations] {
        operations.messageBox(utf8ToAnsi("解析错误"), utf8ToAnsi("Morvek提示："));
    }).detach();

    // Close once the workers are busy and the box is up, whatever the machine's speed.
    auto* poll = new QTimer(&window);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll] {
        bool boxUp = false;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget != &window && widget->isVisible()) boxUp = true;
        }
        if (!boxUp || window.列表框->rowCount() < 20) return;
        poll->stop();
        std::puts("closing with workers waiting");
        std::fflush(stdout);
        window.close();
    });
    poll->start(10);
}

}  // namespace

int main() { runProgram(closeWhileWorkersWait, [] {}); }
