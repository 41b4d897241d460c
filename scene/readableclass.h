// The tag handlers of the scene file, one instantiation per item kind, and the one for the
// render settings. An item is created with its class defaults at its first property, completed
// when its block ends (objects update their derived fields, image textures load their image)
// and then appended to the scene's list or collection.
#pragma once

#include <typeinfo>

#include "scene/readableparent.h"
#include "scene/rendersettings.h"
#include "scene/sceneitems.h"

namespace Reader {

template <class Base, class Concrete, class Target>
class ReadableClass : public ReadableParent {
public:
    ReadableClass(const QString& tag, Target* target) : ReadableParent(tag), target(target) {}
    ~ReadableClass() override { delete item; }

    bool setValue(const QString& name, const QString& text) override {
        if (!properties) properties = std::make_unique<PropertyList>();
        if (!item) {
            item = new Concrete();
            item->getProperties(*properties);
        }
        return properties->setProperty(name, text);
    }

    void finish() override {
        properties.reset();
        if (!item) item = new Concrete();  // an empty block gives an item with its defaults
        Concrete* done = item;
        item = nullptr;
        completeItem(done);
        addToScene(*target, static_cast<Base*>(done));
    }

    void write(int indent, QTextStream& stream) override {
        for (Base* entry : itemsOf<Base>(*target)) {
            if (!entry) break;
            if (typeid(*entry) != typeid(Concrete)) continue;
            PropertyList list;
            entry->getProperties(list);
            writeBlock(indent, stream, list);
        }
    }

private:
    Target* target;
    Concrete* item = nullptr;
};

// A single record that exists before the file is read (the render settings): its properties
// are set in place and nothing happens at the end of its block.
template <class Record>
class ReadableClassEx : public ReadableParent {
public:
    ReadableClassEx(const QString& tag, Record* record) : ReadableParent(tag), record(record) {
        properties = std::make_unique<PropertyList>();
        record->getProperties(*properties);
    }

    bool setValue(const QString& name, const QString& text) override {
        return properties->setProperty(name, text);
    }
    void finish() override {}
    void write(int indent, QTextStream& stream) override {
        writeBlock(indent, stream, *properties);
    }

private:
    Record* record;
};

}  // namespace Reader
