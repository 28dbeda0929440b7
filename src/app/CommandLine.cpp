#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

std::optional<int> CommandLine::answerWithoutWindow(int& argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCommandLineParser parser;
    // Qt's own options such as -style or -reverse stay whole words, never
    // read as a row of one-letter options that might hold -v.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine", "Blocks distracting websites and applications "
                                                   "for a timed focus session."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    QCommandLineOption resume(
        QStringLiteral("resume-session"),
        QCoreApplication::translate("CommandLine", "Started at login to end an earlier session on "
                                                   "time; opens the window only while it runs."));
    parser.addOption(resume);
    // Options of Qt's own (-platform, -style, …) are not known here; only
    // help and version are acted on.
    parser.parse(arguments);
    const bool helpAsked = parser.isSet(help) || parser.isSet(QStringLiteral("help-all"));
    if (!helpAsked && !parser.isSet(version))
        return std::nullopt;
    const QCoreApplication application(argc, argv);
    const QString text =
        helpAsked ? parser.helpText()
                  : QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                  QCoreApplication::applicationVersion());
    std::fputs(qPrintable(text), stdout);
    return 0;
}
