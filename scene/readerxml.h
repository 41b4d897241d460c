// Reads and writes ".tavolin" scene files. The reader turns the XML into start-element,
// character and end-element events and hands them to the tag handlers registered with it; the
// writer asks each handler, in registration order, to write its items.
#pragma once

#include <QString>
#include <QTextStream>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scene/readableparent.h"

class QXmlStreamAttributes;
class QXmlStreamReader;
struct RenderSettings;
class SceneData;

namespace Reader {

class XmlScan;

class ReaderXml {
public:
    // Limits of a scene file, each refused with its number in the message. The format needs
    // three levels (file, item, property); 64 leaves room for any sensible extension.
    static constexpr int kMaxDepth = 64;
    // Objects, and apart from them the colours, textures and lights: a million spheres take
    // about 150 MiB once read and a few seconds to load; more is no scene a person edits. The
    // settings block is not counted, and neither kind counts the other, so that a scene read
    // within the limits stays within them when the program writes it: its text then holds the
    // settings and the default colour and texture besides what the file had.
    static constexpr int kMaxItems = 1'000'000;
    // Spectral lines in one colour's wavelength list: shading and light tables cost time in
    // proportion to them (100000 lines took a minute per frame); the shipped scenes use at most
    // six, a generated blackbody 561.
    static constexpr int kMaxColorLines = 1000;

    // The file is read when parse() runs (UserFile: a regular file of at most 1 GiB); a file
    // that cannot be read makes the parse fail with the system's reason and the path.
    explicit ReaderXml(const QString& fileName = QString());
    ~ReaderXml();

    void registerParent(std::unique_ptr<ReadableParent> parent);
    // The "renderSettings" element, registered first so it is also written first. At the end
    // of its block the observer's frame is normalised (a degenerate one refuses the file) and
    // the observer's time start.w is set to 0: the time a file stores is not the observer's.
    void registerSettings(RenderSettings* settings);
    // The nine scene tags in their writing order, then "newblackbody" and "newdisk".
    void registerScene(SceneData* scene);

    // Reads the whole file; false on the first error, with errorText() telling where and why.
    // Besides the format, values are checked as they are read: numbers must be finite (a moving
    // sphere's tmin and tmax may be infinite), radius, sx, sy, sz and bhradius positive, and
    // the edges of planes and cubes of non-zero length and, once the item is complete, no two
    // of its edges parallel; a disk's rout and tmax positive and, once it is complete, its
    // normal not zero, rin 0 or between 0 and rout, tmax from 300 to 1000000 K.
    bool parse();
    // Parses text given in memory (same rules; used for files already read and by tests).
    bool parseText(const QByteArray& text);
    void write(QTextStream& stream);

    // Plain files (ASCII elements, attributes and text, see XmlScan) are read by a quick
    // scanner into the objects' fields; any other file, and any file the reading refuses, is
    // read again from the start by the full XML parser, so results and messages are the same
    // either way. Off: the full parser only (for comparing the two).
    void setQuickReading(bool on) { quickReading = on; }

    // Told how far the reading has come, in percent of the text, a few hundred times at most
    // per file (a window shows it while a big scene loads).
    using Progress = std::function<void(int percent)>;
    void setProgress(Progress report) { progress = std::move(report); }

    const QString& errorText() const { return error; }

private:
    bool startElement(const QString& name, const QXmlStreamAttributes& attributes,
                      QString& why);
    bool endElement(const QString& name, QString& why);
    bool run(QXmlStreamReader& xml);
    void forgetStoredTime();

    // The quick reading of plain files (see XmlScan): the same events and rules without a
    // string object per value. False when the scanner gave up or the full reading would refuse
    // the file; the full reading then starts over and finds the reason.
    bool runQuick(const QByteArray& text);
    bool quickStart(std::string_view name, const XmlScan& scan);
    bool quickEnd(std::string_view name);
    bool quickCheckItem(ReadableParent& item);
    bool quickProperty(std::string_view name, std::string_view text);
    // Whether the targets are as registered (a fresh scene, only the standard handlers), so
    // that a quick reading given up can be undone.
    bool quickPossible() const;
    // Undoes a quick reading given up half-way.
    void resetTargets(const RenderSettings& savedSettings);

    QString fileName;
    RenderSettings* settings = nullptr;  // registered settings: their observer is normalised
    SceneData* scene = nullptr;          // registered scene
    bool foreignHandlers = false;        // handlers registered from outside
    bool quickReading = true;
    Progress progress;
    int reportedPercent = -1;
    qint64 textSize = 0;
    // Reports percent of the text read when it changed.
    void reportProgress(qint64 done, qint64 total);
    std::vector<std::unique_ptr<ReadableParent>> parents;
    ReadableParent* open = nullptr;  // handler of the item being read
    QString gathered;                // character data since the last end tag
    std::string quickGathered;       // the same for the quick reading
    int quickDepth = 0;
    int quickItems = 0;  // items started, for the progress
    // Objects and other items started by the reading under way (countItem).
    int objectItems = 0;
    int otherItems = 0;
    // Counts an item whose block starts; false with why set past a limit.
    bool countItem(const ReadableParent& parent, QString& why);
    QString error;
};

}  // namespace Reader
