// Scene file reading and writing. The events keep the rules of the file format: attributes of an
// item's start tag are properties, property elements carry no attributes, the gathered text is
// cleared at every end tag except the root's, and the first refusal stops the parse with
// "Fatal error: " + why + "  line:" + n + "  column:" + m.
#include "scene/readerxml.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QXmlStreamReader>

#include "scene/coldiscrete.h"
#include "scene/dataelem.h"
#include "scene/lights.h"
#include "scene/readableclass.h"
#include "scene/rendersettings.h"
#include "scene/rtobjcube.h"
#include "scene/rtobjplane.h"
#include "scene/rtobjsphere.h"
#include "scene/scenedata.h"
#include "scene/texturequad.h"
#include "scene/texturesingle.h"
#include "scene/userfile.h"
#include "scene/valuerules.h"

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

}  // namespace

ReaderXml::ReaderXml(const QString& fileName) : fileName(fileName) {}
ReaderXml::~ReaderXml() = default;

void ReaderXml::registerParent(std::unique_ptr<ReadableParent> parent) {
    parents.push_back(std::move(parent));
}

void ReaderXml::registerSettings(RenderSettings* target) {
    settings = target;
    registerParent(std::make_unique<ReadableClassEx<RenderSettings>>(kSettingsTag, target));
}

void ReaderXml::registerScene(SceneData* scene) {
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
}

bool ReaderXml::parse() {
    QByteArray text;
    if (!UserFile::read(fileName, text, error)) return false;
    return parseText(text);
}

bool ReaderXml::parseText(const QByteArray& text) {
    QXmlStreamReader xml(text);
    return run(xml);
}

bool ReaderXml::run(QXmlStreamReader& xml) {
    open = nullptr;
    gathered.clear();
    error.clear();
    QString why;
    bool refused = false;
    int depth = 0;
    int items = 0;
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
                if (!open && depth == 2 && ++items > kMaxItems) {
                    why = tr("the file has more than %1 items").arg(kMaxItems);
                    refused = true;
                    break;
                }
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

bool ReaderXml::endElement(const QString& name, QString& why) {
    if (!open && name == kRootTag) return true;  // the root's end keeps the gathered text
    if (!open) {
        why = tr("unexpected end of element <%1>").arg(quoted(name));
        return false;
    }
    if (name == open->tag) {
        // The observer's frame is complete at the end of its block: a unit frame or none.
        if (settings && name == kSettingsTag && !settings->normalizeObserver(&why)) return false;
        if (!checkEdgePairs(open->tag, open->propertyList(), why)) return false;
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

void ReaderXml::write(QTextStream& stream) {
    stream << "<" << kRootTag << ">\n";
    for (const auto& parent : parents) parent->write(0, stream);
    stream << "</" << kRootTag << ">\n";
}

}  // namespace Reader
