// One table of entries for the program, under one lock: entries are made and dropped when items
// are read, edited, copied or deleted, never while a frame is traced.
//
// The table is open: a power-of-two array of entry pointers, each entry in the first free slot
// from the one its hash picks (linear probing). An entry let go is taken out by moving the later
// entries of its run back, so that no search stops at a hole before its entry and no tombstones
// pile up while a big scene is read and freed. The array doubles at three quarters full and
// halves when an eighth is used, so a closed big scene gives its cells back.
//
// A big scene's table is far bigger than the processor's caches, and each entry read is a miss:
// a cell keeps 16 bits of its entry's hash beside the address, so that a search passes the
// other entries of its run without reading them, and a resize fetches the entries it rehashes
// a few cells ahead.
#include "scene/sharedtext.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <type_traits>
#include <vector>

struct SharedText::Entry {
    uint32_t holders;
    uint32_t shape;  // the length times two, plus one when the characters are UTF-16

    size_t length() const { return shape >> 1; }
    bool wide() const { return (shape & 1) != 0; }
    // The characters follow the entry: one byte each (Latin-1) or two (UTF-16).
    const char* bytes() const { return reinterpret_cast<const char*>(this + 1); }
    const char16_t* units() const { return reinterpret_cast<const char16_t*>(this + 1); }

    bool equals(QStringView text) const {
        if (size_t(text.size()) != length()) return false;
        if (wide()) return QStringView(units(), text.size()) == text;
        return QLatin1String(bytes(), text.size()) == text;
    }
    // An entry is wide only when a letter does not fit a byte, so no wide one equals Latin-1.
    bool equals(QLatin1String text) const {
        return !wide() && size_t(text.size()) == length() &&
               std::memcmp(bytes(), text.data(), length()) == 0;
    }
};

static_assert(sizeof(SharedText::Entry) == 8 && alignof(SharedText::Entry) >= alignof(char16_t),
              "the characters follow the counts without a gap");

namespace {

using Entry = SharedText::Entry;

// FNV-1a over the UTF-16 code units, then mixed (MurmurHash3's finaliser) so that the low bits
// that pick a cell depend on every character. The same text hashes alike in either form.
struct Hash {
    uint32_t h = 2166136261u;
    void add(uint32_t unit) { h = (h ^ unit) * 16777619u; }
    uint32_t done() const {
        uint32_t x = h;
        x ^= x >> 16;
        x *= 0x85ebca6bu;
        x ^= x >> 13;
        x *= 0xc2b2ae35u;
        return x ^ (x >> 16);
    }
};

// units: UTF-16 code units or Latin-1 bytes, hashed as the code units they stand for.
template <class Unit>
uint32_t hashUnits(const Unit* units, size_t n) {
    Hash h;
    for (size_t i = 0; i < n; ++i) h.add(uint32_t(std::make_unsigned_t<Unit>(units[i])));
    return h.done();
}

uint32_t hashOf(QStringView text) { return hashUnits(text.utf16(), size_t(text.size())); }
uint32_t hashOf(QLatin1String text) { return hashUnits(text.data(), size_t(text.size())); }

uint32_t hashOf(const Entry& e) {
    return e.wide() ? hashUnits(e.units(), e.length()) : hashUnits(e.bytes(), e.length());
}

// A cell: an entry's address in the low 48 bits (all an address of this platform's programs
// uses), bits 16 to 31 of its text's hash above them; 0 when free. The bits that pick the cell
// are the hash's lowest, so the tag tells apart entries that share a run.
using Cell = uintptr_t;
static_assert(sizeof(Cell) == 8, "a cell holds an address and a tag");
constexpr int kTagShift = 48;
constexpr Cell kAddressBits = (Cell(1) << kTagShift) - 1;

Cell tagOf(uint32_t hash) { return Cell(hash >> 16) << kTagShift; }
Entry* entryIn(Cell c) { return reinterpret_cast<Entry*>(c & kAddressBits); }

// A block for an entry of n letters, its count 0.
Entry* newEntry(size_t n, bool wide) {
    void* block = ::operator new(sizeof(Entry) + (wide ? 2 : 1) * n);
    if ((reinterpret_cast<Cell>(block) & ~kAddressBits) != 0) {
        ::operator delete(block);
        throw std::bad_alloc();  // an address the cells cannot hold
    }
    return new (block) Entry{0, uint32_t(n << 1 | (wide ? 1 : 0))};
}

Entry* makeEntry(QLatin1String text) {
    Entry* e = newEntry(size_t(text.size()), false);
    std::memcpy(const_cast<char*>(e->bytes()), text.data(), size_t(text.size()));
    return e;
}

Entry* makeEntry(QStringView text) {
    const size_t n = size_t(text.size());
    const bool wide =
        std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xff; });
    Entry* e = newEntry(n, wide);
    if (wide) {
        std::memcpy(const_cast<char16_t*>(e->units()), text.utf16(), 2 * n);
    } else {
        char* out = const_cast<char*>(e->bytes());
        for (size_t i = 0; i < n; ++i) out[i] = char(uint8_t(text[qsizetype(i)].unicode()));
    }
    return e;
}

