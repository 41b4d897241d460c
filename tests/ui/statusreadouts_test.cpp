// The status bar: every value of a read-out fills exactly its field and reads back as the value
// rounded to the precision it shows; the read-outs' texts; every read-out on never widens the
// window, each keeps its field while its value changes; the frame status shows a long frame's
// progress and the pause.
#include <cmath>
#include <limits>
#include <map>

#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/framestatus.h"
#include "ui/mainwindow.h"
#include "ui/readoutformat.h"
#include "ui/readoutlabel.h"
#include "ui/speedunits.h"

using namespace viewtest;

namespace {

const char* const kReadOutActions[] = {"actionSpeed",
                                       "actionPosition",
                                       "actionDirection",
                                       "actionFrames",
                                       "actionObserverTime",
                                       "actionCursorPosition",
                                       "actionCursorDopplerEffect",
                                       "actionCursorRestingRayDirection",
                                       "actionCursorTransformedRayDirection",
                                       "actionCursorBrightness"};

constexpr double kInf = std::numeric_limits<double>::infinity();

// Decimals shown in a fixed-notation text ("-12.340" -> 3).
int decimalsOf(const QString& digits) {
    const int point = digits.indexOf(QLatin1Char('.'));
    return point < 0 ? 0 : int(digits.size()) - point - 1;
}

std::map<QString, QRect> readOutGeometries(MainWindow& w) {
    std::map<QString, QRect> boxes;
    for (ReadoutLabel* label : w.statusBar()->findChildren<ReadoutLabel*>())
        if (label->isVisible()) boxes[label->objectName()] = label->geometry();
    return boxes;
}

}  // namespace

