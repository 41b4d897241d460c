// The dialogs' forms as one table: a field set and a button pressed reach the document (or the
// program's flags) at the next frame, Cancel hands nothing over, and a dialog opened afterwards
// shows what the document holds. Beside it: every Help button's page, the background colour,
// automatic exposure and the About box's version; the screenshot dialog (a saved picture equal
// to one the engine renders directly, the last picture's settings offered again, the messages
// for a size that cannot be allocated and a place that cannot be written, the progress and its
// Cancel); the black-hole light-path dialog (its boxes, its table, and the drawn paths against
// closed-form physics: capture below the critical angle, bending towards the hole).
#include <cmath>
#include <functional>
#include <memory>

#include "accel/kdtree.h"
#include "base/traceoutput.h"
#include "engine/docrt.h"
#include "engine/pixelbuffer.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgabout.h"
#include "ui/dlgbhlightpath.h"
#include "ui/dlgeye.h"
#include "ui/dlgfilm.h"
#include "ui/dlgrenderoptions.h"
#include "ui/dlgscreenshot.h"
#include "ui/lightpathview.h"
#include "ui/speedunits.h"

namespace {

// A document with the built-in scene: hole of r_s = 1 at the origin, observer about 3.37 away.
struct Doc {
    DocRT doc;
    Doc() {
        doc.requestBuiltInScene();
        doc.applyPendingChanges();
    }
    const BlackHoleFrame& hole() { return doc.getTree()->blackHole(); }
};

// Fills the screenshot dialog (a custom size, or the view's size when w is 0) and presses OK;
// with wait, until the dialog has closed.
void shoot(DlgScreenshot& dlg, int w, int h, int aaIndex, const QString& file, bool wait = true) {
    dlg.show();
    dlg.customButton()->setChecked(w > 0);
    dlg.screenButton()->setChecked(w == 0);
    if (w > 0) {
        dlg.widthBox()->setValue(w);
        dlg.heightBox()->setValue(h);
    }
    dlg.antialiasingCombo()->setCurrentIndex(aaIndex);
    dlg.fileNameEdit()->setText(file);
    dlg.buttons()->button(QDialogButtonBox::Ok)->click();
    if (wait) QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 60000);
}

// Angle by which the path has turned from its initial direction to its escaping one, summed
// segment by segment (near-critical rays turn by more than half a circle); positive is towards
// the hole. A static observer at r sees the angle a where the coordinate direction is
// (-sqrt(1 - r_s/r) cos a, sin a): its radial lengths are stretched.
double turnTowardsHole(const TracedLightPath& p, double rObs, double rs) {
    double dx = -std::sqrt(1.0 - rs / rObs) * std::cos(p.angle), dy = std::sin(p.angle);
    double turn = 0.0;
    for (std::size_t i = 1; i < p.points.size(); ++i) {
        const double ex = p.points[i].x() - p.points[i - 1].x();
        const double ey = p.points[i].y() - p.points[i - 1].y();
        if (ex == 0.0 && ey == 0.0) continue;
        turn += std::atan2(dx * ey - dy * ex, dx * ex + dy * ey);
        dx = ex;
        dy = ey;
    }
    return turn;
}

using Open = std::function<QDialog*(DocRT*)>;
using Read = std::function<QVariant(DocRT&)>;

QDialog* renderOptions(DocRT* doc) { return new DlgRenderOptions(doc); }
QDialog* eye(DocRT* doc) { return new DlgEye(nullptr, doc); }

// A combo's index, a spin box's value or a button's check state, the way a user sets them.
QVariant fieldValue(QDialog* dlg, const QString& name) {
    QWidget* w = dlg->findChild<QWidget*>(name);
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentIndex();
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(w)) return spin->value();
    if (auto* check = qobject_cast<QAbstractButton*>(w)) return check->isChecked();
    return {};
}

