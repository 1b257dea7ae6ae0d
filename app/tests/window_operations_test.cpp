#include "app/window_operations_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "text/url_encode.h"

namespace {

// Runs `work` on a worker thread while this (the UI) thread keeps handling events.
class Worker {
public:
    template <class F>
    explicit Worker(F work) : thread_([this, work] { work(); done_ = true; }) {}
    ~Worker() { thread_.join(); }
    bool finish() { return QTest::qWaitFor([this] { return done_.load(); }, 60000); }
    bool done() const { return done_; }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

QMessageBox* visibleMessageBox(const QString& text) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->isVisible() && box->text() == text) return box;
    }
    return nullptr;
}

TEST(QtWindowOperations, ReadsTheSearchBoxAsGb18030) {
    MainWindow window;
    QtWindowOperations operations(window);
    window.搜索框->setText(QStringLiteral("演员 사랑 🎵"));
    Text read;
    Worker worker([&] { read = operations.readSearchBox(); });
    ASSERT_TRUE(worker.finish());
    EXPECT_EQ(read, "\xD1\xDD\xD4\xB1 " + utf8ToAnsi("사랑 🎵"));
    EXPECT_EQ(ansiToUtf8(read), "演员 사랑 🎵");
}

TEST(QtWindowOperations, RowsOfConcurrentWorkersStayIntact) {
    MainWindow window;
    QtWindowOperations operations(window);
    window.appendRow("stale");
    {
        Worker clearer([&] { operations.deleteAllRows(); });
        ASSERT_TRUE(clearer.finish());
    }
    ASSERT_EQ(window.列表框->rowCount(), 0);

    constexpr int workerCount = 4;
    constexpr int rowsEach = 40;
    auto cellOf = [](int worker, int row, int column) {
        return utf8ToAnsi("歌" + std::to_string(worker) + "-" + std::to_string(row) + "-" +
                          std::to_string(column));
    };
    std::vector<std::unique_ptr<Worker>> workers;
    for (int w = 0; w < workerCount; ++w) {
        workers.push_back(std::make_unique<Worker>([&operations, &cellOf, w] {
            for (int r = 0; r < rowsEach; ++r) {
                const int row = operations.appendRow(cellOf(w, r, 0));
                for (int c = 1; c < 5; ++c) operations.setCell(row, c, cellOf(w, r, c));
            }
        }));
    }
    for (auto& worker : workers) ASSERT_TRUE(worker->finish());

    ResultList& list = *window.列表框;
    ASSERT_EQ(list.rowCount(), workerCount * rowsEach);
    std::set<QString> seen;
    for (int row = 0; row < list.rowCount(); ++row) {
        const QString first = list.cellText(row, 0);
        ASSERT_TRUE(first.endsWith(QStringLiteral("-0"))) << first.toStdString();
        const QString stem = first.chopped(1);
        for (int c = 1; c < 5; ++c) EXPECT_EQ(list.cellText(row, c), stem + QString::number(c));
        EXPECT_TRUE(seen.insert(first).second) << "row appended twice: " << first.toStdString();
    }
}

TEST(QtWindowOperations, AClearByAnotherWorkerMakesEarlierRowIndexesStale) {
    MainWindow window;
    QtWindowOperations operations(window);
    std::atomic<int> step{0};
    Worker first([&] {
        int row = operations.appendRow("first");
        step = 1;
        while (step != 2) std::this_thread::yield();
        operations.setCell(row, 1, "must not land");  // the list was cleared meanwhile
        row = operations.appendRow("first again");
        operations.setCell(row, 1, "lands");
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return step == 1; }, 60000));
    Worker second([&] {
        operations.deleteAllRows();
        const int row = operations.appendRow("second");
        operations.setCell(row, 1, "second's artist");
        step = 2;
    });
    ASSERT_TRUE(second.finish());
    ASSERT_TRUE(first.finish());
    ResultList& list = *window.列表框;
    ASSERT_EQ(list.rowCount(), 2);
    EXPECT_EQ(list.cellText(0, 0), QStringLiteral("second"));
    EXPECT_EQ(list.cellText(0, 1), QStringLiteral("second's artist"));
    EXPECT_EQ(list.cellText(1, 0), QStringLiteral("first again"));
    EXPECT_EQ(list.cellText(1, 1), QStringLiteral("lands"));
}

TEST(QtWindowOperations, MessageBoxWaitsForDismissalWithoutBlockingTheWindow) {
    MainWindow window;
    QtWindowOperations operations(window);
    const QString texts[] = {QStringLiteral("解析错误"), QStringLiteral("第二个 💬")};
    Worker first([&] { operations.messageBox(utf8ToAnsi("解析错误"), utf8ToAnsi("Morvek提示：")); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return visibleMessageBox(texts[0]) != nullptr; }));
    Worker second([&] { operations.messageBox(utf8ToAnsi("第二个 💬"), utf8ToAnsi("Morvek提示：")); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return visibleMessageBox(texts[1]) != nullptr; }));

    QMessageBox* box = visibleMessageBox(texts[0]);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Morvek提示："));
    EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
    EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box->parentWidget(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the main window stays usable";
    EXPECT_FALSE(first.done());

    // The first box closes first although the second opened later.
    box->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(first.finish());
    EXPECT_FALSE(second.done());
    visibleMessageBox(texts[1])->button(QMessageBox::Ok)->click();
    ASSERT_TRUE(second.finish());
}

}  // namespace
