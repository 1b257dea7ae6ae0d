#include "app/window_operations_qt.h"

#include <future>
#include <memory>

#include "app/message_boxes.h"
#include "app/qt_text.h"

namespace {
// The list generation in which the calling worker appended its last row; -1: none yet.
thread_local long long appendedInGeneration = -1;
}  // namespace

Text QtWindowOperations::readSearchBox() {
    Text text;
    QMetaObject::invokeMethod(
        &window_, [this] { return window_.searchBoxText(); }, Qt::BlockingQueuedConnection,
        &text);
    return text;
}

void QtWindowOperations::deleteAllRows() {
    QMetaObject::invokeMethod(
        &window_,
        [this] {
            ++generation_;
            window_.deleteAllRows();
        },
        Qt::BlockingQueuedConnection);
}

int QtWindowOperations::appendRow(const Text& column0) {
    int row = -1;
    long long generation = -1;
    QMetaObject::invokeMethod(
        &window_,
        [this, &column0, &generation] {
            generation = generation_;
            return window_.appendRow(column0);
        },
        Qt::BlockingQueuedConnection, &row);
    appendedInGeneration = generation;
    return row;
}

void QtWindowOperations::setCell(int row, int column, const Text& text) {
    QMetaObject::invokeMethod(
        &window_,
        [this, row, column, &text, appended = appendedInGeneration] {
            if (appended >= 0 && appended != generation_) return;
            window_.setCell(row, column, text);
        },
        Qt::BlockingQueuedConnection);
}

void QtWindowOperations::messageBox(const Text& text, const Text& caption) {
    // The box is shown without a nested event loop and the worker waits for its dismissal on
    // its own: a modal exec() would block the main window, and boxes of two workers could then
    // only close in reverse order of opening.
    auto dismissed = std::make_shared<std::promise<void>>();
    std::future<void> done = dismissed->get_future();
    const QString shownText = toQString(text);
    const QString shownCaption = toQString(caption);
    QMetaObject::invokeMethod(&window_, [shownText, shownCaption, dismissed] {
        QMessageBox* box = makeMessageBox(shownText, shownCaption).release();
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::NonModal);
        QObject::connect(box, &QDialog::finished, [dismissed] { dismissed->set_value(); });
        box->show();
    }, Qt::QueuedConnection);
    done.wait();
}
