// One handler per XML tag of the scene file. The reader knows no element vocabulary itself: it
// hands (property, text) pairs to the handler of the open item, which fills the item through
// the item's own property list, and asks every handler to write its items back.
#pragma once

#include <QString>
#include <QTextStream>
#include <memory>
#include <string_view>

#include "scene/dataelem.h"

namespace Reader {

class ReadableParent {
public:
    explicit ReadableParent(const QString& tag) : tag(tag) {}
    virtual ~ReadableParent() = default;

    // Sets one property of the item being read, creating the item on first use.
    virtual bool setValue(const QString& name, const QString& text) = 0;
    // The item's block ended: complete it and hand it to its owner.
    virtual void finish() = 0;
    // Writes every item of this kind as a block.
    virtual void write(int indent, QTextStream& stream) = 0;

    // Where the quick reading of plain files stores a property that is a plain field of the
    // item: a number, a vector or a name (a QString or a SharedText).
    struct Field {
        enum Kind { None, Float, Vec, String, SharedString } kind = None;
        void* address = nullptr;
    };
    // The field of the item being read (created with its defaults on first use) that the first
    // property of this name is bound to; kind None when there is no such property or it is not
    // a plain field, and then the property is set through setValue.
    virtual Field quickField(std::string_view) { return {}; }
    // Gives the item being read its property list if it has none yet (the quick reading fills
    // fields without one), so that property() finds its values.
    virtual void ensureProperties() {}
    // Drops the item being read, unfinished: the reading starts again from the beginning.
    virtual void abandon() {}
    // Whether the items are scene objects, which the reader counts apart from the rest.
    virtual bool readsObjects() const { return false; }

    // The element of the item being read that has this name; null before the item's first
    // property or when there is none. The reader checks a value through it once it is set.
    DataElem* property(const QString& name) const {
        return properties ? properties->find(name) : nullptr;
    }

    // Every property of the item being read; null before its first property.
    const PropertyList* propertyList() const { return properties.get(); }

    const QString tag;

protected:
    // Writes one block: the tag line, a line per property, the closing tag line.
    void writeBlock(int indent, QTextStream& stream, PropertyList& list) const {
        writeIndent(stream, kIndentBase + indent);
        stream << '<' << tag << QLatin1String(">\n");
        for (int i = 0; i < list.size(); ++i) list.at(i)->writeXml(kIndentBase + indent, stream);
        writeIndent(stream, kIndentBase + indent);
        stream << QLatin1String("</") << tag << QLatin1String(">\n");
    }

    std::unique_ptr<PropertyList> properties;
};

}  // namespace Reader
