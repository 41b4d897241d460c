// Property elements: number and vector texts, and refused editor rows (also outside a number's
// editor range) through a fake row factory.
#include "scene/dataelem.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "scene/coldiscrete.h"

namespace {

// Stands in for the UI's label-and-line-edit row.
class FakeRow : public Reader::EditorRow {
public:
    QString label, typed, error;
    QString text() const override { return typed; }
    void setText(const QString& t) override { typed = t; }
    void showError(const QString& message) override { error = message; }
};

class FakeFactory : public Reader::EditorRowFactory {
public:
    std::vector<std::unique_ptr<FakeRow>> rows;
    Reader::EditorRow* addRow(const QString& label, const QString& text) override {
        rows.push_back(std::make_unique<FakeRow>());
        rows.back()->label = label;
        rows.back()->typed = text;
        return rows.back().get();
    }
};

}  // namespace

// Each text with the vector it leaves behind, starting from (9, 9, 9, 9): whole vectors with or
// without brackets; wrong part counts change nothing; a bad component stores its predecessors and
// 0 for itself (brackets are only dropped at the outer ends).
TEST(ElemVec, ReadsFourComponentsAndStopsAtTheFirstBadOne) {
    const struct {
        const char* text;
        bool ok;
        float x, y, z, w;
    } cases[] = {
        {"1;2;3;4", true, 1, 2, 3, 4},     {"<1;2;3;4>", true, 1, 2, 3, 4},
        {"-0.5;1e2;0;7", true, -0.5f, 100, 0, 7},
        {"1;2;3", false, 9, 9, 9, 9},      {"1;2;3;4;5", false, 9, 9, 9, 9},
        {"", false, 9, 9, 9, 9},           {"1;2;3;4;", false, 9, 9, 9, 9},
        {"1;x;3;4", false, 1, 0, 9, 9},    {"1;<2;3;4", false, 1, 0, 9, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Vec4f v(9, 9, 9, 9);
        Reader::ElemVec e("pos", v);
        EXPECT_EQ(e.fromString(c.text), c.ok);
        EXPECT_EQ(v.x, c.x);
        EXPECT_EQ(v.y, c.y);
        EXPECT_EQ(v.z, c.z);
        EXPECT_EQ(v.w, c.w);
        if (c.ok) {
            EXPECT_EQ(e.toString().toStdString(), c.text[0] == '-' ? "-0.5;100;0;7" : "1;2;3;4");
        }
    }
}

TEST(EditorRows, RefusedTextsAreReported) {
    float f = 1.5f;
    Vec4f v(1, 2, 3, 4);
    ColDiscrete col;
    col.addLine(600, 1);
    Reader::PropertyList list;
    list.addFloat("f", f);
    list.addVec("v", v);
    list.addColor("c", col);
    FakeFactory factory;
    for (const auto& e : list) e->createEditor(factory);

    factory.rows[0]->typed = "fast";
    EXPECT_FALSE(list.at(0)->readEditor());
    EXPECT_FALSE(factory.rows[0]->error.isEmpty());
    EXPECT_EQ(f, 1.5f);  // a refused number leaves the field alone
    factory.rows[0]->typed = " 2e1 ";
    EXPECT_TRUE(list.at(0)->readEditor());
    EXPECT_EQ(f, 20.0f);

    factory.rows[1]->typed = "<1;2;3>";
    EXPECT_FALSE(list.at(1)->readEditor());
    EXPECT_FALSE(factory.rows[1]->error.isEmpty());
    factory.rows[1]->typed = "<5;6;7;8>";
    EXPECT_TRUE(list.at(1)->readEditor());
    EXPECT_EQ(v.x, 5.0f);
    EXPECT_EQ(v.w, 8.0f);

    factory.rows[2]->typed = "(600;1;2)";
    EXPECT_FALSE(list.at(2)->readEditor());
    EXPECT_FALSE(factory.rows[2]->error.isEmpty());
    EXPECT_EQ(col.count(), 1);
    factory.rows[2]->typed = "(500;2)(700;3)";
    EXPECT_TRUE(list.at(2)->readEditor());
    EXPECT_EQ(col.count(), 2);

    // A property the editor shows no row for is never refused.
    Reader::PropertyList hidden;
    QString s;
    hidden.addFloat("f", f);
    hidden.addVec("v", v);
    hidden.addColor("c", col);
    hidden.addString("s", s);
    for (const auto& e : hidden) EXPECT_TRUE(e->readEditor()) << e->name.toStdString();
}

// Found by fuzzing: Qt's toFloat reports a number beyond float range as no number but returns
// infinity for it, which was stored instead of 0.
TEST(ElemFloat, OutOfRangeNumbersAreNoNumbersAndStoreZero) {
    float f = 7.0f;
    Reader::ElemFloat e("f", f);
    for (const char* text : {"1e39", "-1e39", "1e400", "1000000000000000000000000000000000000000000"}) {
        f = 7.0f;
        EXPECT_FALSE(e.fromString(text)) << text;
        EXPECT_EQ(f, 0.0f) << text;
        EXPECT_FALSE(std::signbit(f)) << text;
    }
    // The non-finite and extreme texts the writer produces are numbers and read back.
    for (float v : {std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                    3.40282e38f, -1.4013e-45f}) {
        float in = v, out = 1.0f;
        Reader::ElemFloat writer("f", in), reader("f", out);
        ASSERT_TRUE(reader.fromString(writer.toString())) << writer.toString().toStdString();
        EXPECT_EQ(std::signbit(out), std::signbit(v));
        EXPECT_EQ(out == v, true) << writer.toString().toStdString();
    }
    float nan = std::numeric_limits<float>::quiet_NaN(), back = 0.0f;
    Reader::ElemFloat nanWriter("f", nan), nanReader("f", back);
    ASSERT_TRUE(nanReader.fromString(nanWriter.toString()));
    EXPECT_TRUE(std::isnan(back));

    alignas(16) Vec4f v(1, 2, 3, 4);
    Reader::ElemVec vec("v", v);
    EXPECT_FALSE(vec.fromString("5;1e39;6;7"));
    EXPECT_EQ(v.x, 5.0f);
    EXPECT_EQ(v.y, 0.0f);
    EXPECT_EQ(v.z, 3.0f);  // not reached
}

TEST(ElemFloatRange, EndsInclusiveOutsideAndNonFiniteRefused) {
    float f = 5.0f;
    Reader::ElemFloat elem("f", f);
    elem.setEditorRange(1.0f, 10.0f, "one to ten");
    FakeFactory factory;
    elem.createEditor(factory);
    FakeRow& row = *factory.rows[0];
    for (const char* text : {"1", "10", "3.25"}) {
        row.typed = text;
        row.error.clear();
        EXPECT_TRUE(elem.readEditor()) << text;
        EXPECT_TRUE(row.error.isEmpty());
        EXPECT_EQ(f, QString(text).toFloat());
    }
    for (const char* text : {"0.999", "10.001", "-3", "nan", "inf", "-inf", "1e300"}) {
        f = 7.0f;
        row.typed = text;
        row.error.clear();
        EXPECT_FALSE(elem.readEditor()) << text;
        EXPECT_FALSE(row.error.isEmpty()) << text;
        EXPECT_EQ(f, 7.0f) << text;
    }
    // The range's own message for a number outside it; a non-number keeps the general one.
    row.typed = "11";
    elem.readEditor();
    EXPECT_EQ(row.error, QString("one to ten"));
    row.typed = "x";
    elem.readEditor();
    EXPECT_NE(row.error, QString("one to ten"));
    // File texts are not limited.
    EXPECT_TRUE(elem.fromString("42"));
    EXPECT_EQ(f, 42.0f);
}
