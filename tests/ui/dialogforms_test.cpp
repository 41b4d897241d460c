// The dialogs' forms as one table: a field set and a button pressed reach the document (or the
// program's flags) at the next frame, Cancel hands nothing over, and a dialog opened afterwards
// shows what the document holds. Beside it: every Help button's page, the background colour,
// automatic exposure and the About box's version.
#include <functional>
#include <memory>

#include "engine/docrt.h"
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

private slots:
    void initTestCase() { quietOffscreenWarnings(); }

    void init() {
        showSpeedKm = true;
        showSpeedLight = false;
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
        const Read automatic = [](DocRT& d) { return QVariant(d.getSettings()->autoExposure); };
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
        QTest::newRow("exposure cancelled") << options << "spinExposure" << QVariant(-3.0) << cancel
                                            << stops << QVariant(0.0f) << false;
        QTest::newRow("automatic exposure") << options << "checkAutoExposure" << QVariant(true)
                                            << ok << automatic << QVariant(true) << false;
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
};

TAVOLIN_UI_TEST_MAIN(DialogFormsTest)
#include "dialogforms_test.moc"
