#include "app/application.h"
#include "service/song_search.h"

int main() {
    runProgram([](MainWindow& window, WindowOperations& operations) {
        window.setSearchCommand([&operations] { startSearch(operations); });
    });
}
