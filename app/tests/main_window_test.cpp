#include "app/main_window.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

#include "text/url_encode.h"

namespace {

// Rows as a query fills them: GB18030 Text made from the UTF-8 written here.
struct Row {
    std::string cells[5];
};
const Row sampleRows[] = {
    {{"演员", "林一舟", "夏夜集", "1938472", "http://m10.music.example/2026/ab/1938472.mp3"}},
    {{"사랑의 노래", "김하늘", "星河 🌌", "2056613", ".mp3"}},  // Korean, emoji, unresolved link
};

class MainWindowTest : public testing::Test {
protected:
    void fill() {
        for (const Row& row : sampleRows) {
            const int index = window.appendRow(utf8ToAnsi(row.cells[0]));
            for (int c = 1; c < 5; ++c) window.setCell(index, c, utf8ToAnsi(row.cells[c]));
        }
    }
    void showActive() {
        window.showCentred();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    QWidget* viewport() { return window.列表框->viewport(); }
    QPoint rowCentre(int row) {
        return window.列表框->visualRect(window.列表框->model()->index(row, 1)).center();
    }
    QPoint belowRows() { return QPoint(40, viewport()->height() - 10); }
    static QString clipboardText() { return QGuiApplication::clipboard()->text(); }

    MainWindow window;
};

TEST(ClientSizeForFrame, LeavesAnOuterFrameOf712By442) {
    struct Case { QMargins frame; QSize client; const char* why; };
    const Case cases[] = {
        {{0, 0, 0, 0}, {706, 413}, "no frame reported: a 3-pixel frame and a 23-pixel title"},
        {{1, 37, 1, 1}, {710, 404}, "thin border, tall title bar"},
        {{4, 30, 4, 4}, {704, 408}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(clientSizeForFrame(c.frame), c.client);
    }
}

TEST_F(MainWindowTest, HasFixedSizeCaptionAndControlsInPlace) {
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Lirako Quorvo：Morvek"));
    EXPECT_EQ(window.size(), QSize(706, 413));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the frame must not be resizable";
    const Qt::WindowFlags flags = window.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowStaysOnTopHint);

    EXPECT_EQ(window.搜索框->geometry(), QRect(196, 16, 215, 32));
    EXPECT_EQ(window.搜索按钮->geometry(), QRect(415, 16, 96, 32));
    EXPECT_EQ(window.列表框->geometry(), QRect(11, 65, 683, 335));
    EXPECT_EQ(window.搜索框->text(), QStringLiteral("演员"));
    EXPECT_EQ(window.搜索按钮->text(), QStringLiteral("查询"));
    EXPECT_EQ(window.列表框->rowCount(), 0);
}

TEST_F(MainWindowTest, OpensCentredOnThePrimaryScreen) {
    window.showCentred();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(window.frameGeometry().topLeft(),
              screen.topLeft() + QPoint((screen.width() - 712) / 2, (screen.height() - 442) / 2));
}

TEST_F(MainWindowTest, ListHasFiveColumnsWithTitlesWidthsAndAlignments) {
    struct Column { const char* title; int width; Qt::Alignment horizontal; };
    const Column columns[] = {
        {"歌曲名", 150, Qt::AlignLeft},   {"艺术家", 80, Qt::AlignHCenter},
        {"专辑", 100, Qt::AlignHCenter},  {"歌曲ID", 80, Qt::AlignHCenter},
        {"直链地址", 250, Qt::AlignHCenter},
    };
    ResultList& list = *window.列表框;
    ASSERT_EQ(list.columnCount(), 5);
    fill();
    for (int c = 0; c < 5; ++c) {
        SCOPED_TRACE(c);
        const QTableWidgetItem* header = list.horizontalHeaderItem(c);
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->text(), QString::fromUtf8(columns[c].title));
        EXPECT_EQ(list.columnWidth(c), columns[c].width);
        EXPECT_EQ(Qt::Alignment(header->textAlignment()) & Qt::AlignHorizontal_Mask,
                  columns[c].horizontal);
        ASSERT_NE(list.item(1, c), nullptr);
        EXPECT_EQ(Qt::Alignment(list.item(1, c)->textAlignment()) & Qt::AlignHorizontal_Mask,
                  columns[c].horizontal);
        EXPECT_FALSE(list.item(1, c)->flags() & Qt::ItemIsEditable);
    }
    EXPECT_FALSE(list.horizontalHeader()->isHidden());
    EXPECT_TRUE(list.verticalHeader()->isHidden());
    EXPECT_FALSE(list.isSortingEnabled());
    EXPECT_TRUE(list.showGrid());
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(list.editTriggers(), QAbstractItemView::NoEditTriggers);
}

TEST_F(MainWindowTest, CellsShowTheTextOfGb18030Rows) {
    fill();
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 5; ++c) {
            EXPECT_EQ(window.列表框->cellText(r, c), QString::fromStdString(sampleRows[r].cells[c]));
        }
    }
}

TEST_F(MainWindowTest, CellsOutsideTheListAreLeftAlone) {
    fill();
    window.setCell(2, 0, "x");
    window.setCell(-1, 0, "x");
    window.setCell(0, 5, "x");
    window.setCell(0, -1, "x");
    EXPECT_EQ(window.列表框->rowCount(), 2);
    EXPECT_EQ(window.列表框->cellText(0, 4), QString::fromStdString(sampleRows[0].cells[4]));
}

TEST_F(MainWindowTest, PopupMenuHasFiveCopyItemsInOrder) {
    const char* texts[] = {"复制 - 歌曲名", "复制 - 艺术家", "复制 - 专辑名", "复制 - 歌曲ID",
                           "复制 - 直链地址"};
    const QList<QAction*> actions = window.右键菜单->actions();
    ASSERT_EQ(actions.size(), 5);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(actions[i]->text(), QString::fromUtf8(texts[i]));
        EXPECT_TRUE(actions[i]->isEnabled());
        EXPECT_TRUE(actions[i]->shortcut().isEmpty());
    }
}

