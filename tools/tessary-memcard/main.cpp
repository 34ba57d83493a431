// tessary-memcard: whole memory-card images from the command line.
#include "commands.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessary-memcard"));
    return memcardtool::runCommandLine(QCoreApplication::arguments());
}
