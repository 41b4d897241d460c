// A list of scene items (colours, textures, objects or lights) together with the edits that the
// edit dock has recorded for it; the document applies the edits between frames.
#pragma once

#include <QString>
#include <QStringList>
#include <algorithm>
#include <utility>
#include <vector>

#include "base/programmingerror.h"

class ColDiscrete;
class Texture;
class rtObjBase;
struct Lights;

// The name under which an item is listed and looked up.
QString itemName(const ColDiscrete& item);
QString itemName(const Texture& item);
QString itemName(const rtObjBase& item);
QString itemName(const Lights& item);

// The class's own full copy of every field: assignment for colours and lights, copyFrom for the
// polymorphic textures and objects.
void takeOverFields(ColDiscrete& target, const ColDiscrete& copy);
void takeOverFields(Texture& target, const Texture& copy);
void takeOverFields(rtObjBase& target, const rtObjBase& copy);
void takeOverFields(Lights& target, const Lights& copy);

// Owns every entry of items, the copies of changes and the entries of added. removed holds
// pointers into items or added. Not thread-safe: the GUI thread changes it while no frame renders.
template <class T>
class ChangedElemVec {
public:
    using Change = std::pair<T*, T*>;  // (copy, target)

    ChangedElemVec() = default;
    ChangedElemVec(const ChangedElemVec&) = delete;
    ChangedElemVec& operator=(const ChangedElemVec&) = delete;

    virtual ~ChangedElemVec() {
        for (Change& c : changes) delete c.first;
        for (T* item : added) delete item;
        for (T* item : items) delete item;
    }

    // Called after pending changes were applied.
    virtual void itemsChanged() {}

    // The scene's content in insertion order (owned).
    std::vector<T*> items;

    // Appends an item to the content directly (loading, built-in scenes); takes ownership.
    void append(T* item) { items.push_back(item); }

    // ---- the visible sequence: what the edit dock lists

    // Entries of items not pending removal, then entries of added not pending removal.
    std::vector<T*> visibleEntries() const {
        std::vector<T*> visible;
        for (T* item : items)
            if (!isRemoved(item)) visible.push_back(item);
        for (T* item : added)
            if (!isRemoved(item)) visible.push_back(item);
        return visible;
    }

    // The copy of the last recorded change of entry, or the entry itself.
    T* currentVersion(T* entry) const {
        for (auto it = changes.rbegin(); it != changes.rend(); ++it)
            if (it->second == entry) return it->first;
        return entry;
    }

    // (current version, entry) of the index-th visible entry.
    std::pair<T*, T*> getElem(int index) const {
        const std::vector<T*> visible = visibleEntries();
        if (index < 0 || index >= static_cast<int>(visible.size()))
            programmingError("Index not found in ChangedElemVec::getElem");
        T* entry = visible[static_cast<size_t>(index)];
        return {currentVersion(entry), entry};
    }

    // Appends the visible entries' names (of their current versions) to an empty list.
    void getNames(QStringList& names) const {
        if (!names.isEmpty()) programmingError("error: List not empty in ChangedElemVec::getNames");
        for (T* entry : visibleEntries()) names.append(itemName(*currentVersion(entry)));
    }

    // ---- recording edits (edit dock)

    // target will take over every field of copy; the list owns copy from now on.
    void recordChange(T* copy, T* target) { changes.emplace_back(copy, target); }
    // The list owns item from now on.
    void recordAddition(T* item) { added.push_back(item); }
    void recordRemoval(T* item) { removed.push_back(item); }

    bool hasPendingChanges() const {
        return !changes.empty() || !added.empty() || !removed.empty();
    }

    // Forgets every recorded edit, leaving the content as it is.
    void discardPendingChanges() {
        for (Change& c : changes) delete c.first;
        for (T* item : added) delete item;
        changes.clear();
        added.clear();
        removed.clear();
    }

    const std::vector<Change>& pendingChanges() const { return changes; }
    const std::vector<T*>& pendingAdditions() const { return added; }
    const std::vector<T*>& pendingRemovals() const { return removed; }

    // Additions first (so that changes and removals may refer to added items), then the changes
    // in recording order, then the removals; itemsChanged() when anything was pending.
    void applyChanges() {
        const bool anything = hasPendingChanges();
        items.insert(items.end(), added.begin(), added.end());
        added.clear();
        for (Change& c : changes) {
            takeOverFields(*c.second, *c.first);
            delete c.first;
            c.first = nullptr;
        }
        changes.clear();
        for (T* item : removed) {
            auto it = std::find(items.begin(), items.end(), item);
            if (it == items.end()) continue;  // already removed, or never held
            delete *it;
            items.erase(it);
        }
        removed.clear();
        if (anything) itemsChanged();
    }

private:
    bool isRemoved(T* item) const {
        return std::find(removed.begin(), removed.end(), item) != removed.end();
    }

    std::vector<Change> changes;
    std::vector<T*> removed;
    std::vector<T*> added;
};
