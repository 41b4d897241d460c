// The render options dialog: what it shows at first, what Apply, OK and Cancel hand to the
// document and to the speed-unit flags, and the states it treats as programming errors.
#include "ui/dlgrenderoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <memory>

#include "engine/docrt.h"
#include "geometry/programmingerror.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/speedunits.h"

namespace {

QString thrownText(const std::function<void()>& f) {
    try {
        f();
    } catch (const ProgrammingError& e) {
        return QString::fromStdString(e.what());
    }
    return QString();
}

}  // namespace

class DlgRenderOptionsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<DocRT> doc;
    QPushButton* button(DlgRenderOptions& d, QDialogButtonBox::StandardButton b) {
        return d.buttons()->button(b);
    }
    std::array<uint8_t, 4> settingsBackground() const {
        const uint8_t* b = doc->getSettings()->background;
        return {b[0], b[1], b[2], b[3]};
    }

private slots:
    void initTestCase() { quietOffscreenWarnings(); }

    void init() {
        doc = std::make_unique<DocRT>();
        showSpeedKm = true;
        showSpeedLight = false;
    }

    void cleanup() {
        doc.reset();
        showSpeedKm = true;
        showSpeedLight = false;
    }

    void firstOpeningShowsTheDefaults() {
        QCOMPARE(showSpeedKm, true);
        QCOMPARE(showSpeedLight, false);
        DlgRenderOptions dlg(doc.get());
        QCOMPARE(dlg.parent(), nullptr);
        QCOMPARE(dlg.windowTitle(), QString("Tavolin  - Render Options"));
        QCOMPARE(dlg.findChild<QTabWidget*>("tabWidget")->currentIndex(), 0);
        QCOMPARE(dlg.findChild<QTabWidget*>("tabWidget")->tabText(0), QString("Main Options"));
        QCOMPARE(dlg.findChild<QTabWidget*>("tabWidget")->tabText(1), QString("Advanced Options"));
        QVERIFY(dlg.speedKmButton()->isChecked());
        QVERIFY(!dlg.speedLightButton()->isChecked());
        QVERIFY(!dlg.speedBothButton()->isChecked());
        QCOMPARE(dlg.bundleCombo()->currentText(), QString("4"));
        QCOMPARE(dlg.bundleCombo()->count(), 3);
        // Settings background 20, 20, 20.
        QCOMPARE(dlg.colorButton()->styleSheet(),
                 QString("background-color : rgb(20,20,20);color : white"));
        QCOMPARE(dlg.colorButton()->text(), QString("Change Background Color ..."));
        dlg.show();
        saveShotIfAsked(&dlg, "renderoptions-main");
        dlg.findChild<QTabWidget*>("tabWidget")->setCurrentIndex(1);
        saveShotIfAsked(&dlg, "renderoptions-advanced");
    }

    void bundleChoiceReachesTheEngineAtTheNextFrame() {
        DlgRenderOptions dlg(doc.get());
        dlg.show();
        dlg.bundleCombo()->setCurrentIndex(2);  // "16"
        QTest::mouseClick(button(dlg, QDialogButtonBox::Apply), Qt::LeftButton);
        QVERIFY(dlg.isVisible());
        QCOMPARE(doc->maxBundleSize(), 4);
        QCOMPARE(doc->getSettings()->maxBundleSize, 2);
        doc->applyPendingChanges();
        QCOMPARE(doc->getSettings()->maxBundleSize, 4);

        dlg.bundleCombo()->setCurrentIndex(0);  // "1"
        QTest::mouseClick(button(dlg, QDialogButtonBox::Apply), Qt::LeftButton);
        doc->applyPendingChanges();
        QCOMPARE(doc->getSettings()->maxBundleSize, 1);
    }

    void opensWithPendingRequests() {
        doc->setMaxBundleSize(1);
        const uint8_t rgba[4] = {200, 100, 50, 255};
        doc->setBackground(rgba);
        DlgRenderOptions dlg(doc.get());
        QCOMPARE(dlg.bundleCombo()->currentText(), QString("1"));
        QCOMPARE(dlg.chosenBackground(), QColor(200, 100, 50, 255));
        QCOMPARE(dlg.colorButton()->styleSheet(),
                 QString("background-color : rgb(200,100,50);color : white"));
    }

    void colourThenCancelKeepsTheBackgroundUntilApply() {
        DlgRenderOptions dlg(doc.get());
        dlg.show();
        {
            ModalAnswerer answerer(QColor(10, 200, 30));
            QTest::mouseClick(dlg.colorButton(), Qt::LeftButton);
            QCOMPARE(answerer.colorDialogs, 1);
        }
        QCOMPARE(dlg.colorButton()->styleSheet(),
                 QString("background-color : rgb(10,200,30);color : white"));
        QTest::mouseClick(button(dlg, QDialogButtonBox::Cancel), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        doc->applyPendingChanges();
        QCOMPARE(settingsBackground(), (std::array<uint8_t, 4>{20, 20, 20, 255}));

        dlg.show();
        QTest::mouseClick(button(dlg, QDialogButtonBox::Apply), Qt::LeftButton);
        doc->applyPendingChanges();
        QCOMPARE(settingsBackground(), (std::array<uint8_t, 4>{10, 200, 30, 255}));
    }

    void cancelledColourDialogChangesNothing() {
        DlgRenderOptions dlg(doc.get());
        dlg.show();
        ModalAnswerer answerer;  // rejects
        QTest::mouseClick(dlg.colorButton(), Qt::LeftButton);
        QCOMPARE(answerer.colorDialogs, 1);
        QCOMPARE(dlg.chosenBackground(), QColor(20, 20, 20, 255));
    }

    void speedUnitsFollowTheRadioButtons() {
        DlgRenderOptions dlg(doc.get());
        QSignalSpy accepted(&dlg, &DlgRenderOptions::signalAccepted);
        dlg.show();
        dlg.speedLightButton()->setChecked(true);
        QTest::mouseClick(button(dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(accepted.count(), 1);
        QCOMPARE(showSpeedLight, true);
        QCOMPARE(showSpeedKm, false);

        dlg.show();
        dlg.speedBothButton()->setChecked(true);
        QTest::mouseClick(button(dlg, QDialogButtonBox::Apply), Qt::LeftButton);
        QCOMPARE(showSpeedLight, true);
        QCOMPARE(showSpeedKm, true);

        dlg.speedKmButton()->setChecked(true);
        QTest::mouseClick(button(dlg, QDialogButtonBox::Cancel), Qt::LeftButton);
        QCOMPARE(showSpeedLight, true);  // Cancel hands nothing over
        QCOMPARE(showSpeedKm, true);

        // A new dialog shows the flags as they are.
        DlgRenderOptions again(doc.get());
        QVERIFY(again.speedBothButton()->isChecked());
        showSpeedKm = false;
        DlgRenderOptions light(doc.get());
        QVERIFY(light.speedLightButton()->isChecked());
    }

    void programmingErrors() {
        showSpeedKm = false;
        showSpeedLight = false;
        QCOMPARE(thrownText([&] { DlgRenderOptions dlg(doc.get()); }),
                 QString("The mode for the setting of the speed of light may be false"));
        showSpeedKm = true;

        doc->setMaxBundleSize(3);
        QCOMPARE(thrownText([&] { DlgRenderOptions dlg(doc.get()); }),
                 QString("DlgRenderOptions::setMaxBundle Size: invalid Bundle size"));
        doc->setMaxBundleSize(2);

        DlgRenderOptions dlg(doc.get());
        dlg.bundleCombo()->setCurrentIndex(-1);
        QCOMPARE(thrownText([&] { dlg.onAccept(); }),
                 QString("DlgRenderOptions::getMaxBundle Size invalid Bundle size"));
        QCOMPARE(doc->maxBundleSize(), 2);  // nothing handed over
    }

    // The Light tab: the searchlight exponent goes out through the signal, exposure and
    // automatic exposure into the document's settings; a new dialog shows what was handed over.
    void lightChoicesRoundTrip() {
        DlgRenderOptions dlg(doc.get());
        QSignalSpy chosen(&dlg, &DlgRenderOptions::searchlightExponentChosen);
        auto* tabs = dlg.findChild<QTabWidget*>("tabWidget");
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->tabText(2), QString("Light"));
        QCOMPARE(dlg.searchlightCombo()->count(), 2);
        QCOMPARE(dlg.searchlightCombo()->currentText(), QString("energy per line (k = 4)"));
        QCOMPARE(dlg.searchlightExponent(), 4);
        QCOMPARE(dlg.exposureSpin()->value(), 0.0);
        QCOMPARE(dlg.exposureSpin()->minimum(), -16.0);
        QCOMPARE(dlg.exposureSpin()->maximum(), 16.0);
        QCOMPARE(dlg.exposureSpin()->singleStep(), 0.5);
        QVERIFY(!dlg.autoExposureBox()->isChecked());
        QVERIFY(dlg.exposureSpin()->isEnabled());
        dlg.show();
        tabs->setCurrentIndex(2);
        saveShotIfAsked(&dlg, "renderoptions-light");

        dlg.searchlightCombo()->setCurrentIndex(1);
        QCOMPARE(dlg.searchlightExponent(), 3);
        dlg.exposureSpin()->setValue(1.5);
        QTest::mouseClick(button(dlg, QDialogButtonBox::Apply), Qt::LeftButton);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.takeFirst().at(0).toInt(), 3);
        const RenderSettings& s = *doc->getSettings();
        QCOMPARE(s.exposureStops, 1.5f);
        QVERIFY(!s.autoExposure);
        QCOMPARE(s.searchlight, int8_t(0));  // the dialog only chooses k; the switch is elsewhere

        // Cancel hands nothing over.
        dlg.exposureSpin()->setValue(-3.0);
        dlg.searchlightCombo()->setCurrentIndex(0);
        QTest::mouseClick(button(dlg, QDialogButtonBox::Cancel), Qt::LeftButton);
        QCOMPARE(chosen.count(), 0);
        QCOMPARE(s.exposureStops, 1.5f);

        DlgRenderOptions again(doc.get());
        QCOMPARE(again.exposureSpin()->value(), 1.5);
        QCOMPARE(again.searchlightExponent(), 4);  // off in the document: the default k
        doc->getSettings()->searchlight = 3;
        DlgRenderOptions photons(doc.get());
        QCOMPARE(photons.searchlightCombo()->currentText(), QString("photon counting (k = 3)"));
        photons.setSearchlightExponent(4);
        QCOMPARE(photons.searchlightCombo()->currentIndex(), 0);
        QCOMPARE(thrownText([&] { photons.setSearchlightExponent(2); }),
                 QString("DlgRenderOptions::setSearchlightExponent: the exponent must be 3 or 4"));
    }

    // "Automatic" disables the stops box and starts from its value; while it runs the box shows
    // the exposure reached whenever the dialog is shown, and unchecking it keeps that value.
    void automaticExposureKeepsTheReachedValue() {
        doc->getSettings()->exposureStops = 2.0f;
        DlgRenderOptions dlg(doc.get());
        dlg.show();
        dlg.autoExposureBox()->setChecked(true);
        QVERIFY(!dlg.exposureSpin()->isEnabled());
        QTest::mouseClick(button(dlg, QDialogButtonBox::Apply), Qt::LeftButton);
        RenderSettings& s = *doc->getSettings();
        QVERIFY(s.autoExposure);
        QCOMPARE(s.exposureStops, 2.0f);

        s.exposureStops = -2.75f;  // where the frame loop has taken it meanwhile
        QTest::mouseClick(button(dlg, QDialogButtonBox::Apply), Qt::LeftButton);
        QCOMPARE(s.exposureStops, -2.75f);  // a running controller is not set back
        dlg.hide();
        dlg.show();
        QCOMPARE(dlg.exposureSpin()->value(), -2.75);
        dlg.autoExposureBox()->setChecked(false);
        QVERIFY(dlg.exposureSpin()->isEnabled());
        QTest::mouseClick(button(dlg, QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(!s.autoExposure);
        QCOMPARE(s.exposureStops, -2.75f);

        // A dialog opened while automatic exposure runs shows it so.
        s.autoExposure = true;
        DlgRenderOptions running(doc.get());
        QVERIFY(running.autoExposureBox()->isChecked());
        QVERIFY(!running.exposureSpin()->isEnabled());
    }

    void helpShowsTheRenderOptionsPage() {
        HelpRecorder help;
        DlgRenderOptions dlg(doc.get());
        dlg.show();
        QTest::mouseClick(button(dlg, QDialogButtonBox::Help), Qt::LeftButton);
        QCOMPARE(help.pages, QStringList({"dlgrenderoptions.html"}));
        QVERIFY(dlg.isVisible());
    }
};

TAVOLIN_UI_TEST_MAIN(DlgRenderOptionsTest)
#include "dlgrenderoptions_test.moc"
