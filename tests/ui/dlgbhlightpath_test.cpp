// The black-hole light-path dialog: the boxes reaching the viewer's settings, following the view's
// angle, generating and regenerating the renderer's table, and the drawn paths against
// closed-form physics (capture below the critical angle, bending towards the hole).
#include "ui/dlgbhlightpath.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>
#include <cmath>
#include <functional>

#include "engine/docrt.h"
#include "geometry/kdtree.h"
#include "geometry/traceoutput.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/lightpathview.h"

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

double deg(double rad) { return rad * 180.0 / M_PI; }

// Angle by which the path has turned from its initial direction to its escaping one, summed
// segment by segment (near-critical rays turn by more than half a circle). Positive is towards
// the hole: the ray starts towards +y and passes the hole at the origin on that side, so the hole
// turns it counter-clockwise. A static observer at r sees the angle a where the coordinate
// direction is (-sqrt(1 - r_s/r) cos a, sin a): its radial lengths are stretched.
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

}  // namespace

class TestDlgBHLightPath : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TraceOutput::setEnabled(false); }

    // Each box lands in its own setting (distinct values, so a crossed wire shows).
    void settingsReachTheirOwnFields() {
        Doc d;
        DlgBHLightPath dlg(nullptr, &d.doc);
        QVERIFY(dlg.isReady());
        const LightPathDisplaySettings& v = dlg.view()->settings;
        struct Box {
            const char* name;
            double value;
            std::function<double()> read;
        };
        const Box boxes[] = {{"samplesPerUnit", 12.5, [&] { return v.samplesPerUnit; }},
                             {"fateSigmaLimit", 31, [&] { return v.fateSigmaLimit; }},
                             {"escapeRadius", 11, [&] { return v.escapeRadius; }},
                             {"horizonMargin", 0.01, [&] { return v.horizonMargin; }},
                             {"toleranceMrad", 0.2, [&] { return v.toleranceMrad; }},
                             {"extraEscapeSamples", 9, [&] { return v.extraEscapeSamples; }},
                             {"maxSplitDepth", 30, [&] { return v.maxSplitDepth; }},
                             {"maxPathPoints", 70, [&] { return v.maxPathPoints; }},
                             {"raySpacing", 2.5, [&] { return v.raySpacingDeg; }}};
        for (const Box& box : boxes) {
            if (auto* dbl = dlg.findChild<QDoubleSpinBox*>(box.name))
                dbl->setValue(box.value);
            else
                dlg.findChild<QSpinBox*>(box.name)->setValue(int(box.value));
        }
        for (const Box& box : boxes)
            QVERIFY2(std::fabs(box.read() - box.value) < 1e-6 * box.value, box.name);
        dlg.findChild<QCheckBox*>("checkQuarterPoints")->setChecked(true);
        QVERIFY(v.toParameters().checkQuarterPoints);
        QCOMPARE(v.toParameters().maxPathPoints, v.maxPathPoints);
        dlg.zoomBox()->setValue(3.0);
        QCOMPARE(dlg.view()->zoom, 3.0f);
        // The viewer draws as many paths as the generation entry says.
        for (int i = 0; i < dlg.generationCombo()->count(); ++i) {
            dlg.generationCombo()->setCurrentIndex(i);
            QCOMPARE(int(dlg.view()->currentPaths().size()),
                     dlg.generationCombo()->itemText(i).toInt());
        }
    }

    void followsTheViewsAngleOnlyWhenAsked() {
        Doc d;
        DlgBHLightPath dlg(nullptr, &d.doc);
        dlg.angleBox()->setValue(20.0);
        dlg.setAngle(55.0f);
        QCOMPARE(dlg.view()->angle, 20.0f);
        dlg.followBox()->setChecked(true);
        dlg.setAngle(55.0f);
        QCOMPARE(dlg.angleBox()->value(), 55.0);
        QCOMPARE(dlg.view()->angle, 55.0f);
    }

    void generatesTheTableOnceAndAppliesParameters() {
        Doc d;
        QVERIFY(!d.hole().paths.isGenerated());
        DlgBHLightPath dlg(nullptr, &d.doc);
        QList<bool> holds;
        dlg.setRenderingHold([&holds](bool h) { holds << h; });
        dlg.show();  // opening generates the missing table
        QVERIFY(d.hole().paths.isGenerated());
        QCOMPARE(holds, (QList<bool>{true, false}));
        const Vec4f pos = d.doc.position();
        const RenderSettings& s = *d.doc.getSettings();
        QCOMPARE(d.hole().rs, s.bhradius);
        QVERIFY(std::fabs(d.hole().rObs - std::sqrt(dot3(pos - s.bhpos, pos - s.bhpos))) < 1e-5f);
        QVERIFY(!dlg.ensureTable());  // already there
        QCOMPARE(holds.size(), 2);

        // Apply: the renderer's table is regenerated with the dialog's parameters.
        const std::size_t nodesBefore = d.hole().paths.nodeCount();
        dlg.findChild<QDoubleSpinBox*>("samplesPerUnit")->setValue(20.0);
        dlg.findChild<QPushButton*>("buttonApply")->click();
        QCOMPARE(d.hole().paths.parameters.samplesPerUnit, 20.0f);
        QVERIFY(!d.hole().paths.needsRegeneration(d.hole().rObs, d.hole().rs));
        QVERIFY(d.hole().paths.nodeCount() != nodesBefore);  // twice the samples per path
        QCOMPARE(holds.size(), 4);

        // Load: the boxes show the table's parameters.
        d.doc.getTree()->blackHole().paths.parameters.maxPathPoints = 77;
        dlg.findChild<QPushButton*>("buttonLoad")->click();
        QCOMPARE(dlg.findChild<QSpinBox*>("maxPathPoints")->value(), 77);
        QCOMPARE(dlg.view()->settings.maxPathPoints, 77);
    }

    // Static observer at r: rays closer to the hole direction than the critical angle
    // (sin a = 3 sqrt(3)/2 r_s sqrt(1 - r_s/r) / r) fall in, the others escape bent towards it,
    // the less the farther they pass.
    void pathsFallInBelowTheCaptureAngleAndBendAroundTheHole() {
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
            QCOMPARE(p.points.front(), QPointF(rObs, 0.0));
            QVERIFY(p.points.size() >= 2);
            if (a < capture) {
                QVERIFY2(p.absorbed, qPrintable(QString::number(deg(a))));
                const QPointF end = p.points.back();
                QVERIFY(std::hypot(end.x(), end.y()) < 1.5 * rs);  // inside the photon sphere
            } else {
                QVERIFY2(p.escaped, qPrintable(QString::number(deg(a))));
                const double turn = turnTowardsHole(p, rObs, rs);
                // Rays leaving almost radially turn by less than the table's tolerance.
                QVERIFY2(
                    turn > (a < 2.9 ? 0.0 : -1e-3),
                    qPrintable(QString::number(deg(a)) + " turn " + QString::number(deg(turn))));
                if (a > capture + 0.05 && a < M_PI - 0.1) {
                    QVERIFY2(turn < lastTurn + 2e-3, qPrintable(QString::number(deg(a))));
                    lastTurn = turn;
                }
                // Every point stays outside the photon sphere... except near the seam.
                for (const QPointF& q : p.points)
                    QVERIFY(std::hypot(q.x(), q.y()) > (a > capture + 0.05 ? 1.5 * rs : rs));
            }
        }
        // A fan is centred on the angle, spaced as asked.
        const std::vector<float> fan = LightPathView::fanAngles(40.0f, 2.0f, 4);
        QCOMPARE(int(fan.size()), 4);
        QVERIFY(std::fabs(deg(fan[0]) - 37.0) < 1e-4 && std::fabs(deg(fan[3]) - 43.0) < 1e-4);
    }
};

TAVOLIN_UI_TEST_MAIN(TestDlgBHLightPath)
#include "dlgbhlightpath_test.moc"
