// The dialogs' forms as one table: a field set and a button pressed reach the document (or the
// program's flags) at the next frame, Cancel hands nothing over, a dialog opened later shows what
// the document holds, and every Help button asks for its own page. Beside the table: the render
// options' background colour and automatic exposure, and the About box's version.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <functional>
#include <memory>

#include "engine/docrt.h"
#include "geometry/programmingerror.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgabout.h"
#include "ui/dlgeye.h"
#include "ui/dlgfilm.h"
#include "ui/dlgrenderoptions.h"
#include "ui/dlgscreenshot.h"
#include "ui/speedunits.h"

namespace {

using Open = std::function<QDialog*(DocRT*)>;
using Read = std::function<QVariant(DocRT&)>;
using Set = std::function<void(DocRT&)>;

QDialog* renderOptions(DocRT* doc) { return new DlgRenderOptions(doc); }
QDialog* eye(DocRT* doc) { return new DlgEye(nullptr, doc); }

// Sets the named control the way a user would: a combo's index, a box's value, a button checked.
void setField(QDialog* dlg, const QString& name, const QVariant& value) {
    QWidget* w = dlg->findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->setCurrentIndex(value.toInt());
    else if (auto* spin = qobject_cast<QDoubleSpinBox*>(w))
        spin->setValue(value.toDouble());
    else if (auto* check = qobject_cast<QAbstractButton*>(w))
        check->setChecked(value.toBool());
    else
        QFAIL(qPrintable(name + " is no form field"));
}

QVariant fieldValue(QDialog* dlg, const QString& name) {
    QWidget* w = dlg->findChild<QWidget*>(name);
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->currentIndex();
    if (auto* spin = qobject_cast<QDoubleSpinBox*>(w)) return spin->value();
    if (auto* check = qobject_cast<QAbstractButton*>(w)) return check->isChecked();
    return {};
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
Q_DECLARE_METATYPE(Set)

class DialogFormsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { quietOffscreenWarnings(); }

    void init() {
        showSpeedKm = true;
        showSpeedLight = false;
    }

    // {dialog, field, value set, button, what the document holds after the next frame, whether
    // it waits for that frame}.
    void fieldReachesTheDocument_data() {
        QTest::addColumn<Open>("open");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<int>("button");
        QTest::addColumn<Read>("read");
        QTest::addColumn<QVariant>("expected");
        QTest::addColumn<bool>("nextFrame");  // handed over as a request for the next frame
        const int apply = QDialogButtonBox::Apply, ok = QDialogButtonBox::Ok,
                  cancel = QDialogButtonBox::Cancel;
        const Read bundle = [](DocRT& d) { return QVariant(int(d.getSettings()->maxBundleSize)); };
        const Read stops = [](DocRT& d) { return QVariant(d.getSettings()->exposureStops); };
        const Read automatic = [](DocRT& d) { return QVariant(d.getSettings()->autoExposure); };
        // The combo offers packets of 1, 4 and 16 rays; the document keeps their side.
        QTest::newRow("bundle 16") << Open(renderOptions) << "cmbMaxBundleSize" << QVariant(2)
                                   << apply << bundle << QVariant(4) << true;
        QTest::newRow("bundle 1") << Open(renderOptions) << "cmbMaxBundleSize" << QVariant(0) << ok
                                  << bundle << QVariant(1) << true;
        QTest::newRow("bundle cancelled")
            << Open(renderOptions) << "cmbMaxBundleSize" << QVariant(0) << cancel << bundle
            << QVariant(2) << false;
        QTest::newRow("exposure") << Open(renderOptions) << "spinExposure" << QVariant(1.5) << apply
                                  << stops << QVariant(1.5f) << false;
        QTest::newRow("exposure cancelled")
            << Open(renderOptions) << "spinExposure" << QVariant(-3.0) << cancel << stops
            << QVariant(0.0f) << false;
        QTest::newRow("automatic exposure")
            << Open(renderOptions) << "checkAutoExposure" << QVariant(true) << ok << automatic
            << QVariant(true) << false;
        // Speed flags: 1 km/s, 2 fraction of c, 3 both.
        QTest::newRow("speed as c") << Open(renderOptions) << "radioSpeedLight" << QVariant(true)
                                    << ok << Read(speedFlags) << QVariant(2) << false;
        QTest::newRow("speed both") << Open(renderOptions) << "radioSpeedBoth" << QVariant(true)
                                    << apply << Read(speedFlags) << QVariant(3) << false;
        QTest::newRow("speed cancelled")
            << Open(renderOptions) << "radioSpeedBoth" << QVariant(true) << cancel
            << Read(speedFlags) << QVariant(1) << false;
        // Eye presets: "Humans" peaks at 500, 600 and 700 nm, the default eye at 1100, 900, 500.
        QTest::newRow("eye humans") << Open(eye) << "defaultWavelengths" << QVariant(3) << apply
                                    << Read(eyePeaks) << QVariant(QString("500 600 700")) << true;
        QTest::newRow("eye cie") << Open(eye) << "defaultWavelengths" << QVariant(4) << ok
                                 << Read(eyeKind) << QVariant(int(EyeKind::Cie1931)) << true;
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
        setField(dlg.get(), field, value);
        dlg->findChild<QDialogButtonBox*>()
            ->button(QDialogButtonBox::StandardButton(button))
            ->click();
        QCOMPARE(dlg->isVisible(), button == QDialogButtonBox::Apply);
        if (nextFrame) QCOMPARE(read(doc), before);
        doc.applyPendingChanges();
        QCOMPARE(read(doc), expected);
    }

    // The reverse: {what the document holds, field, what a dialog opened then shows}.
    void dialogShowsTheDocument_data() {
        QTest::addColumn<Set>("set");
        QTest::addColumn<Open>("open");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("bundle 1") << Set([](DocRT& d) { d.setMaxBundleSize(1); })
                                  << Open(renderOptions) << "cmbMaxBundleSize" << QVariant(0);
        QTest::newRow("bundle 4") << Set([](DocRT& d) { d.setMaxBundleSize(4); })
                                  << Open(renderOptions) << "cmbMaxBundleSize" << QVariant(2);
        QTest::newRow("exposure") << Set([](DocRT& d) { d.getSettings()->exposureStops = 1.5f; })
                                  << Open(renderOptions) << "spinExposure" << QVariant(1.5);
        QTest::newRow("automatic") << Set([](DocRT& d) { d.getSettings()->autoExposure = true; })
                                   << Open(renderOptions) << "checkAutoExposure" << QVariant(true);
        QTest::newRow("photon counting") << Set([](DocRT& d) { d.getSettings()->searchlight = 3; })
                                         << Open(renderOptions) << "cmbSearchlight" << QVariant(1);
        QTest::newRow("searchlight off: energy")
            << Set([](DocRT& d) { d.getSettings()->searchlight = 0; }) << Open(renderOptions)
            << "cmbSearchlight" << QVariant(0);
        QTest::newRow("speed both") << Set([](DocRT&) { showSpeedLight = true; })
                                    << Open(renderOptions) << "radioSpeedBoth" << QVariant(true);
        QTest::newRow("speed as c")
            << Set([](DocRT&) { showSpeedKm = false, showSpeedLight = true; })
            << Open(renderOptions) << "radioSpeedLight" << QVariant(true);
        QTest::newRow("speed km/s")
            << Set([](DocRT&) {}) << Open(renderOptions) << "radioSpeedKm" << QVariant(true);
    }

    void dialogShowsTheDocument() {
        QFETCH(Set, set);
        QFETCH(Open, open);
        QFETCH(QString, field);
        QFETCH(QVariant, expected);
        DocRT doc;
        set(doc);
        std::unique_ptr<QDialog> dlg(open(&doc));
        QCOMPARE(fieldValue(dlg.get(), field), expected);
    }

    // A packet size or speed mode the dialog cannot show is a caller's mistake, found at once.
    void impossibleStatesAreProgrammingErrors() {
        DocRT doc;
        doc.setMaxBundleSize(3);
        QVERIFY_THROWS_EXCEPTION(ProgrammingError, DlgRenderOptions{&doc});
        doc.setMaxBundleSize(2);
        showSpeedKm = false;
        QVERIFY_THROWS_EXCEPTION(ProgrammingError, DlgRenderOptions{&doc});
        showSpeedKm = true;
        DlgRenderOptions dlg(&doc);
        QVERIFY_THROWS_EXCEPTION(ProgrammingError, dlg.setSearchlightExponent(2));
        dlg.bundleCombo()->setCurrentIndex(-1);
        QVERIFY_THROWS_EXCEPTION(ProgrammingError, dlg.onAccept());
        QCOMPARE(doc.maxBundleSize(), 2);  // nothing handed over
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
        dlg.show();
        auto background = [&] {
            const uint8_t* b = doc.getSettings()->background;
            return QColor(b[0], b[1], b[2], b[3]);
        };
        {
            ModalAnswerer rejects;
            dlg.colorButton()->click();
            QCOMPARE(rejects.colorDialogs, 1);
        }
        QCOMPARE(dlg.chosenBackground(), QColor(200, 100, 50));
        {
            ModalAnswerer answerer(QColor(10, 200, 30));
            dlg.colorButton()->click();
        }
        QVERIFY(dlg.colorButton()->styleSheet().contains("rgb(10,200,30)"));
        dlg.buttons()->button(QDialogButtonBox::Cancel)->click();
        doc.applyPendingChanges();
        QCOMPARE(background(), QColor(200, 100, 50));
        dlg.show();
        dlg.buttons()->button(QDialogButtonBox::Apply)->click();
        doc.applyPendingChanges();
        QCOMPARE(background(), QColor(10, 200, 30));
    }

    // "Automatic" disables the stops box and starts from its value; while it runs, the box shows
    // the exposure reached whenever the dialog is shown, and unchecking it keeps that value.
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
        QCOMPARE(s.exposureStops, -2.75f);  // a running controller is not set back
        dlg.hide();
        dlg.show();
        QCOMPARE(dlg.exposureSpin()->value(), -2.75);
        dlg.autoExposureBox()->setChecked(false);
        QVERIFY(dlg.exposureSpin()->isEnabled());
        dlg.buttons()->button(QDialogButtonBox::Ok)->click();
        QVERIFY(!s.autoExposure);
        QCOMPARE(s.exposureStops, -2.75f);
    }

    // The version shown is the one the top-level CMakeLists.txt declares for the project.
    void aboutShowsTheProjectVersion() {
        QFile cmake(TAVOLIN_SOURCE_DIR "/CMakeLists.txt");
        QVERIFY(cmake.open(QIODevice::ReadOnly));
        const QRegularExpressionMatch m =
            QRegularExpression(R"(project\s*\(\s*Tavolin\s+VERSION\s+([0-9.]+))")
                .match(QString::fromUtf8(cmake.readAll()));
        QVERIFY(m.hasMatch());
        QCOMPARE(DlgAbout::version(), m.captured(1));
        QVERIFY(
            DlgAbout().findChild<QLabel*>("label")->text().contains("Tavolin " + m.captured(1)));
    }
};

TAVOLIN_UI_TEST_MAIN(DialogFormsTest)
#include "dialogforms_test.moc"
