#pragma once
// The five-column result list: a report-style list with full-row single selection, grid lines,
// no sorting and no editing. Every call is for the UI thread.
#include <QPoint>
#include <QString>
#include <QTableWidget>

class ResultList : public QTableWidget {
    Q_OBJECT
public:
    explicit ResultList(QWidget* parent = nullptr);

    // Appends a row whose column 0 holds `column0`; returns its index.
    int appendRow(const QString& column0);
    // A row or column that does not exist is left alone.
    void setCell(int row, int column, const QString& text);
    // Empty when the row or its cell does not exist.
    QString cellText(int row, int column) const;
    // The first selected row, -1 when none is selected.
    int selectedRow() const;

signals:
    // After the list has handled the click, so a click on a row has selected it already.
    void rightClicked(QPoint globalPosition);
    void leftDoubleClicked();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // The selection is drawn only while the list has the focus, so that a selected row does
    // not look selected while the user types in the search box.
    void showSelection(bool shown);
};
