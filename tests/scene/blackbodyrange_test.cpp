// The editor ranges of number properties: values outside are refused with the range's message;
// blackbody colours at the ends of theirs give finite lines with room for shading.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "scene/colblackbody.h"
#include "scene/dataelem.h"

namespace {

class FakeRow : public Reader::EditorRow {
public:
    QString typed, error;
    QString text() const override { return typed; }
    void setText(const QString& t) override { typed = t; }
    void showError(const QString& message) override { error = message; }
};

class FakeFactory : public Reader::EditorRowFactory {
public:
    std::vector<std::unique_ptr<FakeRow>> rows;
    Reader::EditorRow* addRow(const QString&, const QString& text) override {
        rows.push_back(std::make_unique<FakeRow>());
        rows.back()->typed = text;
        return rows.back().get();
    }
};

}  // namespace

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

// Every corner of the accepted ranges gives finite, non-negative lines whose largest intensity
// leaves six orders of magnitude of single precision for shading sums and searchlight factors.
TEST(BlackbodyRange, CornersGiveFiniteLines) {
    const float temperatures[] = {ColBlackbody::kMinTemperature, 1000.0f, 6500.0f,
                                  ColBlackbody::kMaxTemperature};
    const float luminances[] = {ColBlackbody::kMinLuminance, 1.0f, ColBlackbody::kMaxLuminance};
    for (float t : temperatures)
        for (float lum : luminances) {
            const ColBlackbody body(QStringLiteral("b"), t, lum);
            ASSERT_GT(body.count(), 0) << t;
            float largest = 0.0f;
            for (float i : body.intensities) {
                ASSERT_TRUE(std::isfinite(i)) << t << " K, " << lum;
                ASSERT_GE(i, 0.0f);
                largest = std::max(largest, i);
            }
            EXPECT_LT(largest, std::numeric_limits<float>::max() * 1e-6f) << t << " K, " << lum;
        }
}

// A file may name temperatures the dock refuses: they are drawn as the nearest end of the range,
// and the value itself is kept (a save writes what was read).
TEST(BlackbodyRange, FileTemperaturesOutsideTheRangeDrawAsTheNearestEnd) {
    const struct {
        float asked, drawnAs;
    } cases[] = {{1.0f, ColBlackbody::kMinTemperature},
                 {100.0f, ColBlackbody::kMinTemperature},
                 {3e7f, ColBlackbody::kMaxTemperature}};
    for (const auto& c : cases) {
        ColBlackbody body(QStringLiteral("b"), 6500.0f, 2.0f);
        ASSERT_TRUE(Reader::ElemFloat("temperature", body.temperature)
                        .fromString(QString::number(double(c.asked))));
        body.regenerate();
        const ColBlackbody reference(QStringLiteral("b"), c.drawnAs, 2.0f);
        EXPECT_EQ(body.temperature, c.asked);
        ASSERT_EQ(body.intensities.size(), reference.intensities.size());
        for (size_t i = 0; i < body.intensities.size(); ++i) {
            ASSERT_TRUE(std::isfinite(body.intensities[i])) << c.asked;
            ASSERT_EQ(body.intensities[i], reference.intensities[i]) << c.asked << " K, line " << i;
        }
    }
}
