// The dialogs' forms: a field set and a button pressed reach the document at the next frame,
// Cancel hands nothing over, a dialog opened afterwards shows what the document holds; the Help
// buttons, the screenshot dialog against a direct render, and the light-path dialog's table.
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
#include "ui/dlgbhlightpath.h"
#include "ui/dlgeye.h"
#include "ui/dlgfilm.h"
#include "ui/dlgrenderoptions.h"
#include "ui/dlgscreenshot.h"
#include "ui/speedunits.h"

namespace {

// The built-in scene: hole of r_s = 1 at the origin, observer about 3.37 away.
struct Doc {
    DocRT doc;
    Doc() {
        doc.requestBuiltInScene();
        doc.applyPendingChanges();
    }
    const BlackHoleFrame& hole() { return doc.getTree()->blackHole(); }
};

// Fills the screenshot dialog (the view's size when w is 0) and presses OK; with wait, until
// the dialog has closed.
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

using Open = std::function<QDialog*(DocRT*)>;
using Read = std::function<QVariant(DocRT&)>;

QDialog* renderOptions(DocRT* doc) { return new DlgRenderOptions(doc); }
QDialog* eye(DocRT* doc) { return new DlgEye(nullptr, doc); }

// A combo's index, a spin box's value or a button's check state.
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
    void initTestCase() { TraceOutput::setEnabled(false); }

    void init() {
        showSpeedKm = true;
        showSpeedLight = false;
        DlgScreenshot::lastShotSettings = ShotSettings();
    }

