// A name held by many items (a texture name a million spheres give, an object's name), in one
// pointer: every holder of the same text shares one entry, and no text at all takes none. A
// QString field costs three pointers an item, and a text read from a file once per item. The
// entries are counted and freed with their last holder, so texts of a closed scene do not stay.
// Any thread may make, copy and drop them; the text itself never changes.
#pragma once

#include <QString>

class SharedText {
public:
    SharedText() = default;
    SharedText(const QString& text);  // implicit: fields that held a QString take one as before
    SharedText(const SharedText& other);
    SharedText(SharedText&& other) noexcept : entry(other.entry) { other.entry = nullptr; }
    SharedText& operator=(const SharedText& other);
    SharedText& operator=(SharedText&& other) noexcept;
    SharedText& operator=(const QString& text) { return *this = SharedText(text); }
    ~SharedText();

    // The text; an empty QString when there is none.
    const QString& text() const;
    operator const QString&() const { return text(); }
    bool isEmpty() const { return entry == nullptr; }

    // Equal texts share their entry, so comparing the entries compares the texts.
    friend bool operator==(const SharedText& a, const SharedText& b) { return a.entry == b.entry; }
    friend bool operator!=(const SharedText& a, const SharedText& b) { return a.entry != b.entry; }
    friend bool operator==(const SharedText& a, const QString& b) { return a.text() == b; }
    friend bool operator==(const QString& a, const SharedText& b) { return a == b.text(); }
    friend bool operator!=(const SharedText& a, const QString& b) { return a.text() != b; }
    friend bool operator!=(const QString& a, const SharedText& b) { return a != b.text(); }

    // How many different texts are held now, by every item of the program (for tests).
    static int entries();

    struct Entry;  // the text and its count of holders (sharedtext.cpp)

private:
    Entry* entry = nullptr;
};
