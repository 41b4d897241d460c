// One table of entries for the program, under one lock: entries are made and dropped when items
// are read, edited, copied or deleted, never while a frame is traced.
#include "scene/sharedtext.h"

#include <QHash>
#include <mutex>

struct SharedText::Entry {
    QString text;
    long holders = 0;
};

namespace {

struct Table {
    std::mutex lock;
    QHash<QString, SharedText::Entry*> entries;
};

// Never destroyed: items that outlive main (a static scene of a test) still drop their texts.
Table& table() {
    static Table* t = new Table();
    return *t;
}

}  // namespace

SharedText::SharedText(const QString& text) {
    if (text.isEmpty()) return;
    Table& t = table();
    const std::lock_guard<std::mutex> guard(t.lock);
    Entry*& found = t.entries[text];
    if (!found) found = new Entry{text, 0};
    ++found->holders;
    entry = found;
}

SharedText::SharedText(const SharedText& other) : entry(other.entry) {
    if (!entry) return;
    const std::lock_guard<std::mutex> guard(table().lock);
    ++entry->holders;
}

SharedText& SharedText::operator=(const SharedText& other) {
    if (entry != other.entry) *this = SharedText(other);
    return *this;
}

SharedText& SharedText::operator=(SharedText&& other) noexcept {
    if (this != &other) {
        SharedText dropped;
        dropped.entry = entry;  // let go when this function returns
        entry = other.entry;
        other.entry = nullptr;
    }
    return *this;
}

SharedText::~SharedText() {
    if (!entry) return;
    Table& t = table();
    const std::lock_guard<std::mutex> guard(t.lock);
    if (--entry->holders > 0) return;
    t.entries.remove(entry->text);
    delete entry;
}

const QString& SharedText::text() const {
    static const QString none;
    return entry ? entry->text : none;
}

int SharedText::entries() {
    Table& t = table();
    const std::lock_guard<std::mutex> guard(t.lock);
    return int(t.entries.size());
}
