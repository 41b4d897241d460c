// The tag handlers of the scene file, one instantiation per item kind, and the one for the
// render settings. An item is created with its class defaults at its first property, completed
// when its block ends (objects update their derived fields, image textures load their image)
// and then appended to the scene's list or collection.
#pragma once

#include <algorithm>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "scene/readableparent.h"
#include "scene/rendersettings.h"
#include "scene/runwriter.h"
#include "scene/sceneitems.h"

namespace Reader {

template <class Base, class Concrete, class Target>
class ReadableClass : public ReadableParent {
public:
    ReadableClass(const QString& tag, Target* target) : ReadableParent(tag), target(target) {}
    ~ReadableClass() override { delete item; }
    bool readsObjects() const override { return std::is_base_of_v<rtObjBase, Base>; }

    bool setValue(const QString& name, const QString& text) override {
        if (!item) item = new Concrete();
        ensureProperties();
        return properties->setProperty(name, text);
    }

    Field quickField(std::string_view name) override {
        // Only the objects, which a big scene has by the million, take the quick way.
        if constexpr (!std::is_base_of_v<rtObjBase, Concrete>) {
            return {};
        } else {
            if (layout.empty()) learnLayout();
            for (const Slot& slot : layout) {
                if (slot.name != name) continue;
                if (slot.kind == Field::None) return {};
                if (!item) item = new Concrete();
                return {slot.kind, reinterpret_cast<char*>(item) + slot.offset};
            }
            return {};
        }
    }

    void ensureProperties() override {
        if (!item || properties) return;
        properties = std::make_unique<PropertyList>();
        item->getProperties(*properties);
    }

    void abandon() override {
        properties.reset();
        delete item;
        item = nullptr;
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
        const std::vector<Base*>& items = itemsOf<Base>(*target);
        const size_t count = size_t(std::find(items.begin(), items.end(), nullptr) - items.begin());
        writeInRuns(count, stream, [&](size_t begin, size_t end, QTextStream& out) {
            for (size_t i = begin; i < end; ++i) {
                if (typeid(*items[i]) != typeid(Concrete)) continue;
                PropertyList list;
                items[i]->getProperties(list);
                writeBlock(indent, out, list);
            }
        });
    }

private:
    // Where each property of a Concrete lives, as an offset into the object, learnt once from
    // the property list of an object with its defaults. Properties bound elsewhere, or of
    // other kinds, have kind None.
    struct Slot {
        std::string name;
        Field::Kind kind = Field::None;
        size_t offset = 0;
    };

    void learnLayout() {
        Concrete model;
        PropertyList list;
        model.getProperties(list);
        const char* base = reinterpret_cast<const char*>(&model);
        for (const auto& element : list) {
            Slot slot;
            slot.name = element->name.toStdString();
            const void* address = nullptr;
            const DataElem& e = *element;
            if (typeid(e) == typeid(ElemFloat)) {
                slot.kind = Field::Float;
                address = static_cast<const ElemFloat&>(e).field();
            } else if (typeid(e) == typeid(ElemVec)) {
                slot.kind = Field::Vec;
                address = static_cast<const ElemVec&>(e).field();
            } else if (typeid(e) == typeid(ElemString)) {
                const auto& s = static_cast<const ElemString&>(e);
                slot.kind = s.sharedField() ? Field::SharedString : Field::String;
                address = s.sharedField() ? static_cast<const void*>(s.sharedField()) : s.field();
            }
            const char* at = static_cast<const char*>(address);
            if (at >= base && at < base + sizeof(Concrete))
                slot.offset = size_t(at - base);
            else
                slot.kind = Field::None;
            layout.push_back(std::move(slot));
        }
    }

    Target* target;
    Concrete* item = nullptr;
    std::vector<Slot> layout;
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