void setField(QDialog* dlg, const QString& name, const QVariant& value) {
    QWidget* w = dlg->findChild<QWidget*>(name);
    if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->setCurrentIndex(value.toInt());
    else if (auto* spin = qobject_cast<QDoubleSpinBox*>(w))
        spin->setValue(value.toDouble());
    else if (auto* check = qobject_cast<QAbstractButton*>(w))
        check->setChecked(value.toBool());
}

QVariant speedFlags(DocRT&) { return int(showSpeedKm) + 2 * int(showSpeedLight); }
QVariant eyeKind(DocRT& doc) { return int(doc.getSettings()->eye.kind); }
QVariant eyePeaks(DocRT& doc) {
    const Eye& e = doc.getSettings()->eye;
    return QString("%1 %2 %3").arg(e.channel[0].peak).arg(e.channel[1].peak).arg(e.channel[2].peak);
}

}  // namespace

Q_DECLARE_METATYPE(Open)
Q_DECLARE_METATYPE(Read)

class DialogFormsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;

private slots:
    void initTestCase() {
        quietOffscreenWarnings();
        TraceOutput::setEnabled(false);
    }

    void init() {
        showSpeedKm = true;
        showSpeedLight = false;
        DlgScreenshot::lastShotSettings = ShotSettings();
    }

    // {dialog, field, value set, button, what the document holds after the next frame, whether
    // it is handed over as a request for that frame}.
    void fieldReachesTheDocument_data() {
        QTest::addColumn<Open>("open");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("button");
        QTest::addColumn<Read>("read");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<bool>("nextFrame");
        const int apply = QDialogButtonBox::Apply, ok = QDialogButtonBox::Ok,
                  cancel = QDialogButtonBox::Cancel;
        const Open options = renderOptions;
        const Read bundle = [](DocRT& d) { return QVariant(int(d.getSettings()->maxBundleSize)); };
        const Read stops = [](DocRT& d) { return QVariant(d.getSettings()->exposureStops); };
        const Read speed = speedFlags, peaks = eyePeaks;
        // The combo offers packets of 1, 4 and 16 rays; the document keeps their side.
        QTest::newRow("bundle 16") << options << "cmbMaxBundleSize" << QVariant(2) << apply
                                   << bundle << QVariant(4) << true;
        QTest::newRow("bundle 1") << options << "cmbMaxBundleSize" << QVariant(0) << ok << bundle
                                  << QVariant(1) << true;
        QTest::newRow("bundle cancelled") << options << "cmbMaxBundleSize" << QVariant(0) << cancel
                                          << bundle << QVariant(2) << false;
        QTest::newRow("exposure") << options << "spinExposure" << QVariant(1.5) << apply << stops
                                  << QVariant(1.5f) << false;
        // Speed flags: 1 km/s, 2 fraction of c, 3 both.
        QTest::newRow("speed as c") << options << "radioSpeedLight" << QVariant(true) << ok << speed
                                    << QVariant(2) << false;
        QTest::newRow("speed both") << options << "radioSpeedBoth" << QVariant(true) << apply
                                    << speed << QVariant(3) << false;
        QTest::newRow("speed cancelled") << options << "radioSpeedBoth" << QVariant(true) << cancel
                                         << speed << QVariant(1) << false;
        // Eye presets: "Humans" peaks at 500, 600 and 700 nm, the default eye at 1100, 900, 500.
        QTest::newRow("eye humans") << Open(eye) << "defaultWavelengths" << QVariant(3) << apply
                                    << peaks << QVariant(QString("500 600 700")) << true;
        QTest::newRow("eye cie") << Open(eye) << "defaultWavelengths" << QVariant(4) << ok
                                 << Read(eyeKind) << QVariant(int(EyeKind::Cie1931)) << true;
        QTest::newRow("eye cancelled") << Open(eye) << "defaultWavelengths" << QVariant(3) << cancel
                                       << peaks << QVariant(QString("1100 900 500")) << false;
    }

    void fieldReachesTheDocument() {
        QFETCH(Open, open);
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        QFETCH(int, button);
        QFETCH(Read, read);
        QFETCH(QVariant, expected);
        QFETCH(bool, nextFrame);
        DocRT doc;
        doc.setMaxBundleSize(2);
        doc.applyPendingChanges();
        const QVariant before = read(doc);
        std::unique_ptr<QDialog> dlg(open(&doc));
        dlg->show();
        const QVariant shownBefore = fieldValue(dlg.get(), field);
        setField(dlg.get(), field, value);
        QCOMPARE(fieldValue(dlg.get(), field), value);
        auto* buttons = dlg->findChild<QDialogButtonBox*>();
        buttons->button(QDialogButtonBox::StandardButton(button))->click();
        QCOMPARE(dlg->isVisible(), button == QDialogButtonBox::Apply);
        if (nextFrame) QCOMPARE(read(doc), before);
        doc.applyPendingChanges();
        QCOMPARE(read(doc), expected);
        // A dialog opened now shows what the document holds (the eye dialog shows the curves,
        // not the preset they came from).
        if (field == "defaultWavelengths") return;
        std::unique_ptr<QDialog> again(open(&doc));
        QCOMPARE(fieldValue(again.get(), field),
                 button == QDialogButtonBox::Cancel ? shownBefore : value);
    }

    void helpButtonsShowTheirPages_data() {
        QTest::addColumn<Open>("open");
        QTest::addColumn<QString>("page");
        QTest::newRow("render options") << Open(renderOptions) << "dlgrenderoptions.html";
        QTest::newRow("eye") << Open(eye) << "dlgwavelength.html";
        QTest::newRow("film") << Open([](DocRT* d) { return new DlgFilm(nullptr, d, 16, 16); })
                              << "dlgfilm.html";
        QTest::newRow("screenshot")
            << Open([](DocRT* d) { return new DlgScreenshot(nullptr, 64, 48, d); })
            << "dlgscreenshot.html";
    }

    void helpButtonsShowTheirPages() {
        QFETCH(Open, open);
        QFETCH(QString, page);
        DocRT doc;
        std::unique_ptr<QDialog> dlg(open(&doc));
        dlg->setWindowModality(Qt::NonModal);
        dlg->show();
        HelpRecorder help;
        dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Help)->click();
        QCOMPARE(help.pages, QStringList({page}));
        QVERIFY(dlg->isVisible());
    }

    // A colour chosen in the colour dialog shows on the button and reaches the document only
    // through Apply; a cancelled colour dialog changes nothing. Opened, the dialog shows the
    // background the next frame will use.
    void backgroundColourThroughTheColourDialog() {
        DocRT doc;
        const uint8_t pending[4] = {200, 100, 50, 255};
        doc.setBackground(pending);
        DlgRenderOptions dlg(&doc);
        QCOMPARE(dlg.chosenBackground(), QColor(200, 100, 50));
        doc.applyPendingChanges();
        const uint8_t* b = doc.getSettings()->background;
        auto* colour = dlg.findChild<QPushButton*>("buttonBackgroundColor");
        // {colour chosen (invalid: the colour dialog cancelled), button, background after}.
        const std::tuple<QColor, int, QColor> steps[] = {
            {QColor(), QDialogButtonBox::Apply, QColor(200, 100, 50)},
            {QColor(10, 200, 30), QDialogButtonBox::Cancel, QColor(200, 100, 50)},
            {QColor(10, 200, 30), QDialogButtonBox::Apply, QColor(10, 200, 30)}};
        for (const auto& [chosen, button, after] : steps) {
            dlg.show();
            {
                ModalAnswerer answerer(chosen);
                colour->click();
                QCOMPARE(answerer.colorDialogs, 1);
            }
            if (chosen.isValid()) QVERIFY(colour->styleSheet().contains("rgb(10,200,30)"));
            dlg.buttons()->button(QDialogButtonBox::StandardButton(button))->click();
            doc.applyPendingChanges();
            QCOMPARE(QColor(b[0], b[1], b[2], b[3]), after);
        }
    }

    // "Automatic" disables the stops box and starts from its value; a running controller is not
    // set back by Apply, the box shows the exposure reached, and unchecking it keeps that value.
    void automaticExposureKeepsTheReachedValue() {
        DocRT doc;
        RenderSettings& s = *doc.getSettings();
        s.exposureStops = 2.0f;
        DlgRenderOptions dlg(&doc);
        dlg.show();
        dlg.autoExposureBox()->setChecked(true);
        QVERIFY(!dlg.exposureSpin()->isEnabled());
        QPushButton* apply = dlg.buttons()->button(QDialogButtonBox::Apply);
        apply->click();
        QVERIFY(s.autoExposure);
        QCOMPARE(s.exposureStops, 2.0f);
        s.exposureStops = -2.75f;  // where the frame loop has taken it meanwhile
        apply->click();
        QCOMPARE(s.exposureStops, -2.75f);
        dlg.hide();
        dlg.show();
        QCOMPARE(dlg.exposureSpin()->value(), -2.75);
        dlg.autoExposureBox()->setChecked(false);
        dlg.buttons()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(!s.autoExposure);
        QCOMPARE(s.exposureStops, -2.75f);
    }

    // The version shown is the one the top-level CMakeLists.txt declares for the project.
    void aboutShowsTheProjectVersion() {
        const QRegularExpressionMatch m =
            QRegularExpression(R"(project\s*\(\s*Tavolin\s+VERSION\s+([0-9.]+))")
                .match(QString::fromUtf8(readFile(TAVOLIN_SOURCE_DIR "/CMakeLists.txt")));
        QVERIFY(m.hasMatch());
        const QString shown = DlgAbout().findChild<QLabel*>("label")->text();
        QVERIFY2(shown.contains("Tavolin " + m.captured(1)), qPrintable(shown));
    }
    void screenshotEqualsTheEnginesPicture() {
        Doc d;
        d.doc.applyPendingChanges();
        const QString file = dir.filePath("shot.png");
        DlgScreenshot dlg(nullptr, 64, 48, &d.doc);
        shoot(dlg, 96, 72, 1, file);  // 4x
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const QImage saved = QImage(file).convertToFormat(QImage::Format_RGB32);
        PixelBuffer buffer;
        QVERIFY(buffer.setSize(96, 72, 4));
        TimeRT engine;
        engine.raytracePic(d.doc.getSettings(), d.doc.getSceneData(), d.doc.getTree(), &buffer);
        {
            ThreadBase pool;
            pool.addTasks(&engine);
            pool.startRendering(true);
        }
        QVERIFY(buffer.downsample(4));
        QCOMPARE(saved, buffer.toImage().convertToFormat(QImage::Format_RGB32));
        QSet<QRgb> colours;  // not a blank picture
        for (int y = 0; y < 72; ++y)
            for (int x = 0; x < 96; ++x) colours.insert(saved.pixel(x, y));
        QVERIFY(colours.size() > 10);
    }

    // The next screenshot dialog offers the last saved picture's settings; a remembered screen
    // choice shows the view's size of the day.
    void settingsOfTheLastShotAreOfferedAgain() {
        Doc d;
        const QString file = dir.filePath("remembered.bmp");
        {
            DlgScreenshot dlg(nullptr, 64, 48, &d.doc);
            shoot(dlg, 160, 120, 3, file);  // 16x
        }
        QCOMPARE(QImage(file).size(), QSize(160, 120));
        DlgScreenshot next(nullptr, 333, 222, &d.doc);
        QVERIFY(next.customButton()->isChecked() && next.widthBox()->isEnabled());
        QCOMPARE(next.widthBox()->value(), 160);
        QCOMPARE(next.heightBox()->value(), 120);
        QCOMPARE(next.getAntialiasingLevel(), 16);
        QCOMPARE(next.fileNameEdit()->text(), file);
        shoot(next, 0, 0, 0, file);
        QCOMPARE(QImage(file).size(), QSize(333, 222));
        DlgScreenshot third(nullptr, 50, 40, &d.doc);
        QVERIFY(third.screenButton()->isChecked() && !third.widthBox()->isEnabled());
        QCOMPARE(third.widthBox()->value(), 50);
        QCOMPARE(third.getAntialiasingLevel(), 1);
    }

    // Refused before rendering, with the reason; the dialog stays open for a corrected try and
    // nothing is remembered. A scene file's name is not taken for a picture: the scene stays.
    void refusedPlacesAndSizesShowTheirMessages() {
        Doc d;
        const QString plain = dir.filePath("plainfile");  // no folder can exist below it
        QVERIFY(writeFile(plain, {}));
        ModalAnswerer answerer;
        DlgScreenshot dlg(nullptr, 64, 48, &d.doc);
        shoot(dlg, 40, 30, 0, plain + "/shot.png", false);
        QTRY_COMPARE(answerer.texts.size(), 1);
        QCOMPARE(answerer.texts.back(), "Could not save in this location\nCould not write " +
                                            plain + "/shot.png: Not a directory");
        const QString scene = dir.filePath("keep.tavolin");
        QVERIFY(d.doc.saveFile(scene));
        const QByteArray before = readFile(scene);
        shoot(dlg, 40, 30, 0, scene, false);
        QTRY_COMPARE(answerer.texts.size(), 2);
        QVERIFY(answerer.texts.back().contains("not a picture"));
        QCOMPARE(readFile(scene), before);
        shoot(dlg, 9999, 9999, 3, dir.filePath("big.png"), false);
        QTRY_COMPARE(answerer.texts.size(), 3);
        QCOMPARE(answerer.texts.back(),
                 "Resolution to big, ran out of memory. Please reduce the resolution.");
        QCOMPARE(answerer.titles, QStringList(3, "Tavolin - Screenshot"));
        QVERIFY(dlg.isVisible() && !dlg.isRendering());
        QVERIFY(!DlgScreenshot::lastShotSettings.saved);
        shoot(dlg, 40, 30, 0, dir.filePath("after.png"));
        QCOMPARE(QImage(dir.filePath("after.png")).size(), QSize(40, 30));
    }

    // The bar rises while the picture renders; Cancel stops the rendering and saves nothing, and
    // a late signal of the stopped pool changes nothing.
    void screenshotProgressRisesAndCancelSavesNothing() {
        Doc d;
        const QString file = dir.filePath("progress.png");
        DlgScreenshot dlg(nullptr, 64, 48, &d.doc);
        shoot(dlg, 400, 300, 1, file, false);
        QPointer<QProgressDialog> progress = dlg.progressDialog();
        QVERIFY(progress);
        QCOMPARE(progress->maximum(), 100);
        // Watch the bar itself: on a fast machine the whole rendering (and the reduction that
        // resets the bar) can be over between two looks at the dialog.
        int highest = 0;
        bool reducing = false;
        connect(progress->findChild<QProgressBar*>(), &QProgressBar::valueChanged, this,
                [&](int value) {
                    if (progress && progress->labelText().startsWith("Reducing")) reducing = true;
                    if (!reducing) highest = std::max(highest, value);
                });
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.isVisible(), 60000);
        QVERIFY(highest > 0);
        QVERIFY(QFile::exists(file));

        DlgScreenshot::lastShotSettings = ShotSettings();
        const QString cancelled = dir.filePath("cancelled.png");
        DlgScreenshot big(nullptr, 64, 48, &d.doc);
        shoot(big, 1600, 1200, 3, cancelled, false);
        QVERIFY(big.isRendering());
        QTest::mouseClick(big.progressDialog()->findChild<QPushButton*>(), Qt::LeftButton);
        QVERIFY(!big.isRendering());
        QTest::qWait(200);
        QVERIFY(big.isVisible());
        QVERIFY(!QFile::exists(cancelled));
        QVERIFY(!DlgScreenshot::lastShotSettings.saved);
    }

    // Each box of the light-path dialog lands in its own setting (distinct values, so a crossed
    // wire shows); the angle follows the view's only when asked.
    void lightPathBoxesReachTheirOwnFields() {
        Doc d;
        DlgBHLightPath dlg(nullptr, &d.doc);
        const LightPathDisplaySettings& v = dlg.view()->settings;
        const std::pair<const char*, double> boxes[] = {
            {"samplesPerUnit", 12.5}, {"fateSigmaLimit", 31}, {"escapeRadius", 11},
            {"horizonMargin", 0.01},  {"toleranceMrad", 0.2}, {"extraEscapeSamples", 9},
            {"maxSplitDepth", 30},    {"maxPathPoints", 70},  {"raySpacing", 2.5}};
        for (const auto& [name, value] : boxes) {
            if (auto* dbl = dlg.findChild<QDoubleSpinBox*>(name))
                dbl->setValue(value);
            else
                dlg.findChild<QSpinBox*>(name)->setValue(int(value));
        }
        const double read[] = {
            v.samplesPerUnit,        v.fateSigmaLimit,        v.escapeRadius,
            v.horizonMargin,         v.toleranceMrad,         double(v.extraEscapeSamples),
            double(v.maxSplitDepth), double(v.maxPathPoints), v.raySpacingDeg};
        for (int i = 0; i < 9; ++i)
            QVERIFY2(std::fabs(read[i] - boxes[i].second) < 1e-6 * boxes[i].second, boxes[i].first);
        dlg.findChild<QCheckBox*>("checkQuarterPoints")->setChecked(true);
        QVERIFY(v.toParameters().checkQuarterPoints);
        QCOMPARE(v.toParameters().maxPathPoints, 70);
        dlg.zoomBox()->setValue(3.0);
        QCOMPARE(dlg.view()->zoom, 3.0f);
        // The viewer draws as many paths as the generation entry says.
        for (int i = 0; i < dlg.generationCombo()->count(); ++i) {
            dlg.generationCombo()->setCurrentIndex(i);
            QCOMPARE(int(dlg.view()->currentPaths().size()),
                     dlg.generationCombo()->itemText(i).toInt());
        }
        dlg.angleBox()->setValue(20.0);
        dlg.setAngle(55.0f);
        QCOMPARE(dlg.view()->angle, 20.0f);
        dlg.followBox()->setChecked(true);
        dlg.setAngle(55.0f);
        QCOMPARE(dlg.angleBox()->value(), 55.0);
        QCOMPARE(dlg.view()->angle, 55.0f);
    }

    // Opening generates the missing table once, holding the frame loop meanwhile; Apply
    // regenerates it with the dialog's parameters, Load shows the table's parameters.
    void lightPathTableIsGeneratedOnceAndParametersApplied() {
        Doc d;
        QVERIFY(!d.hole().paths.isGenerated());
        DlgBHLightPath dlg(nullptr, &d.doc);
        QList<bool> holds;
        dlg.setRenderingHold([&holds](bool h) { holds << h; });
        dlg.show();
        QVERIFY(d.hole().paths.isGenerated());
        QCOMPARE(holds, (QList<bool>{true, false}));
        const Vec4f pos = d.doc.position();
        const RenderSettings& s = *d.doc.getSettings();
        QCOMPARE(d.hole().rs, s.bhradius);
        QVERIFY(std::fabs(d.hole().rObs - std::sqrt(dot3(pos - s.bhpos, pos - s.bhpos))) < 1e-5f);
        QVERIFY(!dlg.ensureTable());  // already there
        QCOMPARE(holds.size(), 2);

        const std::size_t nodesBefore = d.hole().paths.nodeCount();
        dlg.findChild<QDoubleSpinBox*>("samplesPerUnit")->setValue(20.0);
        dlg.findChild<QPushButton*>("buttonApply")->click();
        QCOMPARE(d.hole().paths.parameters.samplesPerUnit, 20.0f);
        QVERIFY(!d.hole().paths.needsRegeneration(d.hole().rObs, d.hole().rs));
        QVERIFY(d.hole().paths.nodeCount() != nodesBefore);
        QCOMPARE(holds.size(), 4);
        d.doc.getTree()->blackHole().paths.parameters.maxPathPoints = 77;
        dlg.findChild<QPushButton*>("buttonLoad")->click();
        QCOMPARE(dlg.findChild<QSpinBox*>("maxPathPoints")->value(), 77);

        // The views choose the tolerance until the user fixes one.
        auto* automatic = dlg.findChild<QCheckBox*>("automaticTolerance");
        auto* tolerance = dlg.findChild<QDoubleSpinBox*>("toleranceMrad");
        QVERIFY(automatic->isChecked());
        QVERIFY(!tolerance->isEnabled());
        automatic->setChecked(false);
        QVERIFY(tolerance->isEnabled());
        tolerance->setValue(0.25);
        dlg.findChild<QPushButton*>("buttonApply")->click();
        QVERIFY(!d.hole().paths.parameters.automaticTolerance);
        QCOMPARE(d.hole().paths.parameters.toleranceMrad, 0.25f);
    }

    // Static observer at r: rays closer to the hole direction than the critical angle
    // (sin a = 3 sqrt(3)/2 r_s sqrt(1 - r_s/r) / r) fall in, the others escape bent towards it,
    // the less the farther they pass.
    void lightPathsFallInBelowTheCaptureAngleAndBendAroundTheHole() {
        Doc d;
        DlgBHLightPath dlg(nullptr, &d.doc);
        dlg.ensureTable();
        const double rObs = d.hole().rObs, rs = d.hole().rs;
        const double capture = LightPathView::captureAngle(rObs, rs);
        QVERIFY(std::fabs(std::sin(capture) -
                          1.5 * std::sqrt(3.0) * std::sqrt(1 - rs / rObs) * rs / rObs) < 1e-12);
        double lastTurn = 1e9;
        for (double a = 0.0; a <= M_PI; a += 0.01) {
            if (std::fabs(a - capture) < 0.005) continue;  // the table's tolerance at the seam
            const TracedLightPath p =
                LightPathView::tracePath(d.hole().paths, float(rObs), float(a));
            const QString at = QString::number(a * 180.0 / M_PI);
            QCOMPARE(p.points.front(), QPointF(rObs, 0.0));
            QVERIFY(p.points.size() >= 2);
            if (a < capture) {
                QVERIFY2(p.absorbed, qPrintable(at));
                const QPointF end = p.points.back();
                QVERIFY(std::hypot(end.x(), end.y()) < 1.5 * rs);  // inside the photon sphere
                continue;
            }
            QVERIFY2(p.escaped, qPrintable(at));
            // Rays leaving almost radially turn by less than the table's tolerance.
            const double turn = turnTowardsHole(p, rObs, rs);
            QVERIFY2(turn > (a < 2.9 ? 0.0 : -1e-3), qPrintable(at));
            if (a > capture + 0.05 && a < M_PI - 0.1) {
                QVERIFY2(turn < lastTurn + 2e-3, qPrintable(at));
                lastTurn = turn;
            }
            // Every point stays outside the photon sphere, except near the seam.
            for (const QPointF& q : p.points)
                QVERIFY(std::hypot(q.x(), q.y()) > (a > capture + 0.05 ? 1.5 * rs : rs));
        }
        // A fan is centred on the angle, spaced as asked.
        const std::vector<float> fan = LightPathView::fanAngles(40.0f, 2.0f, 4);
        QCOMPARE(int(fan.size()), 4);
        QVERIFY(std::fabs(fan[0] * 180.0 / M_PI - 37.0) < 1e-4);
        QVERIFY(std::fabs(fan[3] * 180.0 / M_PI - 43.0) < 1e-4);
    }
};

TAVOLIN_UI_TEST_MAIN(DialogFormsTest)
#include "dialogforms_test.moc"
