// Text forms, XML lines and editor rows of the property elements, and the owning property list.
#include "scene/dataelem.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <algorithm>

#include "base/programmingerror.h"
#include "scene/coldiscrete.h"

namespace Reader {

namespace {

QString floatText(float v) { return QString::number(v, 'g', 6); }

QString vecText(const Vec4f& v) {
    return floatText(v.x) + QLatin1Char(';') + floatText(v.y) + QLatin1Char(';') + floatText(v.z) +
           QLatin1Char(';') + floatText(v.w);
}

// QString::toFloat, except that a text that is not a number reads as 0: Qt reports numbers out of
// float range (1e39) as failures but returns infinity for them.
float readFloat(const QString& text, bool& ok) {
    const float v = text.toFloat(&ok);
    return ok ? v : 0.0f;
}

// Keeps the XML well formed whatever a name or spectrum contains; plain text passes unchanged,
// and numbers and most names are plain.
QString escapeXml(QString text) {
    const auto special = [](QChar c) { return c == u'&' || c == u'<' || c == u'>'; };
    if (std::none_of(text.cbegin(), text.cend(), special)) return text;
    text.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    text.replace(QLatin1Char('<'), QStringLiteral("&lt;"));
    text.replace(QLatin1Char('>'), QStringLiteral("&gt;"));
    return text;
}

QString tr(const char* text) { return QCoreApplication::translate("Reader", text); }

}  // namespace

EditorRow::~EditorRow() = default;
EditorRowFactory::~EditorRowFactory() = default;

// ---- DataElem

DataElem::~DataElem() = default;

bool DataElem::fromString(const QString&) { return true; }

void writeIndent(QTextStream& out, int n) {
    static constexpr char kSpaces[] = "                                ";
    constexpr int kRun = int(sizeof kSpaces) - 1;
    for (; n > kRun; n -= kRun) out << QLatin1String(kSpaces, kRun);
    if (n > 0) out << QLatin1String(kSpaces, n);
}

void DataElem::writeXml(int indent, QTextStream& out) {
    writeIndent(out, kIndentBase + indent);
    out << '<' << name << '>' << escapeXml(toString()) << QLatin1String("</") << name
        << QLatin1String(">\n");
}

QString DataElem::toString() const { programmingError("DataElem::toString must be reimplemented"); }

void DataElem::createEditor(EditorRowFactory&) {}

bool DataElem::readEditor() { return true; }

// ---- ElemSwitch

bool ElemSwitch::fromString(const QString& text) {
    const QString t = text.trimmed();
    if (t != QLatin1String("0") && t != QLatin1String("1")) return false;
    *value = t == QLatin1String("1");
    return true;
}

QString ElemSwitch::toString() const {
    return *value ? QStringLiteral("1") : QStringLiteral("0");
}

void ElemSwitch::writeXml(int indent, QTextStream& out) {
    if (*value) DataElem::writeXml(indent, out);
}

// ---- ElemFloat

bool ElemFloat::fromString(const QString& text) {
    bool ok = false;
    *value = readFloat(text, ok);
    return ok;
}

QString ElemFloat::toString() const { return floatText(*value); }

void ElemFloat::createEditor(EditorRowFactory& factory) {
    editor = factory.addRow(name, toString());
}

bool ElemFloat::readEditor() {
    if (!editor) return true;
    bool ok = false;
    const float v = editor->text().toFloat(&ok);
    if (!ok) {
        editor->showError(tr("Not a number"));
        return false;
    }
    // Written so that NaN fails the test as well.
    if (limited && !(v >= minValue && v <= maxValue)) {
        editor->showError(rangeMessage);
        return false;
    }
    *value = v;
    return true;
}

void ElemFloat::setEditorRange(float lo, float hi, const QString& message) {
    limited = true;
    minValue = lo;
    maxValue = hi;
    rangeMessage = message;
}

// ---- ElemVec

bool ElemVec::fromString(const QString& text) {
    QStringList parts = text.split(QLatin1Char(';'), Qt::KeepEmptyParts);
    if (parts.size() != 4) return false;
    parts[0].remove(QLatin1Char('<'));
    parts[3].remove(QLatin1Char('>'));
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        (*value)[i] = readFloat(parts[i], ok);
        if (!ok) return false;
    }
    return true;
}

QString ElemVec::toString() const { return vecText(*value); }

