// Read-out numbers: every value of a table, from zero through the float extremes, fills exactly
// its field, reads back as the value rounded to the precision it shows, uses all the places the
// field offers, and keeps the digits in place (equal text widths in the label font).
#include <QFontMetrics>
#include <QLabel>
#include <QRegularExpression>
#include <QtTest>
#include <cmath>
#include <limits>
#include <vector>

#include "tests/ui/uitesthelpers.h"
#include "ui/readoutformat.h"

namespace {

const std::vector<double>& valueTable() {
    static const std::vector<double> values = {
        0.0,      -0.0,     1.0,       -1.0,    0.5,     -0.25,   0.123456789, 9.99996,
        -99.9996, 999.96,   12345.678, -299792.4, 1.0e6, -1.0e7,  3.4e38,      -3.4e38,
        1.0e-3,   -4.0e-4,  1.0e-7,    1.4e-45, -1.0e-30, 7.0,    42.0,        -0.999999,
        std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN()};
    return values;
}

// Fields of every shape the read-outs use, and narrow ones where scientific notation barely fits
// or does not fit at all.
const std::vector<ReadoutField>& fieldTable() {
    static const std::vector<ReadoutField> fields = {
        {9, 6, false}, {9, 1, false}, {9, 3, false}, {7, 4, false}, {6, 1, false},
        {6, 0, false}, {9, 5, true},  {12, 8, true}, {5, 2, true},  {4, 2, false}};
    return fields;
}

QString withoutPadding(QString text) {
    return text.remove(readout::kFigureSpace);
}

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
        for (const ReadoutField& field : fieldTable()) {
            for (const double value : valueTable()) {
                const QString text = readout::number(value, field);
                const QString context = QStringLiteral("%1 in (%2,%3,%4): \"%5\"")
                                            .arg(value)
                                            .arg(field.width)
                                            .arg(field.maxDecimals)
                                            .arg(field.tinyAsScientific)
                                            .arg(text);
                QVERIFY2(text.size() == field.width, qPrintable(context));
                // Padding only on the left: the number is right-aligned.
                const QString shown = withoutPadding(text);
                QVERIFY2(text.endsWith(shown), qPrintable(context));
                if (shown == QString(field.width, QLatin1Char('#'))) {
                    // Only a value whose scientific form is wider than the field gets no digits.
                    QVERIFY2(QString::number(std::fabs(value), 'e', 0).size() > field.width - 1,
                             qPrintable(context));
                    continue;
                }
                if (!std::isfinite(value)) {
                    QVERIFY2(shown == QString::number(value).toLower() ||
                                 (std::isnan(value) && shown == "nan"),
                             qPrintable(context));
                    continue;
                }
                bool ok = false;
                const double back = shown.toDouble(&ok);
                QVERIFY2(ok, qPrintable(context));
                const bool scientific = shown.contains(QLatin1Char('e'));
                if (scientific) {
                    // Rounded to the last mantissa digit: half a unit of it, relative.
                    const QString mantissa = shown.left(shown.indexOf(QLatin1Char('e')));
                    const double unit = std::pow(10.0, -decimalsOf(mantissa));
                    QVERIFY2(std::fabs(back - value) <= 0.5 * unit * std::fabs(value) * 1.0001,
                             qPrintable(context));
                    // Scientific notation only where fixed notation has no room or, if asked
                    // for, would show no significant digit.
                    const double whole = std::floor(std::fabs(value)) + 1.0;
                    const bool noRoom = std::floor(std::log10(whole)) + 1 > field.width - 1;
                    const bool tiny = field.tinyAsScientific &&
                                      std::fabs(value) < 0.5 * std::pow(10.0, -field.maxDecimals);
                    QVERIFY2(noRoom || tiny, qPrintable(context));
                } else {
                    const int decimals = decimalsOf(shown);
                    QVERIFY2(decimals <= field.maxDecimals, qPrintable(context));
                    QVERIFY2(std::fabs(back - value) <= 0.5 * std::pow(10.0, -decimals) + 1e-12,
                             qPrintable(context));
                    // As many decimals as fit: the maximum, or the places after the sign slot
                    // are full (or the integer part alone is left, which needs no point).
                    const int digitsLength = int(shown.size()) - (shown.startsWith('-') ? 1 : 0);
                    QVERIFY2(decimals == field.maxDecimals || decimals == 0 ||
                                 digitsLength == field.width - 1,
                             qPrintable(context));
                }
                // A minus sign only on a value that shows a non-zero digit.
                const bool nonZeroShown = shown.contains(QRegularExpression("[1-9]"));
                QCOMPARE(shown.startsWith(QLatin1Char('-')), value < 0.0 && nonZeroShown);
            }
        }
    }

    // The texts of each read-out have one length whatever the values; in a font whose digits
    // and figure space are equally wide (tabular figures), those of one sign also have one width,
    // so nothing moves while the value changes.
    void readOutsKeepTheirLengthAndWidth() {
        QLabel label;
        const QFontMetrics metrics = label.fontMetrics();
        bool tabular = metrics.horizontalAdvance(readout::kFigureSpace) > 0;
        for (char digit = '0'; digit <= '9'; ++digit)
            tabular = tabular && metrics.horizontalAdvance(QLatin1Char(digit)) ==
                                     metrics.horizontalAdvance(readout::kFigureSpace);
        qInfo("label font %s: tabular figures %s", qPrintable(label.font().family()),
              tabular ? "yes" : "no");

        using Format = QString (*)(double);
        const std::vector<std::pair<const char*, Format>> formats = {
            {"speed", [](double v) { return readout::speed(float(v), true, true, 299792.46875f); }},
            {"position", [](double v) { return readout::position(float(v), float(-v), 1.0f); }},
            {"direction", [](double v) { return readout::direction(float(v), 0.0f, float(v)); }},
            {"frames", [](double v) { return readout::framesPerSecond(v); }},
            {"pixel", [](double v) { return readout::pixel(int(v), 3); }},
            {"factor", [](double v) { return readout::factor(v); }}};
        // Values each read-out takes in use, of either sign where it has one.
        const std::vector<std::pair<const char*, std::vector<double>>> ranges = {
            {"speed", {0.0, 0.5, 0.999999, -0.3, -0.999, 1e-6, 0.05}},
            {"position", {0.0, 3.25, -1234.5, 80.0, 0.001, -7.0}},
            {"direction", {0.0, 1.0, -0.70710678, 0.0001, 0.5}},
            {"frames", {0.0, 0.4, 25.0, 999.9, 60.123}},
            {"pixel", {0.0, 7.0, 1279.0, -15.0}},
            {"factor", {1.0, 0.0002, 2236.07, 0.5, 1.0e-9, 3.0e5}}};
        for (size_t i = 0; i < formats.size(); ++i) {
            const auto& [name, format] = formats[i];
            const QString reference = format(ranges[i].second.front());
            for (const double value : ranges[i].second) {
                const QString text = format(value);
                const QString context = QStringLiteral("%1 %2: \"%3\" against \"%4\"")
                                            .arg(name)
                                            .arg(value)
                                            .arg(text, reference);
                QVERIFY2(text.size() == reference.size(), qPrintable(context));
                const bool sameSigns = text.count(QLatin1Char('-')) == 0;
                const bool fixedNotation = !text.contains(QLatin1Char('e'));
                if (tabular && sameSigns && fixedNotation)
                    QVERIFY2(metrics.horizontalAdvance(text) == metrics.horizontalAdvance(reference),
                             qPrintable(context));
            }
        }
    }
};

TAVOLIN_UI_TEST_MAIN(ReadoutFormatTest)
#include "readoutformat_test.moc"
