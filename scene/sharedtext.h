// A name held by many items (a texture name a million spheres give, an object's name), in one
// pointer: every holder of the same text shares one entry, and no text at all takes none. A
// QString field costs three pointers an item, and a text read from a file once per item. The
// entries are counted and freed with their last holder, so texts of a closed scene do not stay.
// Any thread may make, copy and drop them; the text itself never changes.
//
// Big scenes name every object apart ("a00000", "a00001", ...), so an entry is one block: its
// count, its length and its characters, one byte each when they all are Latin-1, found through an
// open table of pointers (sharedtext.cpp). A name of up to 16 such letters takes 32 bytes and a
// table cell, about a third of what a QString in a hash map took; the price is that text() makes
// a QString of the characters each time it is asked.
#pragma once

#include <QString>
#include <QStringView>

class SharedText {
public:
    SharedText() = default;
    SharedText(const QString& text);  // implicit: fields that held a QString take one as before
    explicit SharedText(QStringView text);
    // The same entry as the QString of these Latin-1 letters, without making one (a reader's
    // names straight from the file's bytes).
    explicit SharedText(QLatin1String text);
    SharedText(const SharedText& other);
    SharedText(SharedText&& other) noexcept : entry(other.entry) { other.entry = nullptr; }
    SharedText& operator=(const SharedText& other);
    SharedText& operator=(SharedText&& other) noexcept;
    SharedText& operator=(const QString& text) { return *this = SharedText(text); }
    ~SharedText();

    // The text, made afresh; an empty QString when there is none.
    QString text() const;
    operator QString() const { return text(); }
    // fn(the characters as they are held): a QLatin1String or a QStringView, valid while this
    // holder holds them (both empty when there is no text).
    template <class Fn>
    decltype(auto) visit(Fn&& fn) const {
        return isWide() ? fn(utf16()) : fn(latin1());
    }
    bool isEmpty() const { return entry == nullptr; }

    // Equal texts share their entry, so comparing the entries compares the texts.
    friend bool operator==(const SharedText& a, const SharedText& b) { return a.entry == b.entry; }
    friend bool operator!=(const SharedText& a, const SharedText& b) { return a.entry != b.entry; }
    friend bool operator==(const SharedText& a, const QString& b) { return a.equals(b); }
    friend bool operator==(const QString& a, const SharedText& b) { return b.equals(a); }
    friend bool operator!=(const SharedText& a, const QString& b) { return !a.equals(b); }
    friend bool operator!=(const QString& a, const SharedText& b) { return !b.equals(a); }

    // How many different texts are held now, by every item of the program (for tests).
    static int entries();

    struct Entry;  // the count, the length and the characters (sharedtext.cpp)

private:
    bool equals(QStringView text) const;  // without making a QString
    bool isWide() const;                  // the characters are held as UTF-16
    QStringView utf16() const;            // when they are
    QLatin1String latin1() const;         // when they are not

    Entry* entry = nullptr;
};