class StatusReadoutsTest : public QObject {
    Q_OBJECT

private slots:
    // From zero through the float extremes, in the read-outs' fields and in narrow ones where
    // scientific notation barely fits or not: right-aligned, as many decimals as fit, scientific
    // only where fixed notation has no room (or shows no digit, if asked), and a minus sign only
    // on a value that shows a non-zero digit.
    void everyValueFillsItsFieldAndReadsBack() {
        const double values[] = {
            0.0,    -0.0,      1.0,       -1.0,     0.5,    -0.25,  0.12345,     9.99996, -99.9996,
            999.96, 12345.678, -299792.4, 1.0e6,    -1.0e7, 3.4e38, -3.4e38,     1.0e-3,  -4.0e-4,
            9.0e-5, 1.0e-7,    1.4e-45,   -1.0e-30, kInf,   -kInf,  std::nan("")};
        const ReadoutField fields[] = {{9, 6, false}, {9, 1, false}, {9, 3, false}, {7, 4, false},
                                       {6, 1, false}, {6, 0, false}, {9, 5, true},  {12, 8, true},
                                       {5, 2, true},  {4, 2, false}};
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
                if (shown == QString(field.width, '#')) {  // only where even "1e+38" is too wide
                    QVERIFY2(QString::number(magnitude, 'e', 0).size() > room, context);
                    continue;
                }
                if (!std::isfinite(value)) {
                    const char* name = std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
                    QVERIFY2(shown == name, context);
                    continue;
                }
                bool ok = false;
                const double back = shown.toDouble(&ok);
                const int ePos = shown.indexOf('e');
                const int decimals = decimalsOf(ePos < 0 ? shown : shown.left(ePos));
                if (ePos >= 0) {
                    const bool noRoom = std::floor(std::log10(magnitude)) + 1 > room;
                    const bool tiny = field.tinyAsScientific &&
                                      magnitude < 0.5 * std::pow(10.0, -field.maxDecimals);
                    QVERIFY2(ok && (noRoom || tiny), context);
                    QVERIFY2(
                        std::fabs(back - value) <= 0.50001 * std::pow(10.0, -decimals) * magnitude,
                        context);
                } else {
                    const int digits = int(shown.size()) - (shown.startsWith('-') ? 1 : 0);
                    QVERIFY2(ok && decimals <= field.maxDecimals, context);
                    QVERIFY2(decimals == field.maxDecimals || decimals == 0 || digits == room,
                             context);
                    QVERIFY2(std::fabs(back - value) <= 0.5 * std::pow(10.0, -decimals) + 1e-12,
                             context);
                }
                const bool nonZero = shown.contains(QRegularExpression("[1-9]"));
                QVERIFY2(shown.startsWith('-') == (value < 0.0 && nonZero), context);
            }
        }
    }

    // Each read-out has one length whatever its values, and in a font whose digits and figure
    // space are equally wide, one width: nothing moves while the value changes. Float noise
    // around zero reads as zero in coordinates and speeds; a tiny factor shows.
    void readOutsKeepTheirLengthAndWidth() {
        const QFontMetrics metrics = QLabel().fontMetrics();
        bool tabular = true;
        for (char digit = '0'; digit <= '9'; ++digit)
            tabular = tabular && metrics.horizontalAdvance(QLatin1Char(digit)) ==
                                     metrics.horizontalAdvance(readout::kFigureSpace);
        using Format = QString (*)(double);
        const std::vector<std::pair<Format, std::vector<double>>> readOuts = {
            {[](double v) { return readout::speed(float(v), true, true, 299792.46875f); },
             {0.0, 0.5, 0.999999, 1e-6, -0.3, -0.999, 1e-9}},
            {[](double v) { return readout::position(float(v), float(v), 1.0f); },
             {0.0, 3.25, 80.0, 0.001, -1234.5, -7.0}},
            {[](double v) { return readout::direction(float(v), 0.0f, float(v)); },
             {0.0, 1.0, 0.0001, 0.5, -0.70710678}},
            {[](double v) { return readout::framesPerSecond(v); }, {0.0, 0.4, 25.0, 999.9}},
            {[](double v) { return readout::pixel(int(v), 3); }, {0.0, 7.0, 1279.0, -15.0}},
            {[](double v) { return readout::factor(v); }, {1.0, 0.0002, 2236.07, 1e-9, 3e5}}};
        for (const auto& [format, values] : readOuts) {
            const QString positive = format(values.front());
            for (const double value : values) {
                const QString text = format(value);
                const QByteArray context = (text + " against " + positive).toUtf8();
                QVERIFY2(text.size() == positive.size(), context);
                if (tabular && value >= 0.0 && !text.contains('e'))
                    QVERIFY2(metrics.horizontalAdvance(text) == metrics.horizontalAdvance(positive),
                             context);
            }
        }
        QCOMPARE(readout::direction(1e-7f, -1e-7f, 0.0f), readout::direction(0.0f, 0.0f, 0.0f));
        QCOMPARE(readout::position(-1e-6f, 0.0f, 0.0f), readout::position(0.0f, 0.0f, 0.0f));
        QCOMPARE(readout::speed(1e-9f, true, true, 1.0f), readout::speed(0.0f, true, true, 1.0f));
        QVERIFY(readout::factor(1e-9).contains('1'));
        // The observer's time by hand: figure spaces before the digits, two decimals, a sign slot.
        const QString f(QChar(0x2007));
        const std::pair<double, QString> times[] = {{0.0, "t = " + f.repeated(5) + "0.00 s"},
                                                    {12.25, "t = " + f.repeated(4) + "12.25 s"},
                                                    {-3.5, "t = " + f.repeated(4) + "-3.50 s"},
                                                    {-99999.99, "t = -99999.99 s"},
                                                    {-123456.78, "t = -123456.8 s"},
                                                    {1234567.891, "t = " + f + f + "1234568 s"}};
        for (const auto& [t, text] : times) QCOMPARE(readout::observerTime(t), text);
    }

    void everyReadOutFitsAFixedField() {
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QSize opened = w.size();
        showSpeedKm = true;
        showSpeedLight = true;
        w.findChild<QAction*>("actionSearchlight")->setChecked(true);
        for (const char* name : kReadOutActions) w.findChild<QAction*>(name)->setChecked(true);
        QVERIFY(waitFrames(*w.mainView(), 2));
        w.mainView()->suspendRendering();
        QVERIFY(holdFrames(*w.mainView()));
        GlView* view = w.mainView()->rootView().view();

        // The texts: 0.5 x 299792.46875 = 149896.234375 km/s, the position's numbers, the cursor's
        // pixel; the figure space holds the place of a sign or a digit.
        RenderSettings& s = *w.document()->getSettings();
        s.speed = 0.5f;
        w.document()->observerFrame().m[0][1] = 1.25f;
        s.frameToSettings(w.document()->observerFrame());
        hover(view, QPoint(17, 9));
        QTRY_COMPARE(w.mainView()->cursorX(), 17);
        w.updateStatusBar();
        auto text = [&](const char* name) { return w.findChild<QLabel*>(name)->text(); };
        QCOMPARE(text("labelSpeed"), QString("Speed: \u20070.500000c, \u2007149896.2km/s"));
        QVERIFY2(text("labelPosition").contains("1.25"), qPrintable(text("labelPosition")));
        const QString gap = "\u2007\u2007\u2007";
        QCOMPARE(text("labelCursorPos"), "<" + gap + "17," + gap + "\u20079>");
        showSpeedKm = false;
        w.updateStatusBar();
        QCOMPARE(text("labelSpeed"), QString("Speed: \u20070.500000c"));
        showSpeedKm = true;
        w.mainView()->resumeRendering();
        QCoreApplication::processEvents();
        QCOMPARE(readOutGeometries(w).size(), size_t(10));
        QCOMPARE(w.size(), opened);
        QVERIFY(w.minimumSizeHint().width() <= opened.width());
        saveShotIfAsked(&w, "status-all-readouts");

        // Values of every length leave the fields where they are, at either window size.
        for (const QSize size : {opened, QSize(1280, 720)}) {
            w.resize(size);
            QTRY_COMPARE(w.size(), size);
            w.mainView()->suspendRendering();
            QVERIFY(holdFrames(*w.mainView()));
            s.speed = 0.1f;
            w.updateStatusBar();
            QCoreApplication::processEvents();
            const std::map<QString, QRect> before = readOutGeometries(w);
            s.speed = -0.987654f;
            w.document()->observerFrame().m[0][1] = -123.456f;
            s.frameToSettings(w.document()->observerFrame());
            hover(view, QPoint(321, 7));
            w.updateStatusBar();
            QCoreApplication::processEvents();
            QCOMPARE(readOutGeometries(w), before);
            QCOMPARE(w.size(), size);
            w.mainView()->resumeRendering();
        }
        // Short of room, every field gives up the same share of its width.
        auto* speed = w.findChild<ReadoutLabel*>("labelSpeed");
        auto* frames = w.findChild<ReadoutLabel*>("labelFrames");
        const double speedShare = double(speed->width()) / speed->fieldWidth();
        QVERIFY(speedShare < 1.0);
        QVERIFY(std::abs(double(frames->width()) / frames->fieldWidth() - speedShare) < 0.05);
        // With room, the fields get their full width; a read-out hides with its action.
        for (const char* name : kReadOutActions)
            if (QByteArray(name) != "actionSpeed" && QByteArray(name) != "actionFrames")
                w.findChild<QAction*>(name)->setChecked(false);
        QTRY_COMPARE(readOutGeometries(w).size(), size_t(2));
        QTRY_COMPARE(speed->width(), speed->fieldWidth());
        QCOMPARE(frames->width(), frames->fieldWidth());
        showSpeedLight = false;
    }

    void frameStatusShowsProgressAndPause() {
        QStatusBar bar;
        bar.resize(600, 30);
        FrameStatus status(&bar);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QVERIFY(!status.progressBar()->isVisible());
        QVERIFY(!status.pausedLabel()->isVisible());
        const int width = status.progressBar()->width();
        for (const int percent : {0, 37, 100}) {
            status.setFrameProgress(percent);
            QVERIFY(status.progressBar()->isVisible());
            QCOMPARE(status.progressBar()->value(), percent);
        }
        QCOMPARE(status.progressBar()->width(), width);
        status.setPaused(true);
        status.setFrameProgress(-1);
        QVERIFY(!status.progressBar()->isVisible());
        QVERIFY(status.pausedLabel()->isVisible());
        QVERIFY(status.pausedLabel()->text().contains("Paused"));
        status.setPaused(false);
        QVERIFY(!status.pausedLabel()->isVisible());
    }
};

QTEST_MAIN(StatusReadoutsTest)
#include "statusreadouts_test.moc"