TEST_F(MainWindowTest, EachMenuItemCopiesItsColumnOfTheSelectedRow) {
    fill();
    const QList<QAction*> actions = window.右键菜单->actions();
    for (int r = 0; r < 2; ++r) {
        window.列表框->selectRow(r);
        for (int c = 0; c < 5; ++c) {
            SCOPED_TRACE(testing::Message() << "row " << r << " column " << c);
            QGuiApplication::clipboard()->setText(QStringLiteral("before"));
            actions[c]->trigger();
            EXPECT_EQ(clipboardText(), QString::fromStdString(sampleRows[r].cells[c]));
        }
    }
}

TEST_F(MainWindowTest, MenuItemsCopyAnEmptyTextWithoutASelection) {
    fill();
    for (QAction* action : window.右键菜单->actions()) {
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        action->trigger();
        EXPECT_EQ(clipboardText(), QString());
    }
}

TEST_F(MainWindowTest, CopiesCellsThatWereAppendedButNotYetSet) {
    window.appendRow(utf8ToAnsi("半行"));
    window.列表框->selectRow(0);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    window.右键菜单->actions()[4]->trigger();
    EXPECT_EQ(clipboardText(), QString());
    window.右键菜单->actions()[0]->trigger();
    EXPECT_EQ(clipboardText(), QStringLiteral("半行"));
}

TEST_F(MainWindowTest, RightClickOpensTheMenuOnlyWithASelectedRow) {
    showActive();
    QTest::mouseClick(viewport(), Qt::RightButton, {}, belowRows());
    EXPECT_FALSE(window.右键菜单->isVisible()) << "empty list";

    fill();
    QTest::mouseClick(viewport(), Qt::RightButton, {}, belowRows());
    EXPECT_FALSE(window.右键菜单->isVisible()) << "empty space, no row selected";
    EXPECT_EQ(window.列表框->selectedRow(), -1);

    const QPoint onRow = rowCentre(1);
    QTest::mouseClick(viewport(), Qt::RightButton, {}, onRow);
    EXPECT_EQ(window.列表框->selectedRow(), 1) << "a right click selects the row under it";
    ASSERT_TRUE(window.右键菜单->isVisible());
    EXPECT_EQ(window.右键菜单->pos(), viewport()->mapToGlobal(onRow)) << "opens at the pointer";
    window.右键菜单->hide();
}

TEST_F(MainWindowTest, DoubleClickCopiesTheLinkOfTheSelectedRow) {
    showActive();
    fill();
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    QTest::mouseDClick(viewport(), Qt::LeftButton, {}, belowRows());
    EXPECT_EQ(clipboardText(), QStringLiteral("before")) << "no row selected: nothing copied";

    for (int r : {1, 0}) {
        QTest::mouseDClick(viewport(), Qt::LeftButton, {}, rowCentre(r));
        EXPECT_EQ(window.列表框->selectedRow(), r);
        EXPECT_EQ(clipboardText(), QString::fromStdString(sampleRows[r].cells[4]));
    }
}

TEST_F(MainWindowTest, EnterInTheSearchBoxRaisesTheSearchLikeTheButton) {
    int raised = 0;
    window.setSearchCommand([&raised] { ++raised; });
    showActive();
    QTest::mouseClick(window.搜索按钮, Qt::LeftButton);
    EXPECT_EQ(raised, 1);
    window.搜索框->setFocus();
    QTest::keyClick(window.搜索框, Qt::Key_Return);
    EXPECT_EQ(raised, 2);
    QTest::keyClick(window.搜索框, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(raised, 3);
    EXPECT_EQ(QApplication::focusWidget(), window.搜索框) << "Enter must not move the focus";

    for (Qt::Key key : {Qt::Key_A, Qt::Key_Space, Qt::Key_Down, Qt::Key_F5, Qt::Key_Tab}) {
        QTest::keyClick(window.搜索框, key);
    }
    EXPECT_EQ(raised, 3) << "other keys do not search";
    EXPECT_EQ(window.搜索框->text(), QStringLiteral("演员a "));
}

TEST_F(MainWindowTest, WithoutACommandSearchingDoesNothing) {
    showActive();
    QTest::mouseClick(window.搜索按钮, Qt::LeftButton);
    QTest::keyClick(window.搜索框, Qt::Key_Return);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(MainWindowTest, EscapeClosesTheWindowFromEveryControl) {
    for (int control = 0; control < 3; ++control) {
        SCOPED_TRACE(control);
        MainWindow another;
        QWidget* const controls[] = {another.搜索框, another.搜索按钮, another.列表框};
        QSignalSpy closed(&another, &MainWindow::closed);
        another.showCentred();
        another.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&another));
        controls[control]->setFocus();
        QTest::keyClick(controls[control], Qt::Key_Escape);
        EXPECT_FALSE(another.isVisible());
        EXPECT_EQ(closed.count(), 1);
    }
}

TEST_F(MainWindowTest, SelectionIsShownOnlyWhileTheListHasTheFocus) {
    fill();
    showActive();
    window.搜索框->setFocus();
    const QImage unselected = viewport()->grab().toImage();
    window.列表框->selectRow(0);
    EXPECT_EQ(viewport()->grab().toImage(), unselected) << "focus in the search box";

    window.列表框->setFocus();
    ASSERT_TRUE(window.列表框->hasFocus());
    EXPECT_NE(viewport()->grab().toImage(), unselected) << "focus in the list";
}

}  // namespace
