#include "app/main_window.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <QWindow>

#include "app/qt_text.h"

namespace {

constexpr QSize outerSize(712, 442);
// Used when the window system reports no frame (no window manager, offscreen): a fixed dialog
// frame of 3 pixels with a 23-pixel title bar. The client area, 706 x 413, keeps the list's
// 11-pixel margin on both sides.
constexpr QMargins assumedFrame(3, 26, 3, 3);

// The popup menu's items and the column each copies.
struct MenuItem {
    const char16_t* text;
    int column;
};
constexpr MenuItem menuItems[] = {
    {u"复制 - 歌曲名", 0}, {u"复制 - 艺术家", 1}, {u"复制 - 专辑名", 2},
    {u"复制 - 歌曲ID", 3}, {u"复制 - 直链地址", 4},
};

constexpr int linkColumn = 4;

}  // namespace

QSize clientSizeForFrame(const QMargins& frame) {
    const QMargins margins = frame.isNull() ? assumedFrame : frame;
    return outerSize.shrunkBy(margins);
}

MainWindow::MainWindow()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      搜索框(new QLineEdit(QStringLiteral("演员"), this)),
      搜索按钮(new QPushButton(QStringLiteral("查询"), this)),
      列表框(new ResultList(this)),
      右键菜单(new QMenu(this)) {
    setWindowTitle(QStringLiteral("Lirako Quorvo：Morvek"));
    setFixedSize(clientSizeForFrame({}));

    搜索框->setObjectName(QStringLiteral("搜索框"));
    搜索按钮->setObjectName(QStringLiteral("搜索按钮"));
    列表框->setObjectName(QStringLiteral("列表框"));
    右键菜单->setObjectName(QStringLiteral("右键菜单"));
    搜索框->setGeometry(196, 16, 215, 32);
    搜索按钮->setGeometry(415, 16, 96, 32);
    列表框->setGeometry(11, 65, 683, 335);

    // A QPushButton in a plain window is never a default button, so Enter neither clicks it
    // nor moves the focus; Enter in the search box raises the command itself.
    搜索按钮->setAutoDefault(false);
    connect(搜索按钮, &QPushButton::clicked, this, &MainWindow::raiseSearchCommand);
    connect(搜索框, &QLineEdit::returnPressed, this, &MainWindow::raiseSearchCommand);

    for (const MenuItem& item : menuItems) {
        const int column = item.column;
        connect(右键菜单->addAction(QString::fromUtf16(item.text)), &QAction::triggered, this,
                [this, column] { copyCell(列表框->selectedRow(), column); });
    }
    connect(列表框, &ResultList::rightClicked, this, [this](QPoint globalPosition) {
        if (列表框->selectedRow() != -1) 右键菜单->popup(globalPosition);
    });
    connect(列表框, &ResultList::leftDoubleClicked, this, [this] {
        const int row = 列表框->selectedRow();
        if (row >= 0) copyCell(row, linkColumn);
    });

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void MainWindow::setSearchCommand(std::function<void()> command) {
    searchCommand_ = std::move(command);
}

void MainWindow::raiseSearchCommand() {
    if (searchCommand_) searchCommand_();
}

void MainWindow::showCentred() {
    fitFrame();
    move(centredFramePosition());
    show();
}

QPoint MainWindow::centredFramePosition() const {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return screen.topLeft() + QPoint((screen.width() - outerSize.width()) / 2,
                                     (screen.height() - outerSize.height()) / 2);
}

void MainWindow::fitFrame() {
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    if (frame.isNull()) return;
    const QSize client = clientSizeForFrame(frame);
    if (client == size()) return;
    setFixedSize(client);
    move(centredFramePosition());
}

bool MainWindow::event(QEvent* event) {
    // A window manager reports its frame only once it has framed the window, after the first
    // show; the client size is corrected then so that the frame measures 712 x 442.
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize ||
        event->type() == QEvent::Show) {
        fitFrame();
    }
    return handled;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    emit closed();
}

Text MainWindow::searchBoxText() const { return toText(搜索框->text()); }

void MainWindow::deleteAllRows() { 列表框->setRowCount(0); }

int MainWindow::appendRow(const Text& column0) { return 列表框->appendRow(toQString(column0)); }

void MainWindow::setCell(int row, int column, const Text& text) {
    列表框->setCell(row, column, toQString(text));
}

void MainWindow::copyCell(int row, int column) {
    // setText replaces whatever the clipboard held. A clipboard another program keeps from us
    // is not reported by Qt, so the copy then simply does not arrive.
    QGuiApplication::clipboard()->setText(列表框->cellText(row, column));
}