void freeEntry(Entry* e) {
    e->~Entry();
    ::operator delete(static_cast<void*>(e));
}

class Table {
public:
    std::mutex lock;

    // The entry of text (a QStringView or QLatin1String), made with no holders if there is none
    // yet.
    template <class Text>
    Entry* entryOf(Text text) {
        if (cells.empty()) resize(kMinCells);
        const uint32_t hash = hashOf(text);
        const Cell tag = tagOf(hash);
        size_t i = hash & mask();
        for (; cells[i]; i = (i + 1) & mask())
            if ((cells[i] & ~kAddressBits) == tag && entryIn(cells[i])->equals(text))
                return entryIn(cells[i]);
        Entry* made = makeEntry(text);
        cells[i] = reinterpret_cast<Cell>(made) | tag;
        ++count;
        if (count * 4 > cells.size() * 3) resize(cells.size() * 2);
        return made;
    }

    // Takes e out and frees it.
    void remove(Entry* e) {
        size_t i = hashOf(*e) & mask();
        while (entryIn(cells[i]) != e) i = (i + 1) & mask();
        // Backward shift: each later entry of the run whose home is not in (i, j] moves into the
        // hole, so every entry stays reachable from its home without crossing a free slot.
        for (size_t j = (i + 1) & mask(); cells[j]; j = (j + 1) & mask()) {
            const size_t home = hashOf(*entryIn(cells[j])) & mask();
            const bool homeInGap = i <= j ? (home > i && home <= j) : (home > i || home <= j);
            if (homeInGap) continue;
            cells[i] = cells[j];
            i = j;
        }
        cells[i] = 0;
        --count;
        freeEntry(e);
        if (cells.size() > kMinCells && count * 8 < cells.size()) resize(cells.size() / 2);
    }

    size_t size() const { return count; }

private:
    static constexpr size_t kMinCells = 64;

    size_t mask() const { return cells.size() - 1; }

    void resize(size_t n) {
        std::vector<Cell> old(n, 0);
        old.swap(cells);
        // The entries are read a few cells ahead of their rehashing, so that their misses
        // overlap instead of coming one after the other.
        constexpr size_t kAhead = 8;
        for (size_t k = 0; k < old.size(); ++k) {
            if (k + kAhead < old.size() && old[k + kAhead])
                __builtin_prefetch(entryIn(old[k + kAhead]));
            if (!old[k]) continue;
            size_t i = hashOf(*entryIn(old[k])) & mask();
            while (cells[i]) i = (i + 1) & mask();
            cells[i] = old[k];
        }
    }

    std::vector<Cell> cells;
    size_t count = 0;
};

// Never destroyed: items that outlive main (a static scene of a test) still drop their texts.
Table& table() {
    static Table* t = new Table();
    return *t;
}

}  // namespace

SharedText::SharedText(const QString& text) : SharedText(QStringView(text)) {}

namespace {

template <class Text>
Entry* holdEntryOf(Text text) {
    if (text.isEmpty()) return nullptr;
    Table& t = table();
    const std::lock_guard<std::mutex> guard(t.lock);
    Entry* e = t.entryOf(text);
    ++e->holders;
    return e;
}

}  // namespace

SharedText::SharedText(QStringView text) : entry(holdEntryOf(text)) {}

SharedText::SharedText(QLatin1String text) : entry(holdEntryOf(text)) {}

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
    t.remove(entry);
}

QString SharedText::text() const {
    if (!entry) return QString();
    const auto n = qsizetype(entry->length());
    if (entry->wide()) return QString(reinterpret_cast<const QChar*>(entry->units()), n);
    return QString::fromLatin1(entry->bytes(), n);
}

bool SharedText::isWide() const { return entry && entry->wide(); }

QStringView SharedText::utf16() const {
    return isWide() ? QStringView(entry->units(), qsizetype(entry->length())) : QStringView();
}

QLatin1String SharedText::latin1() const {
    return entry && !entry->wide() ? QLatin1String(entry->bytes(), qsizetype(entry->length()))
                                   : QLatin1String();
}

bool SharedText::equals(QStringView text) const {
    return entry ? entry->equals(text) : text.isEmpty();
}

int SharedText::entries() {
    Table& t = table();
    const std::lock_guard<std::mutex> guard(t.lock);
    return int(t.size());
}
