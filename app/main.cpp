#include "app/application.h"

int main() {
    runProgram([](MainWindow&, WindowOperations&) {});
}
