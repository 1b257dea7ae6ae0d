#pragma once
// What a query worker may do to the window. Each call is carried out on the UI thread while the
// calling thread waits, one at a time, so the list is never changed by two threads at once.
// Call them from worker threads only: called on the UI thread they would wait for themselves.
#include "platform/text_types.h"

class WindowOperations {
public:
    virtual ~WindowOperations() = default;

    // The current content of 搜索框.
    virtual Text readSearchBox() = 0;
    // Deletes every row of 列表框.
    virtual void deleteAllRows() = 0;
    // Appends a row whose column 0 holds `column0`; returns the new row's index.
    virtual int appendRow(const Text& column0) = 0;
    // Sets column `column` of row `row`; a row or column that does not exist is left alone, and
    // so is a row index of a caller whose rows another thread has since deleted.
    virtual void setCell(int row, int column, const Text& text) = 0;
    // MessageBoxA(nullptr, text, caption, MB_OK): one OK button, no icon, no owner window.
    // Returns when the box has been dismissed.
    virtual void messageBox(const Text& text, const Text& caption) = 0;
};
