// The help launcher: starts Qt's assistant on the program's help collection and sends it
// "setSource" commands through its standard input.
#include "ui/helpassistant.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <memory>

#include "base/programmingerror.h"

const char* const HelpAssistant::pagePrefix = "qthelp://tavolindoc/doc/output/";

namespace {

// How long the viewer may take to start, and to end after being asked to terminate.
constexpr int startTimeoutMs = 30000;
constexpr int terminateTimeoutMs = 1500;

struct HelpState {
    bool initialised = false;
    QProcess* process = nullptr;
    // assistant caches a collection under $XDG_DATA_HOME/QtProject/Assistant by its file name and
    // would keep showing the pages of an older build; a folder of our own per run avoids that.
    std::unique_ptr<QTemporaryDir> dataHome;
    QString programOverride;
    QString collectionOverride;
    bool startNotice = true;
};

HelpState& state() {
    static HelpState s;
    return s;
}

QString tr(const char* text) { return QCoreApplication::translate("HelpAssistant", text); }

void reportMissingCollection(const QString& file) {
    QMessageBox::warning(
        nullptr, tr("Help"),
        tr("The help collection could not be found: %1\n\n"
           "It is built together with the program when Qt's help generator is installed:\n"
           "apt-get install qt6-documentation-tools")
            .arg(QDir::toNativeSeparators(file)));
}

void reportViewerFailure(const QString& program, const QString& reason) {
    QMessageBox::warning(nullptr, tr("Help"),
                         tr("The help viewer (assistant) could not be started: %1\n\n"
                            "Program tried: %2\n\n"
                            "On Debian and Ubuntu it is installed with:\n"
                            "apt-get install assistant-qt6")
                             .arg(reason, QDir::toNativeSeparators(program)));
}

QProcessEnvironment viewerEnvironment() {
    HelpState& s = state();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!s.dataHome) {
        s.dataHome = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/tavolin-help-XXXXXX");
    }
    if (s.dataHome->isValid()) env.insert("XDG_DATA_HOME", s.dataHome->path());
    return env;
}

}  // namespace

HelpAssistant::HelpAssistant() {
    if (state().initialised)
        programmingError("HelpAssistant may not be initialized more than once");
    state().initialised = true;
}

HelpAssistant::~HelpAssistant() {
    HelpState& s = state();
    if (s.process && s.process->state() != QProcess::NotRunning) {
        s.process->terminate();
        if (!s.process->waitForFinished(terminateTimeoutMs)) {
            s.process->kill();
            s.process->waitForFinished(terminateTimeoutMs);
        }
    }
    delete s.process;
    s.process = nullptr;
    s.dataHome.reset();
    s.initialised = false;
}

void HelpAssistant::requireInstance() {
    if (!state().initialised)
        programmingError("There has to exist an instance the HelpAssistant class");
}

void HelpAssistant::showPage(const QString& page) {
    requireInstance();
    showUrl(QString::fromLatin1(pagePrefix) + page);
}

void HelpAssistant::showUrl(const QString& url) {
    requireInstance();
    startViewer(url);
    // A viewer that just started shows the url already; the command is sent in both cases. With
    // no viewer running it would be lost, so it is not written at all.
    QProcess* process = state().process;
    if (process && process->state() != QProcess::NotRunning) {
        process->write("setSource " + url.toLatin1() + "\n");
    }
}

bool HelpAssistant::startViewer(const QString& url) {
    requireInstance();
    HelpState& s = state();
    if (!s.process) s.process = new QProcess();
    if (s.process->state() != QProcess::NotRunning) return false;

    const QString collection = collectionFile();
    if (!QFileInfo::exists(collection)) {
        reportMissingCollection(collection);
        return false;
    }

    const QStringList arguments = viewerArguments(url);
    if (s.startNotice) {
        QMessageBox::information(nullptr, tr("Starting help"), arguments.join(";"),
                                 QMessageBox::Ok);
    }

    const QString program = viewerProgram();
    s.process->setProcessEnvironment(viewerEnvironment());
    // The viewer's own chatter stays off our standard output (which carries trace lines); its
    // error messages still reach the terminal.
    s.process->setStandardOutputFile(QProcess::nullDevice());
    s.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    s.process->start(program, arguments, QIODevice::ReadWrite);
    if (!s.process->waitForStarted(startTimeoutMs)) {
        reportViewerFailure(program, s.process->errorString());
        return false;
    }
    return true;
}

QStringList HelpAssistant::viewerArguments(const QString& url) {
    return {"-collectionFile", collectionFile(), "-showUrl", url, "-enableRemoteControl"};
}

QString HelpAssistant::collectionFile() {
    const QString& file = state().collectionOverride;
    return file.isEmpty() ? QCoreApplication::applicationDirPath() + "/tavolinhelp.qhc" : file;
}

QString HelpAssistant::viewerProgram() {
    const QString& program = state().programOverride;
    if (!program.isEmpty()) return program;
    // Qt 6's assistant is not on the PATH on Debian; a PATH "assistant" may belong to Qt 5 and
    // would not read our collection, so it is only the fallback.
    const QString qtViewer = QLibraryInfo::path(QLibraryInfo::BinariesPath) + "/assistant";
    if (QFileInfo(qtViewer).isExecutable()) return qtViewer;
    const QString onPath = QStandardPaths::findExecutable("assistant");
    return onPath.isEmpty() ? qtViewer : onPath;
}

bool HelpAssistant::viewerRunning() {
    const QProcess* process = state().process;
    return process && process->state() != QProcess::NotRunning;
}

void HelpAssistant::setViewerProgram(const QString& program) { state().programOverride = program; }

void HelpAssistant::setCollectionFile(const QString& file) { state().collectionOverride = file; }

void HelpAssistant::setStartNoticeEnabled(bool enabled) { state().startNotice = enabled; }
