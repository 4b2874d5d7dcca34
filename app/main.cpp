// Program entry.
#include <QApplication>

#include "program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    return tolvek::runProgram();
}
