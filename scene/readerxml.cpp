// Scene file reading and writing. The events keep the rules of the file format: attributes of an
// item's start tag are properties, property elements carry no attributes, the gathered text is
// cleared at every end tag except the root's, and the first refusal stops the parse with
// "Fatal error: " + why + "  line:" + n + "  column:" + m.
#include "scene/readerxml.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <new>
#include <string>

#include "scene/coldiscrete.h"
#include "scene/dataelem.h"
#include "scene/lights.h"
#include "scene/readableclass.h"
#include "scene/rendersettings.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjdisk.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "scene/texturequad.h"
#include "scene/texturesingle.h"
#include "scene/userfile.h"
#include "scene/valuerules.h"
#include "scene/xmlscan.h"

namespace Reader {

namespace {
const QString kRootTag = QStringLiteral("tavolinfile");
const QString kSettingsTag = QStringLiteral("renderSettings");

// Names and values quoted in a message are cut to this many characters: a hostile file's 10 MB
// element name must not become a 10 MB message box.
constexpr int kQuotedLength = 80;

QString tr(const char* text) { return QCoreApplication::translate("Reader", text); }

QString quoted(const QString& text) {
    const QString t = text.trimmed();
    return t.size() <= kQuotedLength ? t : t.left(kQuotedLength) + QStringLiteral("...");
}

// ---- the quick reading's values: what QString::toFloat and the property elements make of a
// plain text, or false for any text that is not plain (which then takes the full way).

bool isBlankByte(char c) { return c == ' ' || c == '\t' || c == '\n'; }

std::string_view trimBlanks(std::string_view t) {
    while (!t.empty() && isBlankByte(t.front())) t.remove_prefix(1);
    while (!t.empty() && isBlankByte(t.back())) t.remove_suffix(1);
    return t;
}

// A decimal number without sign "+", exponent allowed, in float range: the same float as
// ElemFloat reads. Texts the float type cannot hold (overflow, or underflow to zero) are not
// plain: the element refuses them.
bool quickFloat(std::string_view t, float& out) {
    t = trimBlanks(t);
    if (t.empty()) return false;
    for (const char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E' || c == '+'))
            return false;
    if (t.front() == '+') return false;
    double d = 0.0;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
    if (ec != std::errc() || end != t.data() + t.size()) return false;
    if (!(std::fabs(d) <= double(FLT_MAX))) return false;
    const float f = float(d);
    if (d != 0.0 && f == 0.0f) return false;
    out = f;
    return true;
}

// Four ";"-separated numbers, "<" allowed at the start and ">" at the end, as ElemVec reads them.
bool quickVec(std::string_view t, float out[4]) {
    for (int i = 0; i < 4; ++i) {
        const size_t cut = i < 3 ? t.find(';') : t.size();
        if (cut == std::string_view::npos) return false;
        std::string_view part = t.substr(0, cut);
        if (i == 3 && part.find(';') != std::string_view::npos) return false;
        part = trimBlanks(part);
        if (i == 0 && !part.empty() && part.front() == '<') part.remove_prefix(1);
        if (i == 3 && !part.empty() && part.back() == '>') part.remove_suffix(1);
        if (part.find('<') != std::string_view::npos || part.find('>') != std::string_view::npos)
            return false;
        if (!quickFloat(part, out[i])) return false;
        if (i < 3) t.remove_prefix(cut + 1);
    }
    return true;
}

bool quickMustBePositive(const QString& tag, std::string_view name) {
    return name == "radius" || name == "sx" || name == "sy" || name == "sz" ||
           name == "bhradius" ||
           (tag == QLatin1String("newdisk") && (name == "rout" || name == "tmax"));
}

bool quickIsEdge(const QString& tag, std::string_view name) {
    return (tag == QLatin1String("plane") || tag == QLatin1String("cube")) &&
           (name == "x" || name == "y" || name == "z");
}

QLatin1String latin1(std::string_view t) { return QLatin1String(t.data(), qsizetype(t.size())); }
}  // namespace

ReaderXml::ReaderXml(const QString& fileName) : fileName(fileName) {}
ReaderXml::~ReaderXml() = default;

void ReaderXml::registerParent(std::unique_ptr<ReadableParent> parent) {
    parents.push_back(std::move(parent));
    foreignHandlers = true;
}

void ReaderXml::registerSettings(RenderSettings* target) {
    settings = target;
    parents.push_back(std::make_unique<ReadableClassEx<RenderSettings>>(kSettingsTag, target));
}

void ReaderXml::registerScene(SceneData* scene) {
    const bool foreign = foreignHandlers;
    this->scene = scene;
    // Relative image names in the file mean files beside it, wherever the program was started.
    if (!fileName.isEmpty()) scene->folder = QFileInfo(fileName).absolutePath();
    registerParent(std::make_unique<ReadableClass<rtObjBase, rtObjSphere<1>, SceneData>>("sphere", scene));
    registerParent(std::make_unique<ReadableClass<rtObjBase, rtObjSphere<0>, SceneData>>("movsphere", scene));
    registerParent(std::make_unique<ReadableClass<rtObjBase, rtObjPlane, SceneData>>("plane", scene));
    registerParent(std::make_unique<ReadableClass<rtObjBase, rtObjCube, SceneData>>("cube", scene));
    registerParent(std::make_unique<ReadableClass<ColDiscrete, ColDiscrete, SceneData>>("newcolor", scene));
    registerParent(std::make_unique<ReadableClass<Texture, TextureQuad, SceneData>>("newtexturequad", scene));
    registerParent(std::make_unique<ReadableClass<Texture, TextureSingle, SceneData>>("newtexturesingle", scene));
    registerParent(std::make_unique<ReadableClass<Texture, TextureImage, SceneData>>("newtextureimage", scene));
    registerParent(std::make_unique<ReadableClass<Lights, Lights, SceneData>>("light", scene));
    // Added after the original tags, so that files without blackbody colours stay byte-identical.
    registerParent(std::make_unique<ReadableClass<ColDiscrete, ColBlackbody, SceneData>>("newblackbody", scene));
    registerParent(std::make_unique<ReadableClass<rtObjBase, rtObjDisk, SceneData>>("newdisk", scene));
    foreignHandlers = foreign;
}

bool ReaderXml::parse() {
    QByteArray text;
    if (!UserFile::read(fileName, text, error, UserFile::kMaxSceneBytes)) return false;
    return parseText(text);
}

bool ReaderXml::parseText(const QByteArray& text) {
    textSize = text.size();
    reportedPercent = -1;
    if (quickPossible()) {
        const RenderSettings saved = settings ? *settings : RenderSettings();
        if (runQuick(text)) return true;
        resetTargets(saved);
    }
    QXmlStreamReader xml(text);
    return run(xml);
}

void ReaderXml::reportProgress(qint64 done, qint64 total) {
    if (!progress || total <= 0) return;
    const int percent = int(done * 100 / total);
    if (percent == reportedPercent) return;
    reportedPercent = percent;
    progress(percent);
}

bool ReaderXml::run(QXmlStreamReader& xml) {
    open = nullptr;
    gathered.clear();
    error.clear();
    QString why;
    bool refused = false;
    int depth = 0;
    int items = 0;
    objectItems = otherItems = 0;
    while (!xml.atEnd() && !refused) {
        switch (xml.readNext()) {
            case QXmlStreamReader::StartElement:
                // The parser keeps every open element: without a bound, a few MB of nested
                // tags take hundreds of MB.
                if (++depth > kMaxDepth) {
                    why = tr("elements are nested more than %1 deep").arg(kMaxDepth);
                    refused = true;
                    break;
                }
                if (!open && depth == 2 && (items++ & 0xfff) == 0)
                    reportProgress(xml.characterOffset(), textSize);
                refused = !startElement(xml.qualifiedName().toString(), xml.attributes(), why);
                break;
            case QXmlStreamReader::Characters:
                gathered += xml.text();
                break;
            case QXmlStreamReader::DTD:
                // Scene files never declare entities. Refusing them keeps a small file from
                // expanding into gigabytes of text (nested or repeated entities) before any
                // element is seen; external entities are never fetched by the parser anyway.
                if (xml.text().contains(QLatin1String("<!ENTITY"))) {
                    why = tr("entity declarations are not supported in scene files");
                    refused = true;
                }
                break;
            case QXmlStreamReader::EndElement:
                --depth;
                refused = !endElement(xml.qualifiedName().toString(), why);
                break;
            default:
                break;
        }
    }
    if (refused) {
        error = tr("Fatal error: ") + why + tr("  line:") + QString::number(xml.lineNumber()) +
                tr("  column:") + QString::number(xml.columnNumber());
        return false;
    }
    if (xml.hasError()) {
        error = tr("Fatal error: ") + xml.errorString() + tr("  line:") +
                QString::number(xml.lineNumber()) + tr("  column:") +
                QString::number(xml.columnNumber());
        return false;
    }
    return true;
}

bool ReaderXml::startElement(const QString& name, const QXmlStreamAttributes& attributes,
                             QString& why) {
    if (open) {
        if (!attributes.isEmpty()) {
            why = tr("the property <%1> may not have attributes").arg(quoted(name));
            return false;
        }
        return true;
    }
    if (name == kRootTag) return true;
    for (const auto& parent : parents)
        if (parent->tag == name) {
            if (!countItem(*parent, why)) return false;
            open = parent.get();
            for (const QXmlStreamAttribute& a : attributes) {
                const QString property = a.qualifiedName().toString();
                if (!open->setValue(property, a.value().toString())) {
                    why = tr("<%1> has no property \"%2\" or cannot read \"%3\"")
                              .arg(name, quoted(property), quoted(a.value().toString()));
                    return false;
                }
                if (!checkNumbers(name, property, open->property(property), why)) return false;
            }
            return true;
        }
    why = tr("unknown element <%1>").arg(quoted(name));
    return false;
}

bool ReaderXml::countItem(const ReadableParent& parent, QString& why) {
    if (parent.readsObjects()) {
        if (++objectItems <= kMaxItems) return true;
        why = tr("the file has more than %1 objects").arg(kMaxItems);
        return false;
    }
    if (parent.tag == kSettingsTag) return true;
    if (++otherItems <= kMaxItems) return true;
    why = tr("the file has more than %1 colours, textures and lights").arg(kMaxItems);
    return false;
}

bool ReaderXml::endElement(const QString& name, QString& why) {
    if (!open && name == kRootTag) return true;  // the root's end keeps the gathered text
    if (!open) {
        why = tr("unexpected end of element <%1>").arg(quoted(name));
        return false;
    }
    if (name == open->tag) {
        // The observer's frame is complete at the end of its block: a unit frame or none.
        if (settings && name == kSettingsTag && !settings->normalizeObserver(&why)) return false;
        if (settings && name == kSettingsTag) forgetStoredTime();
        if (!checkItem(open->tag, open->propertyList(), why)) return false;
        open->finish();
        open = nullptr;
    } else if (name == QLatin1String("wavelength") &&
               gathered.count(QLatin1Char('(')) > kMaxColorLines) {
        why = tr("a colour may have at most %1 spectral lines, <%2> has %3")
                  .arg(kMaxColorLines)
                  .arg(open->tag)
                  .arg(gathered.count(QLatin1Char('(')));
        return false;
    } else if (!open->setValue(name, gathered)) {
        why = tr("<%1> has no property \"%2\" or cannot read \"%3\"")
                  .arg(open->tag, quoted(name), quoted(gathered));
        return false;
    } else if (!checkNumbers(open->tag, name, open->property(name), why)) {
        return false;
    }
    gathered.clear();
    return true;
}

void ReaderXml::forgetStoredTime() {
    // The observer's time is the viewer's clock, not part of the scene: whatever w a file's
    // start holds (earlier versions wrote the clock reading of the moment of saving), a loaded
    // scene starts at time 0.
    settings->start.w = 0.0f;
}

void ReaderXml::write(QTextStream& stream) {
    stream << "<" << kRootTag << ">\n";
    for (const auto& parent : parents) parent->write(0, stream);
    stream << "</" << kRootTag << ">\n";
}

// ---- the quick reading

bool ReaderXml::quickPossible() const {
    if (!quickReading || foreignHandlers || !scene) return false;
    return scene->objects.items.empty() && scene->lights.items.empty() &&
           scene->textures.items.empty() && scene->colors.items.size() <= 1;
}

void ReaderXml::resetTargets(const RenderSettings& savedSettings) {
    for (const auto& parent : parents) parent->abandon();
    open = nullptr;
    if (settings) *settings = savedSettings;
    // A scene as it was registered: fresh, with only its folder set.
    const QString folder = scene->folder;
    scene->~SceneData();
    new (scene) SceneData();
    scene->folder = folder;
}

bool ReaderXml::runQuick(const QByteArray& text) {
    XmlScan scan(std::string_view(text.constData(), size_t(text.size())));
    open = nullptr;
    quickGathered.clear();
    quickDepth = 0;
    quickItems = 0;
    objectItems = otherItems = 0;
    for (;;) {
        switch (scan.next()) {
            case XmlScan::Start:
                if (!quickStart(scan.name(), scan)) return false;
                break;
            case XmlScan::Text:
                quickGathered += scan.textRun();
                break;
            case XmlScan::End:
                --quickDepth;
                if (!quickEnd(scan.name())) return false;
                break;
            case XmlScan::Finished:
                return true;
            case XmlScan::GiveUp:
                return false;
        }
    }
}

bool ReaderXml::quickStart(std::string_view name, const XmlScan& scan) {
    if (++quickDepth > kMaxDepth) return false;
    if (!open && quickDepth == 2 && (quickItems++ & 0xfff) == 0)
        reportProgress(qint64(scan.position()), textSize);
    if (open) return scan.attributes().empty();
    if (latin1(name) == kRootTag) return true;
    for (const auto& parent : parents)
        if (parent->tag == latin1(name)) {
            QString why;  // the full reading that follows a refusal says why
            if (!countItem(*parent, why)) return false;
            open = parent.get();
            for (const XmlScan::Attribute& a : scan.attributes())
                if (!quickProperty(a.name, a.value)) return false;
            return true;
        }
    return false;
}

// The rules of a complete item. A plane's or cube's edges are read straight from its fields:
// building the property list for them took a fifth of the time of reading a scene of boxes.
bool ReaderXml::quickCheckItem(ReadableParent& item) {
    QString why;
    if (quickIsEdge(item.tag, "x")) {
        const bool cube = item.tag == QLatin1String("cube");
        const Vec4f* edges[3] = {};
        bool plain = true;
        for (int i = 0; i < (cube ? 3 : 2); ++i) {
            const ReadableParent::Field field = item.quickField(i == 0 ? "x" : i == 1 ? "y" : "z");
            plain = plain && field.kind == ReadableParent::Field::Vec;
            edges[i] = static_cast<const Vec4f*>(field.address);
        }
        if (plain) return checkEdgePairs(item.tag, edges, why);
    }
    // The other rules read the values back through the item's properties.
    if (quickIsEdge(item.tag, "x") || item.tag == QLatin1String("newdisk")) item.ensureProperties();
    return checkItem(item.tag, item.propertyList(), why);
}

bool ReaderXml::quickEnd(std::string_view name) {
    if (!open && latin1(name) == kRootTag) return true;
    if (!open) return false;
    if (open->tag == latin1(name)) {
        QString why;
        if (settings && open->tag == kSettingsTag && !settings->normalizeObserver(&why))
            return false;
        if (settings && open->tag == kSettingsTag) forgetStoredTime();
        if (!quickCheckItem(*open)) return false;
        open->finish();
        open = nullptr;
    } else if (name == "wavelength" &&
               std::count(quickGathered.begin(), quickGathered.end(), '(') > kMaxColorLines) {
        return false;
    } else if (!quickProperty(name, quickGathered)) {
        return false;
    }
    quickGathered.clear();
    return true;
}

bool ReaderXml::quickProperty(std::string_view name, std::string_view text) {
    const ReadableParent::Field field = open->quickField(name);
    switch (field.kind) {
        case ReadableParent::Field::Float: {
            float v = 0.0f;
            if (!quickFloat(text, v)) break;
            if (quickMustBePositive(open->tag, name) && !(v > 0.0f)) return false;
            *static_cast<float*>(field.address) = v;
            return true;
        }
        case ReadableParent::Field::Vec: {
            float v[4];
            if (!quickVec(text, v)) break;
            if (quickIsEdge(open->tag, name) && v[0] == 0.0f && v[1] == 0.0f && v[2] == 0.0f)
                return false;
            Vec4f& target = *static_cast<Vec4f*>(field.address);
            for (int i = 0; i < 4; ++i) target[i] = v[i];
            return true;
        }
        case ReadableParent::Field::String:
        case ReadableParent::Field::SharedString: {
            // The file's rule for names: every blank is dropped. (The scan passes ASCII only,
            // so the bytes are the letters.)
            std::string kept;
            for (const char c : text)
                if (!isBlankByte(c)) kept += c;
            // The program writes an object without a name or texture name with empty ones
            // ("<name></name>"): a shared name holds no entry then, as the full reading leaves it.
            if (kept.empty() && field.kind == ReadableParent::Field::SharedString) {
                *static_cast<SharedText*>(field.address) = SharedText();
                return true;
            }
            if (kept.empty()) break;
            const QLatin1String letters(kept.data(), qsizetype(kept.size()));
            if (field.kind == ReadableParent::Field::String)
                *static_cast<QString*>(field.address) = letters;
            else
                *static_cast<SharedText*>(field.address) = SharedText(letters);
            return true;
        }
        case ReadableParent::Field::None:
            break;
    }
    const QString property = latin1(name);
    QString why;
    return open->setValue(property, latin1(text)) &&
           checkNumbers(open->tag, property, open->property(property), why);
}

}  // namespace Reader