void ElemVec::createEditor(EditorRowFactory& factory) {
    editor = factory.addRow(name, QLatin1Char('<') + toString() + QLatin1Char('>'));
}

bool ElemVec::readEditor() {
    if (!editor) return true;
    if (fromString(editor->text())) return true;
    editor->showError(tr("Expected four numbers x;y;z;w"));
    return false;
}

void ElemOptionalVec::writeXml(int indent, QTextStream& out) {
    const Vec4f& v = *field();
    if (v.x == 0.0f && v.y == 0.0f && v.z == 0.0f && v.w == 0.0f) return;
    ElemVec::writeXml(indent, out);
}

bool ElemHeldVec::fromString(const QString& text) {
    staged = get();
    const bool ok = ElemVec::fromString(text);
    set(staged);
    return ok;
}

QString ElemHeldVec::toString() const { return vecText(get()); }

void ElemHeldVec::writeXml(int indent, QTextStream& out) {
    staged = get();
    ElemOptionalVec::writeXml(indent, out);
}

void ElemOptionalFloat::writeXml(int indent, QTextStream& out) {
    if (*field() == 0.0f) return;
    ElemFloat::writeXml(indent, out);
}

// ---- ElemString

bool ElemString::fromString(const QString& text) {
    QString kept;
    kept.reserve(text.size());
    for (const QChar ch : text) {
        if (ch != QLatin1Char('\r') && ch != QLatin1Char('\t') && ch != QLatin1Char('\n') &&
            ch != QLatin1Char(' '))
            kept += ch;
    }
    if (shared)
        *shared = kept;
    else
        *value = kept;
    return true;
}

QString ElemString::toString() const { return shared ? shared->text() : *value; }

void ElemString::writeXml(int indent, QTextStream& out) {
    if (!shared) return DataElem::writeXml(indent, out);
    shared->visit([&](auto text) {
        const auto special = [](auto c) { return c == u'&' || c == u'<' || c == u'>'; };
        if (std::any_of(text.begin(), text.end(), special))
            return DataElem::writeXml(indent, out);  // escaped from a QString
        writeIndent(out, kIndentBase + indent);
        out << '<' << name << '>' << text << QLatin1String("</") << name << QLatin1String(">\n");
    });
}

void ElemString::createEditor(EditorRowFactory& factory) {
    editor = factory.addRow(name, toString());
}

// Typed names follow the file's rule (no blanks), so that a saved scene loads back the same; a
// name once kept its blanks in the scene until it was saved and loaded again.
bool ElemString::readEditor() {
    if (editor) return fromString(editor->text());
    return true;
}

// ---- ElemColor

bool ElemColor::fromString(const QString& text) { return value->fromSpectrumText(text); }

QString ElemColor::toString() const { return value->toSpectrumText(); }

void ElemColor::createEditor(EditorRowFactory& factory) {
    editor = factory.addRow(name, toString());
}

bool ElemColor::readEditor() {
    if (!editor) return true;
    if (fromString(editor->text())) return true;
    editor->showError(tr("Expected spectral lines (wavelength;intensity), e.g. (600;1)(450;0.5)"));
    return false;
}

// ---- PropertyList

DataElem* PropertyList::add(std::unique_ptr<DataElem> elem) {
    elems.push_back(std::move(elem));
    return elems.back().get();
}

ElemFloat* PropertyList::addFloat(const QString& name, float& field) {
    return static_cast<ElemFloat*>(add(std::make_unique<ElemFloat>(name, field)));
}

ElemVec* PropertyList::addVec(const QString& name, Vec4f& field) {
    return static_cast<ElemVec*>(add(std::make_unique<ElemVec>(name, field)));
}

ElemString* PropertyList::addString(const QString& name, QString& field) {
    return static_cast<ElemString*>(add(std::make_unique<ElemString>(name, field)));
}

ElemString* PropertyList::addString(const QString& name, SharedText& field) {
    return static_cast<ElemString*>(add(std::make_unique<ElemString>(name, field)));
}

ElemColor* PropertyList::addColor(const QString& name, ColDiscrete& field) {
    return static_cast<ElemColor*>(add(std::make_unique<ElemColor>(name, field)));
}

DataElem* PropertyList::find(const QString& name) const {
    for (const auto& e : elems)
        if (e->name == name) return e.get();
    return nullptr;
}

bool PropertyList::setProperty(const QString& name, const QString& text) {
    DataElem* e = find(name);
    return e && e->fromString(text);
}

}  // namespace Reader
