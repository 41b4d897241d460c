// A ChangedElemVec whose items are also found by name, with the first item as the default:
// colours and textures, which objects and textures refer to by name.
#pragma once

#include <QString>
#include <map>

#include "base/programmingerror.h"
#include "scene/changedelemvec.h"

template <class T>
class ItemCollection : public ChangedElemVec<T> {
public:
    // Appends item (owned from now on) and makes it findable as name, unless another item already
    // has that name: then the first one stays findable and this one is reachable only by position.
    void add(T* item, const QString& name) {
        this->items.push_back(item);
        byName.emplace(name, item);
    }

    // The item of that name. An absent name gives the default item (the first one), so a scene
    // with a misspelt reference still renders; an empty collection has no default and that is a
    // programming error.
    T* get(const QString& name) const {
        auto it = byName.find(name);
        if (it != byName.end()) {
            if (it->second) return it->second;
            return this->getElem(0).second;
        }
        if (this->items.empty())
            programmingError(
                "The Collection does not have a default item and the name is not found");
        return this->items.front();
    }

    // Rebuilds the name map from the items in order; for a repeated name the first stays.
    void itemsChanged() override {
        byName.clear();
        for (T* item : this->items) byName.emplace(itemName(*item), item);
    }

    bool contains(const QString& name) const { return byName.count(name) != 0; }

private:
    std::map<QString, T*> byName;
};
