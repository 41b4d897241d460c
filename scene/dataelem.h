// The property framework: typed, named elements bound to an item's fields, read from and written
// to the scene file and shown as label-and-line-edit rows in the edit dock.
#pragma once

#include <QString>
#include <QTextStream>
#include <functional>
#include <memory>
#include <vector>

#include "geometry/vec4f.h"
#include "scene/sharedtext.h"

class QTextStream;
class ColDiscrete;

namespace Reader {

// Added to every indent given to writeXml (and to the file handlers' write).
constexpr int kIndentBase = 2;

// Writes n spaces, the start of a line of XML, without making a string for them: a scene of a
// million objects writes seven million lines for the undo stack after every edit.
void writeIndent(QTextStream& out, int n);

// One label-and-text row of the property editor. The UI implements it with widgets and owns it;
// elements keep a non-owning pointer. GUI thread only.
class EditorRow {
public:
    virtual ~EditorRow();
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;
    // Shows that the typed text was refused, with a short reason.
    virtual void showError(const QString& message) = 0;
};

// Creates editor rows in the editor's layout, in call order.
class EditorRowFactory {
public:
    virtual ~EditorRowFactory();
    virtual EditorRow* addRow(const QString& label, const QString& text) = 0;
};

// Base of all property elements. The bound field is not owned: a list must not outlive its item.
class DataElem {
public:
    explicit DataElem(const QString& name_) : name(name_) {}
    DataElem(const DataElem&) = delete;
    DataElem& operator=(const DataElem&) = delete;

    virtual ~DataElem();
    // Parses file text into the bound field; base: does nothing and succeeds.
    virtual bool fromString(const QString& text);
    // (kIndentBase + indent) spaces, <name>value</name> and a line feed; the value is toString()
    // with "&", "<" and ">" escaped.
    virtual void writeXml(int indent, QTextStream& out);
    // The bound field as text; the base has no field and raises a programming error.
    virtual QString toString() const;
    // Adds this element's row to the editor; base: does nothing.
    virtual void createEditor(EditorRowFactory& factory);
    // Parses the row's text into the bound field. False (and the row shows why) when the text is
    // refused; true when there is no row.
    virtual bool readEditor();

    EditorRow* editorRow() const { return editor; }

    QString name;  // property name, XML element name and editor label

protected:
    EditorRow* editor = nullptr;  // not owned; null until createEditor
};

// f32 as QString::number(v, 'g', 6).
class ElemFloat : public DataElem {
public:
    ElemFloat(const QString& name_, float& field) : DataElem(name_), value(&field) {}
    // Stores the parsed value even when the text is no number (0 then) and reports whether it was.
    bool fromString(const QString& text) override;
    QString toString() const override;
    void createEditor(EditorRowFactory& factory) override;
    // A text that is not a number, or a value outside the editor range, is refused and leaves
    // the field as it was.
    bool readEditor() override;

    // Restricts what the editor row accepts to finite values in [lo, hi]; other values are
    // refused with message. Texts from a file are not checked.
    void setEditorRange(float lo, float hi, const QString& message);

    float* field() const { return value; }

private:
    float* value;
    bool limited = false;
    float minValue = 0.0f;
    float maxValue = 0.0f;
    QString rangeMessage;
};

// Vec4f as x;y;z;w, each component as ElemFloat; the editor shows it as <x;y;z;w>.
class ElemVec : public DataElem {
public:
    ElemVec(const QString& name_, Vec4f& field) : DataElem(name_), value(&field) {}
    // Exactly four ";"-separated parts ("<" dropped from the first, ">" from the last), else
    // false and unchanged. Components are stored as they are read; at the first one that is no
    // number it becomes 0 and the parse stops with false.
    bool fromString(const QString& text) override;
    QString toString() const override;
    void createEditor(EditorRowFactory& factory) override;
    bool readEditor() override;

