// Parsing the desktop program's command line with QCommandLineParser.
#include "ui/commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {
QString tr(const char* text) { return QCoreApplication::translate("CommandLine", text); }
}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        tr("Tavolin shows what an observer flying close to the speed of light sees."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  tr("Show this help and end."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     tr("Show the program's version and end."));
    const QCommandLineOption trace(
        QStringLiteral("trace"),
        tr("Write trace lines of the renderer to standard output (also in the Debug menu)."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(trace);
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 tr("A scene file (*.tavolin) to open instead of the default "
                                    "scene."),
                                 QStringLiteral("[FILE]"));

    CommandLine line;
    const QString usage = tr("Usage: tavolin [--trace] [FILE]\n");
    if (!parser.parse(arguments)) {
        line.exitNow = true;
        line.exitCode = 2;
        line.error = QStringLiteral("tavolin: ") + parser.errorText() + QLatin1Char('\n') + usage;
        return line;
    }
    if (parser.isSet(help)) {
        line.exitNow = true;
        // The parser names the program by how it was started (or not at all before the
        // application object exists); the usage line names it as it is installed.
        const QString text = parser.helpText();
        line.output = QStringLiteral("Usage: tavolin [options] [FILE]") +
                      text.mid(text.indexOf(QLatin1Char('\n')));
        return line;
    }
    if (parser.isSet(version)) {
        line.exitNow = true;
        line.output = QStringLiteral("tavolin ") + QStringLiteral(TAVOLIN_VERSION) +
                      QLatin1Char('\n');
        return line;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        line.exitNow = true;
        line.exitCode = 2;
        line.error = tr("tavolin: one scene file at most, not %1\n").arg(files.size()) + usage;
        return line;
    }
    line.trace = parser.isSet(trace);
    if (!files.isEmpty()) line.file = files.front();
    return line;
}
