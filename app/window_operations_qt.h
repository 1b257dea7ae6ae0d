#pragma once
// WindowOperations carried out on the UI thread of a MainWindow. Call them from worker threads
// only (from the UI thread they would wait for themselves); any number of workers may call at
// once. The window must outlive every call.
//
// A worker's row index goes stale when another worker clears the list after the row was
// appended: setCell from that worker is then dropped until it appends again, so overlapping
// queries never write into each other's rows.
#include "app/main_window.h"
#include "platform/window_operations.h"

class QtWindowOperations final : public WindowOperations {
public:
    explicit QtWindowOperations(MainWindow& window) : window_(window) {}

    Text readSearchBox() override;
    void deleteAllRows() override;
    int appendRow(const Text& column0) override;
    void setCell(int row, int column, const Text& text) override;
    // The box does not block the window: the user may go on using it while the box is up.
    void messageBox(const Text& text, const Text& caption) override;

private:
    MainWindow& window_;
    long long generation_ = 0;  // how often the list was cleared; touched on the UI thread only
};