    Vec4f* field() const { return value; }

private:
    Vec4f* value;
};

// A vector property that is left out of files while it is zero (x, y, z and w), so that files
// written before it existed stay byte-identical; the editor always shows it.
class ElemOptionalVec : public ElemVec {
public:
    using ElemVec::ElemVec;
    void writeXml(int indent, QTextStream& out) override;
};

// An optional vector property whose value the item holds elsewhere than in a Vec4f field (an
// object's velocity, held apart while it is zero): read through get when shown or written, and
// every parsed value, a refused one too as ElemVec leaves it, handed to set.
class ElemHeldVec : public ElemOptionalVec {
public:
    ElemHeldVec(const QString& name_, std::function<Vec4f()> get,
                std::function<void(const Vec4f&)> set)
        : ElemOptionalVec(name_, staged), get(std::move(get)), set(std::move(set)) {}
    bool fromString(const QString& text) override;
    QString toString() const override;
    void writeXml(int indent, QTextStream& out) override;

private:
    Vec4f staged;
    std::function<Vec4f()> get;
    std::function<void(const Vec4f&)> set;
};

// A number property that is left out of files while it is 0 (its "not set"); the editor always
// shows it.
class ElemOptionalFloat : public ElemFloat {
public:
    using ElemFloat::ElemFloat;
    void writeXml(int indent, QTextStream& out) override;
};

// QString. From the file every carriage return, tab, line feed and space is removed; from the
// editor the text is taken as typed.
class ElemString : public DataElem {
public:
    ElemString(const QString& name_, QString& field, const QString& extra_ = QString())
        : DataElem(name_), value(&field), extra(extra_) {}
    // A name shared with the items that give the same one (objects' names and texture names).
    ElemString(const QString& name_, SharedText& field) : DataElem(name_), shared(&field) {}
    bool fromString(const QString& text) override;
    QString toString() const override;
    // A shared name is written from its characters as held, without a QString of them.
    void writeXml(int indent, QTextStream& out) override;
    void createEditor(EditorRowFactory& factory) override;
    bool readEditor() override;

    const QString& extraText() const { return extra; }
    // The field the element is bound to: one of them, the other null.
    QString* field() const { return value; }
    SharedText* sharedField() const { return shared; }

private:
    QString* value = nullptr;
    SharedText* shared = nullptr;
    QString extra;  // second text given at construction; property lists pass the empty string
};

// A whole colour as its spectrum text, e.g. (600;1)(450;0.5).
class ElemColor : public DataElem {
public:
    ElemColor(const QString& name_, ColDiscrete& field) : DataElem(name_), value(&field) {}
    bool fromString(const QString& text) override;
    QString toString() const override;
    void createEditor(EditorRowFactory& factory) override;
    bool readEditor() override;

private:
    ColDiscrete* value;
};

// An optional on/off setting as the text 0 or 1 (blanks around it allowed). Written only when
// on, so that files made before the setting existed keep their bytes; not shown in the edit dock.
class ElemSwitch : public DataElem {
public:
    ElemSwitch(const QString& name_, bool& field) : DataElem(name_), value(&field) {}
    // False, and the field unchanged, for any text but 0 or 1.
    bool fromString(const QString& text) override;
    QString toString() const override;
    void writeXml(int indent, QTextStream& out) override;

private:
    bool* value;
};

// An item's properties in file and editor order. Owns its elements.
class PropertyList {
public:
    using Elements = std::vector<std::unique_ptr<DataElem>>;

    PropertyList() = default;
    PropertyList(const PropertyList&) = delete;
    PropertyList& operator=(const PropertyList&) = delete;
    PropertyList(PropertyList&&) = default;
    PropertyList& operator=(PropertyList&&) = default;

    ElemFloat* addFloat(const QString& name, float& field);
    ElemVec* addVec(const QString& name, Vec4f& field);
    ElemString* addString(const QString& name, QString& field);
    ElemString* addString(const QString& name, SharedText& field);
    ElemColor* addColor(const QString& name, ColDiscrete& field);
    DataElem* add(std::unique_ptr<DataElem> elem);

    // First element whose name equals name exactly (case-sensitive); null when none.
    DataElem* find(const QString& name) const;
    // find, then fromString; false when no element has that name or the text is refused.
    bool setProperty(const QString& name, const QString& text);

    int size() const { return static_cast<int>(elems.size()); }
    DataElem* at(int i) const { return elems.at(static_cast<size_t>(i)).get(); }
    void clear() { elems.clear(); }

    Elements::const_iterator begin() const { return elems.begin(); }
    Elements::const_iterator end() const { return elems.end(); }

private:
    Elements elems;
};

}  // namespace Reader
