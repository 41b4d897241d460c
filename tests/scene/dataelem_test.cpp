// Property elements: number and vector texts, and refused editor rows through a fake row factory.
#include "scene/dataelem.h"

#include <gtest/gtest.h>

#include <QTextStream>
#include <QXmlStreamReader>
#include <deque>

#include "scene/coldiscrete.h"

namespace {

// Stands in for the UI's label-and-line-edit row.
struct FakeRow : Reader::EditorRow {
    QString typed, error;
    QString text() const override { return typed; }
    void setText(const QString& t) override { typed = t; }
    void showError(const QString& message) override { error = message; }
};

struct FakeFactory : Reader::EditorRowFactory {
    std::deque<FakeRow> rows;
    Reader::EditorRow* addRow(const QString&, const QString& text) override {
        rows.emplace_back().typed = text;
        return &rows.back();
    }
};

}  // namespace

// From (9, 9, 9, 9): whole vectors with or without brackets; wrong part counts change nothing; a
// bad component stores its predecessors and 0 for itself. Found by fuzzing: a number beyond float
// range (which Qt's toFloat returns as infinity) was stored instead of 0.
TEST(ElemVec, ReadsFourComponentsAndStopsAtTheFirstBadOne) {
    const struct {
        const char* text;
        bool ok;
        float x, y, z, w;
    } cases[] = {
        {"<-0.5;1e2;0;7>", true, -0.5f, 100, 0, 7},
        {"1;2;3", false, 9, 9, 9, 9},
        {"1;2;3;4;", false, 9, 9, 9, 9},
        {"1;<2;3;4", false, 1, 0, 9, 9},
        {"5;1e39;6;7", false, 5, 0, 9, 9},
    };
    for (const auto& c : cases) {
        alignas(16) Vec4f v(9, 9, 9, 9);
        Reader::ElemVec e("pos", v);
        EXPECT_EQ(e.fromString(c.text), c.ok) << c.text;
        EXPECT_EQ(e.toString(), QString("%1;%2;%3;%4").arg(c.x).arg(c.y).arg(c.z).arg(c.w))
            << c.text;
    }
}

// A vector held outside its item (an object's velocity) reads, refuses, shows and writes every
// text as the same element bound to a field does: from four nines and from zero, the whole
// vector, wrong part counts, bad components, and zero, which files leave out.
TEST(ElemHeldVec, AgreesWithTheElementOfAFieldOnEveryText) {
    const char* texts[] = {"<-0.5;1e2;0;7>", "1;2;3",   "1;2;3;4;", "1;<2;3;4",
                           "5;1e39;6;7",     "0;0;0;0", "0;0;0;5",  "x;0;0;0"};
    for (const Vec4f start : {Vec4f(9, 9, 9, 9), Vec4f(0, 0, 0, 0)}) {
        for (const char* text : texts) {
            alignas(16) Vec4f field = start;
            Vec4f held = start;
            int handed = 0;
            Reader::ElemOptionalVec plain("velocity", field);
            Reader::ElemHeldVec outside(
                "velocity", [&] { return held; },
                [&](const Vec4f& v) {
                    held = v;
                    ++handed;
                });
            EXPECT_EQ(outside.fromString(text), plain.fromString(text)) << text;
            EXPECT_EQ(handed, 1) << text;
            EXPECT_EQ(outside.toString(), plain.toString()) << text;
            EXPECT_EQ(QString("%1;%2;%3;%4").arg(held.x).arg(held.y).arg(held.z).arg(held.w),
                      plain.toString())
                << text;
            QString fromField, fromHeld;
            QTextStream a(&fromField), b(&fromHeld);
            plain.writeXml(0, a);
            outside.writeXml(0, b);
            a.flush();
            b.flush();
            EXPECT_EQ(fromHeld, fromField) << text;
            EXPECT_EQ(fromField.isEmpty(), all(field == Vec4f(0, 0, 0, 0))) << text;
        }
    }
    // Shown and written as the item holds it now, not as last parsed.
    Vec4f held(0, 0, 0, 0);
    Reader::ElemHeldVec outside(
        "velocity", [&] { return held; }, [&](const Vec4f& v) { held = v; });
    held = Vec4f(0.25f, 0, 0, 0);
    EXPECT_EQ(outside.toString(), QString("0.25;0;0;0"));
    QString written;
    QTextStream out(&written);
    outside.writeXml(0, out);
    out.flush();
    EXPECT_TRUE(written.contains("<velocity>0.25;0;0;0</velocity>")) << written.toStdString();
}

