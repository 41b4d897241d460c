// The help launcher: shows pages of the program's help collection in Qt's external help viewer
// (assistant), which it starts once and then steers through remote-control commands on stdin.
#pragma once

#include <QString>
#include <QStringList>

// One instance exists while the main window lives; the viewer process and the "initialised" flag
// are process-wide, so dialogs call the static operations without holding the instance.
// Everything here runs on the GUI thread only.
class HelpAssistant {
public:
    // Address of every page: this prefix followed by the page's file name.
    static const char* const pagePrefix;  // "qthelp://tavolindoc/doc/output/"

    // A second instance is a programming error.
    HelpAssistant();
    // Ends the viewer (terminate, then wait up to 1500 ms) and clears the initialised flag.
    ~HelpAssistant();
    HelpAssistant(const HelpAssistant&) = delete;
    HelpAssistant& operator=(const HelpAssistant&) = delete;

    // Shows the page ("index.html", "dlgwavelength.html", ...) of the help collection.
    static void showPage(const QString& page);
    // Starts the viewer if it is not running, then sends it "setSource <url>".
    static void showUrl(const QString& url);
    // Starts the viewer with the url as its start page; false when it runs already or did not
    // start within 30 s (a missing viewer or collection is reported in a message box).
    static bool startViewer(const QString& url);

    // The command-line arguments the viewer is started with for the start page url.
    static QStringList viewerArguments(const QString& url);
    // The help collection: the application directory + "/tavolinhelp.qhc" unless overridden.
    static QString collectionFile();
    // The viewer program: Qt's own assistant (QLibraryInfo's binaries folder), else "assistant"
    // found on the PATH, unless overridden.
    static QString viewerProgram();
    // Whether the viewer process is running now.
    static bool viewerRunning();

    // Overrides for tests and unusual installations; an empty string restores the default.
    static void setViewerProgram(const QString& program);
    static void setCollectionFile(const QString& file);
    // The "Starting help" box that lists the viewer's arguments before the first start (on by
    // default); tests switch it off.
    static void setStartNoticeEnabled(bool enabled);

private:
    static void requireInstance();
};
