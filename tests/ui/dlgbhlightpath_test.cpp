// The black-hole light-path dialog: the boxes reaching the viewer's settings, following the view's
// angle, generating and regenerating the renderer's table, and the drawn paths against
// closed-form physics (capture below the critical angle, bending towards the hole).
#include "ui/dlgbhlightpath.h"

#include <cmath>

#include "engine/docrt.h"
#include "accel/kdtree.h"
#include "base/traceoutput.h"
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

}  // namespace

class TestDlgBHLightPath : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { TraceOutput::setEnabled(false); }

    // Each box lands in its own setting (distinct values, so a crossed wire shows); the angle
    // follows the view's only when asked.
    void boxesReachTheirOwnFields() {
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
        for (int i = 0; i < 9; ++i) {
            const auto& [name, value] = boxes[i];
            QVERIFY2(std::fabs(read[i] - value) < 1e-6 * value, name);
        }
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
    void generatesTheTableOnceAndAppliesParameters() {
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

TAVOLIN_UI_TEST_MAIN(TestDlgBHLightPath)
#include "dlgbhlightpath_test.moc"