// A refused editor text shows an error and leaves the field alone; a number outside the editor
// range (ends inclusive) is refused with the range's message, a non-number with the general one;
// file texts are not limited. A property without an editor row is never refused.
TEST(EditorRows, RefusedTextsAreReportedAndLeaveTheFieldAlone) {
    float f = 1.5f, ranged = 5.0f;
    alignas(16) Vec4f v(1, 2, 3, 4);
    ColDiscrete col;
    col.addLine(600, 1);
    Reader::PropertyList list;
    list.addFloat("f", f);
    list.addVec("v", v);
    list.addColor("c", col);
    list.addFloat("r", ranged)->setEditorRange(1.0f, 10.0f, "one to ten");
    FakeFactory factory;
    for (const auto& e : list) e->createEditor(factory);
    const struct {
        int row;
        const char *typed, *error;  // error: null when accepted, "?" any but the range's
        const char* after;          // the fields once read
    } cases[] = {
        {0, "fast", "?", "1.5 1;4 (600;1) 5"},
        {0, " 2e1 ", nullptr, "20 1;4 (600;1) 5"},
        {1, "<1;2;3>", "?", "20 1;4 (600;1) 5"},
        {1, "<5;6;7;8>", nullptr, "20 5;8 (600;1) 5"},
        {2, "(600;1)junk(2;3)", "?", "20 5;8 (600;1) 5"},
        // Text before the first "(" is ignored and a missing last ")" tolerated.
        {2, "abc(500;2)(700;3", nullptr, "20 5;8 (500;2)(700;3) 5"},
        {3, "1", nullptr, "20 5;8 (500;2)(700;3) 1"},
        {3, "10", nullptr, "20 5;8 (500;2)(700;3) 10"},
        {3, "0.999", "one to ten", "20 5;8 (500;2)(700;3) 10"},
        {3, "10.001", "one to ten", "20 5;8 (500;2)(700;3) 10"},
        {3, "nan", "one to ten", "20 5;8 (500;2)(700;3) 10"},
        {3, "x", "?", "20 5;8 (500;2)(700;3) 10"},
    };
    for (const auto& c : cases) {
        FakeRow& row = factory.rows[size_t(c.row)];
        row.typed = c.typed;
        row.error.clear();
        EXPECT_EQ(list.at(c.row)->readEditor(), !c.error) << c.typed;
        EXPECT_EQ(row.error.isEmpty(), !c.error) << c.typed;
        if (c.error) {
            EXPECT_EQ(row.error == "one to ten", c.error[0] != '?') << c.typed;
        }
        const QString state = QString("%1 %2;%3 %4 %5").arg(f).arg(v.x).arg(v.w);
        EXPECT_EQ(state.arg(col.toSpectrumText()).arg(ranged).toStdString(), c.after) << c.typed;
    }
    EXPECT_TRUE(list.at(3)->fromString("42"));  // files are not limited
    Reader::PropertyList hidden;
    hidden.addFloat("f", f);
    EXPECT_TRUE(hidden.at(0)->readEditor());
}

// Whatever a name holds, the written element is well formed and an XML parser reads back the
// same text: each markup character alone, at either end, mixed, and none at all (hand-escaped).
TEST(ElemString, WritesMarkupCharactersEscaped) {
    const struct {
        const char* value;
        const char* written;
    } cases[] = {
        {"plain", "plain"},
        {"&", "&amp;"},
        {"<", "&lt;"},
        {">", "&gt;"},
        {"a&b", "a&amp;b"},
        {"<tag>", "&lt;tag&gt;"},
        {"x>&<y", "x&gt;&amp;&lt;y"},
        {"&amp;", "&amp;amp;"},
    };
    for (const auto& c : cases) {
        QString field = QString::fromUtf8(c.value);
        Reader::ElemString elem("name", field);
        QString written;
        QTextStream out(&written);
        elem.writeXml(0, out);
        out.flush();
        EXPECT_TRUE(written.contains(QString("<name>%1</name>").arg(c.written)))
            << c.value << " -> " << written.toStdString();
        QXmlStreamReader xml(written);
        ASSERT_TRUE(xml.readNextStartElement()) << c.value;
        EXPECT_EQ(xml.readElementText(), field) << c.value;
        EXPECT_FALSE(xml.hasError()) << c.value;
    }
}
