// SPDX-License-Identifier: BSD-3-Clause
#include "command_line.h"
#include "tessary_version.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

namespace tessary {

namespace {

constexpr const char* kUsageLine = "Usage: tessary [options]\n";

constexpr const char* kDescription =
    "The workbench for PC/SC smart-card readers: pick a reader, connect to its card, send\n"
    "APDUs and reader commands, and work with memory cards. A file PcScLog.txt in the\n"
    "current directory switches on a timed trace of every library call into it;\n"
    "Readername.txt there names one more supported reader.";

constexpr const char* kEpilogue =
    "\n"
    "Qt's own options (-platform, -style, ...) are taken as well.\n"
    "\n"
    "Exit status: 0 when the window was closed, 1 when the program could not start,\n"
    "2 for a usage error.\n"
    "\n"
    "Examples:\n"
    "  touch PcScLog.txt && tessary\n"
    "  tessary --memory-card-pages\n";

// The options that QGuiApplication, QApplication and the X11 platform take out of argv
// themselves; known here only so that they are not refused.
constexpr const char* kQtOptionsWithValue[] = {"platform",      "platformpluginpath",
                                               "platformtheme", "plugin",
                                               "qmljsdebugger", "qwindowgeometry",
                                               "qwindowicon",   "qwindowtitle",
                                               "session",       "display",
                                               "geometry",      "name",
                                               "visual",        "style",
                                               "stylesheet"};
constexpr const char* kQtFlags[] = {"reverse", "widgetcount", "sync", "nograb", "dograb"};

void hide(QCommandLineOption& option) {
    option.setFlags(QCommandLineOption::HiddenFromHelp);
}

int usageError(const QString& message) {
    std::fprintf(stderr, "tessary: %s\n%sTry 'tessary --help' for more.\n",
                 message.toLocal8Bit().constData(), kUsageLine);
    return 2;
}

} // namespace

CommandLine readCommandLine(int argc, char** argv) {
    QCommandLineParser parser;
    // Qt's options are single words after one dash ("-platform offscreen").
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption exitWhenShown(
        QStringLiteral("exit-when-shown"),
        QStringLiteral("Leave as soon as the window has first been shown."));
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption memoryCardPages(
        QStringLiteral("memory-card-pages"),
        QStringLiteral("Show the tabs of the SLE 4442/4432 and SLE 4428/4418 memory-card "
                       "pages, which are hidden otherwise."));
    parser.addOption(exitWhenShown);
    parser.addOption(memoryCardPages);
    for (const char* name : kQtOptionsWithValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        hide(option);
        parser.addOption(option);
    }
    for (const char* name : kQtFlags) {
        QCommandLineOption option(QString::fromLatin1(name), QString());
        hide(option);
        parser.addOption(option);
    }

    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    CommandLine result;
    if (!parser.parse(arguments)) {
        result.exitStatus = usageError(parser.errorText());
    } else if (!parser.positionalArguments().isEmpty()) {
        result.exitStatus = usageError(QStringLiteral("unexpected argument '%1'")
                                           .arg(parser.positionalArguments().constFirst()));
    } else if (parser.isSet(help)) {
        // Qt's own usage line names a placeholder without an application object.
        QString text = parser.helpText();
        text = text.mid(text.indexOf(QLatin1Char('\n')) + 1);
        std::printf("%s%s%s", kUsageLine, text.toLocal8Bit().constData(), kEpilogue);
        result.exitStatus = 0;
    } else if (parser.isSet(version)) {
        std::printf("tessary (Tessary) %s\n", TESSARY_VERSION);
        result.exitStatus = 0;
    }
    result.exitWhenShown = parser.isSet(exitWhenShown);
    result.memoryCardPages = parser.isSet(memoryCardPages);
    return result;
}

} // namespace tessary
