// The render options dialog beyond its form table: the background colour through the colour
// dialog, the searchlight exponent signal, and automatic exposure.
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

    void opensWithPendingRequests() {
        doc->setMaxBundleSize(1);
        const uint8_t rgba[4] = {200, 100, 50, 255};
        doc->setBackground(rgba);
        DlgRenderOptions dlg(doc.get());
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
};

TAVOLIN_UI_TEST_MAIN(DlgRenderOptionsTest)
#include "dlgrenderoptions_test.moc"
