// Shared names: one entry per different text, freed with its last holder, on any thread; and the
// property elements that read and edit them as they did QString fields.
#include "scene/sharedtext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "scene/dataelem.h"

// Counts against the entries held before the test, as other tests' items may hold some.
TEST(SharedText, EqualTextsShareOneEntryThatGoesWithItsLastHolder) {
    const int before = SharedText::entries();
    {
        SharedText a(QStringLiteral("rock")), b(QStringLiteral("rock"));
        SharedText c(QStringLiteral("ice"));
        const SharedText none(QString{});
        EXPECT_EQ(SharedText::entries(), before + 2);
        EXPECT_TRUE(a == b);
        EXPECT_FALSE(a == c);
        EXPECT_TRUE(none.isEmpty());
        EXPECT_TRUE(none.text().isEmpty());
        EXPECT_EQ(a.text(), QStringLiteral("rock"));
        EXPECT_TRUE(a == QStringLiteral("rock") && QStringLiteral("ice") == c);
        EXPECT_TRUE(a != c && !(a != b));
        EXPECT_TRUE(a != QStringLiteral("ice") && !(a != QStringLiteral("rock")));
        EXPECT_TRUE(QStringLiteral("rock") != c && !(QStringLiteral("ice") != c));

        SharedText d = a;             // a third holder
        SharedText e = std::move(b);  // b's hold moves to e
        EXPECT_TRUE(b.isEmpty());
        c = d;  // "ice" loses its only holder
        EXPECT_EQ(SharedText::entries(), before + 1);
        c = c;  // assigning to itself keeps it
        EXPECT_EQ(c.text(), QStringLiteral("rock"));
        a = QStringLiteral("sand");
        EXPECT_EQ(SharedText::entries(), before + 2);
        d = QString();     // no text holds nothing
        e = std::move(a);  // "rock" still held by c; "sand" now by e alone
        EXPECT_EQ(e.text(), QStringLiteral("sand"));
        EXPECT_EQ(SharedText::entries(), before + 2);
    }
    EXPECT_EQ(SharedText::entries(), before);
}

