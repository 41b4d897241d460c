// Read-out numbers: every value of a table, from zero through the float extremes, fills exactly
// its field, reads back as the value rounded to the precision it shows, uses the places the field
// offers, and keeps its digits in place (one text width per sign in a font with tabular figures).
#include "ui/readoutformat.h"

#include <QLabel>
#include <QtTest>
#include <cmath>
#include <limits>
#include <vector>

#include "tests/ui/uitesthelpers.h"

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Decimals shown in a fixed-notation text ("-12.340" -> 3).
int decimalsOf(const QString& digits) {
    const int point = digits.indexOf(QLatin1Char('.'));
    return point < 0 ? 0 : int(digits.size()) - point - 1;
}

}  // namespace

class ReadoutFormatTest : public QObject {
    Q_OBJECT

private slots:
    void everyValueFillsItsFieldAndReadsBack() {
        const double values[] = {
            0.0,    -0.0,      1.0,       -1.0,     0.5,    -0.25,  0.123456789, 9.99996, -99.9996,
            999.96, 12345.678, -299792.4, 1.0e6,    -1.0e7, 3.4e38, -3.4e38,     1.0e-3,  -4.0e-4,
            9.0e-5, 1.0e-7,    1.4e-45,   -1.0e-30, kInf,   -kInf,  std::nan("")};
        // The read-outs' fields, and narrow ones where scientific notation barely fits or not.
        const ReadoutField fields[] = {{9, 6, false}, {9, 1, false}, {9, 3, false}, {7, 4, false},
                                       {6, 1, false}, {6, 0, false}, {9, 5, true},  {12, 8, true},
                                       {5, 2, true},  {4, 2, false}};
        for (const ReadoutField& field : fields) {
            const int room = field.width - 1;  // after the sign slot
            for (const double value : values) {
                const QString text = readout::number(value, field);
                const QByteArray context = QStringLiteral("%1 in (%2,%3,%4): \"%5\"")
                                               .arg(value)
                                               .arg(field.width)
                                               .arg(field.maxDecimals)
                                               .arg(field.tinyAsScientific)
                                               .arg(text)
                                               .toUtf8();
                QVERIFY2(text.size() == field.width, context);
                const QString shown = QString(text).remove(readout::kFigureSpace);
                QVERIFY2(text.endsWith(shown), context);  // right-aligned
                const double magnitude = std::fabs(value);
                if (shown == QString(field.width, QLatin1Char('#'))) {
                    // No digits only where even "1e+38" is too wide.
                    QVERIFY2(QString::number(magnitude, 'e', 0).size() > room, context);
                    continue;
                }
                if (!std::isfinite(value)) {
                    QVERIFY2(shown == (std::isnan(value) ? "nan"
                                       : value < 0       ? "-inf"
                                                         : "inf"),
                             context);
                    continue;
                }
                bool ok = false;
                const double back = shown.toDouble(&ok);
                QVERIFY2(ok, context);
                const int ePos = shown.indexOf(QLatin1Char('e'));
                if (ePos >= 0) {
                    // Half a unit of the last mantissa digit, relative; and only where the integer
                    // part has no room or, if asked for, fixed notation shows no digit.
                    const double unit = std::pow(10.0, -decimalsOf(shown.left(ePos)));
                    QVERIFY2(std::fabs(back - value) <= 0.50001 * unit * magnitude, context);
                    const bool noRoom = std::floor(std::log10(magnitude)) + 1 > room;
                    const bool tiny = field.tinyAsScientific &&
                                      magnitude < 0.5 * std::pow(10.0, -field.maxDecimals);
                    QVERIFY2(noRoom || tiny, context);
                } else {
                    // Half a unit of the last decimal; as many decimals as fit: the maximum, or
                    // the places after the sign slot are full (or no point is needed).
                    const int decimals = decimalsOf(shown);
                    QVERIFY2(std::fabs(back - value) <= 0.5 * std::pow(10.0, -decimals) + 1e-12,
                             context);
                    const int digits = int(shown.size()) - (shown.startsWith('-') ? 1 : 0);
                    QVERIFY2(decimals <= field.maxDecimals, context);
                    QVERIFY2(decimals == field.maxDecimals || decimals == 0 || digits == room,
                             context);
                }
                // A minus sign only on a value that shows a non-zero digit.
                const bool nonZero = shown.contains(QRegularExpression("[1-9]"));
                QCOMPARE(shown.startsWith(QLatin1Char('-')), value < 0.0 && nonZero);
            }
        }
    }

    // Each read-out has one length whatever its values, and in a font whose digits and figure
    // space are equally wide, one width per sign: nothing moves while the value changes.
    void readOutsKeepTheirLengthAndWidth() {
        const QFontMetrics metrics = QLabel().fontMetrics();
        bool tabular = true;
        for (char digit = '0'; digit <= '9'; ++digit)
            tabular = tabular && metrics.horizontalAdvance(QLatin1Char(digit)) ==
                                     metrics.horizontalAdvance(readout::kFigureSpace);
        using Format = QString (*)(double);
        const std::vector<std::pair<Format, std::vector<double>>> readOuts = {
            {[](double v) { return readout::speed(float(v), true, true, 299792.46875f); },
             {0.0, 0.5, 0.999999, 1e-6, -0.3, -0.999}},
            {[](double v) { return readout::position(float(v), float(v), 1.0f); },
             {0.0, 3.25, 80.0, 0.001, -1234.5, -7.0}},
            {[](double v) { return readout::direction(float(v), 0.0f, float(v)); },
             {0.0, 1.0, 0.0001, 0.5, -0.70710678}},
            {[](double v) { return readout::framesPerSecond(v); }, {0.0, 0.4, 25.0, 999.9}},
            {[](double v) { return readout::pixel(int(v), 3); }, {0.0, 7.0, 1279.0, -15.0}},
            {[](double v) { return readout::factor(v); }, {1.0, 0.0002, 2236.07, 1e-9, 3e5}}};
        // Float noise around zero reads as zero in coordinates and speeds; a tiny factor shows.
        QCOMPARE(readout::direction(1e-7f, -1e-7f, 0.0f), readout::direction(0.0f, 0.0f, 0.0f));
        QCOMPARE(readout::position(-1e-6f, 0.0f, 0.0f), readout::position(0.0f, 0.0f, 0.0f));
        QCOMPARE(readout::speed(1e-9f, true, true, 299792.46875f),
                 readout::speed(0.0f, true, true, 299792.46875f));
        QVERIFY(readout::factor(1e-9).contains(QLatin1Char('1')));
        for (const auto& [format, values] : readOuts) {
            const QString positive = format(values.front());
            for (const double value : values) {
                const QString text = format(value);
                const QByteArray context = (text + " against " + positive).toUtf8();
                QVERIFY2(text.size() == positive.size(), context);
                if (tabular && value >= 0.0 && !text.contains(QLatin1Char('e')))
                    QVERIFY2(metrics.horizontalAdvance(text) == metrics.horizontalAdvance(positive),
                             context);
            }
        }
    }
};

TAVOLIN_UI_TEST_MAIN(ReadoutFormatTest)
#include "readoutformat_test.moc"
