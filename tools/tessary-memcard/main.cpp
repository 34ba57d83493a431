// tessary-memcard: whole memory-card images from the command line.
#include "options.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessary-memcard"));
    return tessary::memcard::runCommandLine(QCoreApplication::arguments());
}
