#pragma once
// The main window: 搜索框, 搜索按钮, the result list 列表框 and its popup menu 右键菜单.
// Every member is for the UI thread; worker threads reach the window through
// QtWindowOperations.
#include <QLineEdit>
#include <QMargins>
#include <QMenu>
#include <QPushButton>
#include <QSize>
#include <QWidget>

#include <functional>

#include "app/result_list.h"
#include "platform/text_types.h"

// The window's client size for an outer frame of 712 x 442 around it. A frame of zero
// margins means the window system did not report one; a usual dialog frame is assumed then.
QSize clientSizeForFrame(const QMargins& frame);

class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow();

    // Runs `command` when 搜索按钮 is clicked or Enter is pressed in 搜索框. Without a
    // command those do nothing.
    void setSearchCommand(std::function<void()> command);
    // Shows the window with its frame centred on the primary screen.
    void showCentred();

    Text searchBoxText() const;
    void deleteAllRows();
    int appendRow(const Text& column0);
    void setCell(int row, int column, const Text& text);
    // Puts the text of the cell on the clipboard; an empty text when there is no such cell.
    void copyCell(int row, int column);

    QLineEdit* const 搜索框;
    QPushButton* const 搜索按钮;
    ResultList* const 列表框;
    QMenu* const 右键菜单;

signals:
    // The window was closed (close box, system menu or Esc).
    void closed();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void raiseSearchCommand();
    void fitFrame();
    QPoint centredFramePosition() const;

    std::function<void()> searchCommand_;
};