    // {dialog, field, value, button, what the document holds after the next frame, whether it
    // waits for that frame}.
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
        const Read speed = [](DocRT&) { return QVariant(int(showSpeedKm) + 2 * showSpeedLight); };
        const Read kind = [](DocRT& d) { return QVariant(int(d.getSettings()->eye.kind)); };
        // Packets of 1, 4 and 16 rays: the document keeps their side.
        QTest::newRow("bundle 16") << options << "cmbMaxBundleSize" << QVariant(2) << apply
                                   << bundle << QVariant(4) << true;
        QTest::newRow("bundle cancelled") << options << "cmbMaxBundleSize" << QVariant(0) << cancel
                                          << bundle << QVariant(2) << false;
        QTest::newRow("exposure") << options << "spinExposure" << QVariant(1.5) << ok << stops
                                  << QVariant(1.5f) << false;
        // Speed flags: 1 km/s, 2 fraction of c, 3 both.
        QTest::newRow("speed as c") << options << "radioSpeedLight" << QVariant(true) << apply
                                    << speed << QVariant(2) << false;
        // "Humans" peaks at 500, 600 and 700 nm, the default eye at 1100, 900, 500.
        QTest::newRow("eye humans") << Open(eye) << "defaultWavelengths" << QVariant(3) << apply
                                    << Read(eyePeaks) << QVariant(QString("500 600 700")) << true;
        QTest::newRow("eye cie") << Open(eye) << "defaultWavelengths" << QVariant(4) << ok << kind
                                 << QVariant(int(EyeKind::Cie1931)) << true;
        QTest::newRow("eye cancelled")
            << Open(eye) << "defaultWavelengths" << QVariant(3) << cancel << Read(eyePeaks)
            << QVariant(QString("1100 900 500")) << false;
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
        dlg->findChild<QDialogButtonBox*>()
            ->button(QDialogButtonBox::StandardButton(button))
            ->click();
        QCOMPARE(dlg->isVisible(), button == QDialogButtonBox::Apply);
        if (nextFrame) QCOMPARE(read(doc), before);
        doc.applyPendingChanges();
        QCOMPARE(read(doc), expected);
        if (field == "defaultWavelengths") return;  // the eye dialog shows curves, not presets
        std::unique_ptr<QDialog> again(open(&doc));
        QCOMPARE(fieldValue(again.get(), field),
                 button == QDialogButtonBox::Cancel ? shownBefore : value);
    }

    void helpButtonsShowTheirPages() {
        DocRT doc;
        const std::pair<std::shared_ptr<QDialog>, QString> dialogs[] = {
            {std::make_shared<DlgRenderOptions>(&doc), "dlgrenderoptions.html"},
            {std::make_shared<DlgEye>(nullptr, &doc), "dlgwavelength.html"},
            {std::make_shared<DlgFilm>(nullptr, &doc, 16, 16), "dlgfilm.html"},
            {std::make_shared<DlgScreenshot>(nullptr, 64, 48, &doc), "dlgscreenshot.html"}};
        for (const auto& [dlg, page] : dialogs) {
            dlg->setWindowModality(Qt::NonModal);
            dlg->show();
            HelpRecorder help;
            dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Help)->click();
            QCOMPARE(help.pages, QStringList({page}));
            QVERIFY(dlg->isVisible());
        }
    }

    // The saved picture equals the engine's own 4x render reduced; the next dialog offers the
    // last picture's settings, a remembered screen choice the view's size of the day.
    void screenshotEqualsTheEnginesPictureAndIsRemembered() {
        Doc d;
        const QString file = dir.filePath("shot.png");
        {
            DlgScreenshot dlg(nullptr, 64, 48, &d.doc);
            shoot(dlg, 96, 72, 1, file);
        }
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
        QVERIFY(saved.pixel(0, 0) != saved.pixel(48, 36));  // not a blank picture

        DlgScreenshot next(nullptr, 333, 222, &d.doc);
        QVERIFY(next.customButton()->isChecked());
        QCOMPARE(QSize(next.widthBox()->value(), next.heightBox()->value()), QSize(96, 72));
        QCOMPARE(next.getAntialiasingLevel(), 4);
        QCOMPARE(next.fileNameEdit()->text(), file);
        shoot(next, 0, 0, 0, file);
        QCOMPARE(QImage(file).size(), QSize(333, 222));
    }

    // Refused before rendering, with the reason; the dialog stays open and nothing is
    // remembered. A scene file's name is not taken for a picture.
    void refusedPlacesAndSizesShowTheirMessages() {
        Doc d;
        const QString plain = dir.filePath("plainfile");  // no folder can exist below it
        QVERIFY(writeFile(plain, {}));
        const QString scene = dir.filePath("keep.tavolin");
        QVERIFY(d.doc.saveFile(scene));
        const QByteArray before = readFile(scene);
        ModalAnswerer answerer;
        DlgScreenshot dlg(nullptr, 64, 48, &d.doc);
        shoot(dlg, 40, 30, 0, plain + "/shot.png", false);
        shoot(dlg, 40, 30, 0, scene, false);
        shoot(dlg, 9999, 9999, 3, dir.filePath("big.png"), false);
        QTRY_COMPARE(answerer.texts.size(), 3);
        QCOMPARE(answerer.texts[0], "Could not save in this location\nCould not write " + plain +
                                        "/shot.png: Not a directory");
        QVERIFY(answerer.texts[1].contains("not a picture"));
        QCOMPARE(answerer.texts[2],
                 "Resolution to big, ran out of memory. Please reduce the resolution.");
        QCOMPARE(answerer.titles, QStringList(3, "Tavolin - Screenshot"));
        QCOMPARE(readFile(scene), before);
        // Cancel in the progress stops the rendering and saves nothing.
        const QString cancelled = dir.filePath("cancelled.png");
        shoot(dlg, 1600, 1200, 3, cancelled, false);
        QVERIFY(dlg.isRendering());
        QTest::mouseClick(dlg.progressDialog()->findChild<QPushButton*>(), Qt::LeftButton);
        QVERIFY(!dlg.isRendering());
        QTest::qWait(200);  // a late signal of the stopped pool changes nothing
        QVERIFY(dlg.isVisible() && !QFile::exists(cancelled));
        QVERIFY(!DlgScreenshot::lastShotSettings.saved);
    }

    // Opening generates the missing table once, holding the frame loop meanwhile; Apply
    // regenerates it with the dialog's parameters, Load shows the table's.
    void lightPathTableIsGeneratedOnceAndParametersApplied() {
        Doc d;
        DlgBHLightPath dlg(nullptr, &d.doc);
        QList<bool> holds;
        dlg.setRenderingHold([&holds](bool h) { holds << h; });
        dlg.show();
        QVERIFY(d.hole().paths.isGenerated());
        QVERIFY(!dlg.ensureTable());  // already there
        QCOMPARE(holds, (QList<bool>{true, false}));

        dlg.findChild<QCheckBox*>("automaticTolerance")->setChecked(false);
        dlg.findChild<QDoubleSpinBox*>("toleranceMrad")->setValue(0.25);
        dlg.findChild<QDoubleSpinBox*>("samplesPerUnit")->setValue(20.0);
        dlg.findChild<QPushButton*>("buttonApply")->click();
        const LightPathParameters& p = d.hole().paths.parameters;
        QVERIFY(!p.automaticTolerance);
        QCOMPARE(p.toleranceMrad, 0.25f);
        QCOMPARE(p.samplesPerUnit, 20.0f);
        QVERIFY(!d.hole().paths.needsRegeneration(d.hole().rObs, d.hole().rs));
        QCOMPARE(holds.size(), 4);
        d.doc.getTree()->blackHole().paths.parameters.maxPathPoints = 77;
        dlg.findChild<QPushButton*>("buttonLoad")->click();
        QCOMPARE(dlg.findChild<QSpinBox*>("maxPathPoints")->value(), 77);
    }
};

TAVOLIN_UI_TEST_MAIN(DialogFormsTest)
#include "dialogforms_test.moc"
