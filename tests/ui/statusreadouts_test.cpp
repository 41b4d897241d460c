// The status bar's numbers: every value of a read-out fills exactly its field and reads back as
// the value rounded to the precision it shows.
#include <cmath>
#include <limits>

#include "tests/ui/uitesthelpers.h"
#include "ui/readoutformat.h"

using namespace viewtest;

class StatusReadoutsTest : public QObject {
    Q_OBJECT

private slots:
    // Right-aligned, as many decimals as fit, scientific only where fixed notation has no room
    // (or shows no digit, if asked), "#" where even that does not fit, and a minus sign only on
    // a value that shows a non-zero digit.
    void everyValueFillsItsFieldAndReadsBack() {
        const double inf = std::numeric_limits<double>::infinity();
        const double values[] = {0.0,       -0.0,   1.0,    -0.25,       9.99996, -99.9996,
                                 12345.678, -1.0e7, 3.4e38, 1.0e-3,      -4.0e-4, 1.0e-7,
                                 1.4e-45,   inf,    -inf,   std::nan("")};
        const ReadoutField fields[] = {{9, 6, false}, {9, 1, false}, {6, 0, false},
                                       {12, 8, true}, {5, 2, true},  {4, 2, false}};
        for (const ReadoutField& field : fields) {
            const int room = field.width - 1;  // after the sign slot
            for (const double value : values) {
                const QString text = readout::number(value, field);
                const QByteArray context = QString("%1 in %2.%3: \"%4\"")
                                               .arg(value)
                                               .arg(field.width)
                                               .arg(field.maxDecimals)
                                               .arg(text)
                                               .toUtf8();
                const QString shown = QString(text).remove(readout::kFigureSpace);
                QVERIFY2(text.size() == field.width && text.endsWith(shown), context);
                const double magnitude = std::fabs(value);
                if (shown == QString(field.width, '#')) {
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
                const int ePos = shown.indexOf('e');
                const QString mantissa = ePos < 0 ? shown : shown.left(ePos);
                const int point = mantissa.indexOf('.');
                const int decimals = point < 0 ? 0 : int(mantissa.size()) - point - 1;
                QVERIFY2(ok, context);
                if (ePos >= 0) {
                    const bool noRoom = std::floor(std::log10(magnitude)) + 1 > room;
                    const bool tiny = field.tinyAsScientific &&
                                      magnitude < 0.5 * std::pow(10.0, -field.maxDecimals);
                    QVERIFY2(noRoom || tiny, context);
                    QVERIFY2(
                        std::fabs(back - value) <= 0.50001 * std::pow(10.0, -decimals) * magnitude,
                        context);
                } else {
                    const int digits = int(shown.size()) - (shown.startsWith('-') ? 1 : 0);
                    QVERIFY2(decimals == field.maxDecimals || decimals == 0 || digits == room,
                             context);
                    QVERIFY2(std::fabs(back - value) <= 0.5 * std::pow(10.0, -decimals) + 1e-12,
                             context);
                }
                const bool nonZero = shown.contains(QRegularExpression("[1-9]"));
                QVERIFY2(shown.startsWith('-') == (value < 0.0 && nonZero), context);
            }
        }
        // The observer's time by hand: figure spaces before the digits, two decimals, a sign slot.
        const QString f(QChar(0x2007));
        QCOMPARE(readout::observerTime(-3.5), "t = " + f.repeated(4) + "-3.50 s");
        QCOMPARE(readout::observerTime(1234567.891), "t = " + f + f + "1234568 s");
    }
};

QTEST_MAIN(StatusReadoutsTest)
#include "statusreadouts_test.moc"