// Objects are made on the reader's thread while the window clones and drops others: holders of
// the same texts come and go on several threads at once and the count ends where it began.
TEST(SharedText, HoldersOnManyThreadsLeaveNoEntryBehind) {
    const int before = SharedText::entries();
    const QString names[] = {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&names, t] {
            std::vector<SharedText> held;
            for (int i = 0; i < 2000; ++i) {
                held.emplace_back(names[(i + t) % 3]);
                if (i % 3 == 0) held.push_back(held[size_t(i) / 2]);
                if (i % 5 == 0) held.erase(held.begin());
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(SharedText::entries(), before);
}

// A big scene's names come and go in their thousands: the table grows, shrinks and closes the
// runs its freed entries leave. Random holds and drops of 3,000 names, checked against a count of
// holders per name: every held name still reads back and is still found (a fresh holder of its
// text shares its entry, and compares equal to it but to no other name), and the table holds
// exactly the names with holders.
TEST(SharedText, ManyNamesHeldAndDroppedMatchACountOfHolders) {
    const int before = SharedText::entries();
    std::mt19937 random(11);
    std::vector<QString> names;
    // Names kept one byte a letter (Latin-1, some above ASCII) and two (others), some of the
    // same length and letters but for one that does not fit a byte.
    const QString kinds[] = {QStringLiteral("a"), QString::fromUtf8("\u00e9"),
                             QString::fromUtf8("\u661f"), QString::fromUtf8("\u0101")};
    for (int i = 0; i < 3000; ++i)
        names.push_back(kinds[i % 4] + QStringLiteral("%1").arg(i / 4, 5, 10, QChar(u'0')));
    std::map<QString, int> holders;
    std::vector<std::pair<size_t, SharedText>> held;  // the name's index and a holder
    // Every other holder of a name that fits a byte a letter is made from its Latin-1 bytes, as
    // the reader makes them: the same entry either way, whichever form made it.
    int made = 0;
    const auto hold = [&](size_t index) {
        const QString& name = names[index];
        const QByteArray bytes = name.toLatin1();
        if (++made % 2 && QString::fromLatin1(bytes) == name)
            return SharedText(QLatin1String(bytes.constData(), bytes.size()));
        return SharedText(name);
    };
    const auto check = [&] {
        int named = 0;
        for (const auto& [name, n] : holders) named += n > 0;
        ASSERT_EQ(SharedText::entries(), before + named);
        for (const auto& [index, text] : held) {
            const QString& name = names[index];
            ASSERT_EQ(text.text(), name);
            ASSERT_TRUE(SharedText(name) == text) << name.toStdString();
            const QByteArray bytes = name.toLatin1();
            if (QString::fromLatin1(bytes) == name) {
                ASSERT_TRUE(SharedText(QLatin1String(bytes.constData(), bytes.size())) == text);
            }
            ASSERT_TRUE(text == name && !(text != name));
            for (const size_t step : {1, 4}) {  // another kind of letter; another number
                const QString& other = names[(index + step) % names.size()];
                ASSERT_TRUE(text != other && !(text == other)) << other.toStdString();
            }
        }
    };
    for (int round = 0; round < 6; ++round) {
        // Fill up (the table doubles several times), then drop most in random order (it halves).
        for (int i = 0; i < 4000; ++i) {
            const size_t index = random() % names.size();
            held.emplace_back(index, hold(index));
            ++holders[names[index]];
        }
        check();
        std::shuffle(held.begin(), held.end(), random);
        const size_t keep = round % 2 ? 10 : 400;
        while (held.size() > keep) {
            --holders[names[held.back().first]];
            held.pop_back();
        }
        check();
    }
    // Then a dozen names at a time in the smallest table (64 cells), one hold or drop at a time,
    // so that runs of entries often wrap around the table's end when one is taken out.
    held.clear();
    holders.clear();
    for (int step = 0; step < 20000; ++step) {
        if (held.size() < 12 && random() % 2) {
            const size_t index = random() % names.size();
            held.emplace_back(index, hold(index));
            ++holders[names[index]];
        } else if (!held.empty()) {
            std::swap(held[random() % held.size()], held.back());
            --holders[names[held.back().first]];
            held.pop_back();
        }
        if (step % 7 == 0) check();
    }
    held.clear();
    EXPECT_EQ(SharedText::entries(), before);
}

// A table of a big scene's size, where a search passes other entries of its run by a few bits of
// their hashes: names whose bits agree by chance (hundreds among 300,000) are still told apart
// by their letters. Each name reads back, a fresh holder shares its entry, and its neighbour's
// does not.
TEST(SharedText, ABigTableTellsEveryNameApart) {
    const int before = SharedText::entries();
    const int n = 300000;
    std::vector<QString> names;
    std::vector<SharedText> held;
    names.reserve(n);
    held.reserve(n);
    for (int i = 0; i < n; ++i) {
        names.push_back(QStringLiteral("s%1").arg(i, 7, 10, QChar(u'0')));
        held.emplace_back(names.back());
    }
    ASSERT_EQ(SharedText::entries(), before + n);
    int wrong = 0;
    for (int i = 0; i < n; ++i) {
        const SharedText again(names[i]);
        wrong += !(held[i].text() == names[i] && again == held[i] && !(again == held[(i + 1) % n]));
    }
    EXPECT_EQ(wrong, 0);
    held.clear();
    EXPECT_EQ(SharedText::entries(), before);
}

// The file's rule drops blanks; the editor's row shows and takes the text; an empty text holds
// no entry.
TEST(SharedText, PropertyElementsReadAndEditIt) {
    SharedText field;
    Reader::PropertyList list;
    list.addString("texname", field);
    EXPECT_EQ(list.at(0)->toString(), QString());
    EXPECT_TRUE(list.setProperty("texname", " ro\tck\n"));
    EXPECT_EQ(field.text(), QStringLiteral("rock"));
    EXPECT_EQ(list.at(0)->toString(), QStringLiteral("rock"));
    EXPECT_TRUE(list.setProperty("texname", ""));
    EXPECT_TRUE(field.isEmpty());
}
