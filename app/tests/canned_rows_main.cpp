// The program with a canned search in place of the real one, to look at the window: the
// start-up notice, then 搜索按钮 or Enter fill the list through the window operations, as a
// query worker does.
#include <thread>

#include "app/application.h"
#include "text/url_encode.h"

namespace {

void fillCannedRows(WindowOperations& operations) {
    struct Row { const char* cells[5]; };
    const Row rows[] = {
        {{"", "林一舟", "夏夜集", "1938472", "http://m10.music.example/2026/ab/1938472.mp3"}},
        {{"晚风告白", "许安然", "城市漫游", "2056613", "http://m10.music.example/2026/cd/2056613.mp3"}},
        {{"사랑의 노래", "김하늘", "First Light", "1874409", ".mp3"}},
        {{"星河（Live）", "周北辰", "星河", "1999123", "http://m10.music.example/2026/ef/1999123.mp3"}},
    };
    operations.deleteAllRows();
    const Text keyword = operations.readSearchBox();
    for (const Row& row : rows) {
        const Text first = *row.cells[0] ? utf8ToAnsi(row.cells[0]) : keyword;
        const int index = operations.appendRow(first);
        for (int c = 1; c < 5; ++c) operations.setCell(index, c, utf8ToAnsi(row.cells[c]));
    }
}

}  // namespace

int main() {
    runProgram([](MainWindow& window, WindowOperations& operations) {
        window.setSearchCommand([&operations] {
            std::thread(fillCannedRows, std::ref(operations)).detach();
        });
    });
}
