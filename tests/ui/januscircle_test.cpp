// The Januscircle: its radius against a bisection of the camera's own Doppler formula along the
// picture's centre row, and the ring that a view draws over its picture.
#include "views/januscircle.h"

#include <cmath>

#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"

using namespace viewtest;

namespace {

// The camera's Doppler factor of the ray through image-plane point (x, 0), in double.
double cameraDoppler(double x, double beta, bool aberration) {
    const double gamma = 1.0 / std::sqrt(1.0 - beta * beta);
    const double s = std::sqrt(x * x + 1000000.0);
    if (!aberration) return 1.0 / ((beta * 1000.0 / s + 1.0) * gamma);
    const double f = (1000.0 - beta * s) * gamma;
    const double d = std::sqrt(x * x + f * f);
    return 1.0 / ((beta * f / d + 1.0) * gamma);
}

// Image-plane x > 0 where the factor crosses 1, or -1 if it does not within 10^7 units.
double unitCrossing(double beta, bool aberration) {
    double lo = 0.0, hi = 1.0;
    const bool belowAtCentre = cameraDoppler(0.0, beta, aberration) < 1.0;
    while ((cameraDoppler(hi, beta, aberration) < 1.0) == belowAtCentre) {
        lo = hi;
        hi *= 2.0;
        if (hi > 1e7) return -1.0;
    }
    for (int i = 0; i < 200; ++i) {
        const double mid = 0.5 * (lo + hi);
        if ((cameraDoppler(mid, beta, aberration) < 1.0) == belowAtCentre)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace

class JanuscircleTest : public QObject {
    Q_OBJECT

private slots:
    // {speed, aberration, view width, height}; no ring at rest, without the Doppler effect
    // (speed 2 stands for it here) or in a view without columns.
    void radiusMatchesTheCameraFormula() {
        const struct {
            float beta;
            bool aberration;
            int width, height;
        } cases[] = {
            {0.3f, true, 600, 350},     {0.9f, true, 600, 350},     {0.99f, true, 600, 350},
            {0.999f, true, 300, 500},   {0.9999f, true, 1280, 720}, {-0.95f, false, 640, 480},
            {-0.999f, false, 200, 640}, {0.9f, false, 600, 350},    {-0.9f, true, 600, 350},
            {0.0f, true, 600, 350},     {2.0f, true, 600, 350},     {0.999f, true, 0, 350}};
        for (const auto& c : cases) {
            RenderSettings s;
            s.speed = c.beta > 1.0f ? 0.999f : c.beta;
            s.aberration = c.aberration;
            s.srtDoppler = c.beta <= 1.0f;
            double radius = -1.0;
            const bool visible = Januscircle::radiusInPixels(s, c.width, c.height, radius);
            const double x = unitCrossing(s.speed, c.aberration);
            const QString row =
                QString("%1 %2 %3x%4").arg(c.beta).arg(c.aberration).arg(c.width).arg(c.height);
            double cosine = 0.0;
            const bool crosses =
                Januscircle::unitDopplerCosine(s.speed, c.aberration, true, cosine);
            if (x < 0.0) QVERIFY2(!crosses, qPrintable(row));
            if (c.beta == 0.0f || c.beta > 1.0f || c.width == 0 || x < 0.0) {
                QVERIFY2(!visible, qPrintable(row));
                continue;
            }
            // Column of plane x: the longer side spans 1000 units.
            const double expected = x * std::max(c.width, c.height) / 1000.0;
            QVERIFY2(std::fabs(radius - expected) <= 1e-6 * expected,
                     qPrintable(row + QString(": %1, bisection %2").arg(radius).arg(expected)));
            QCOMPARE(visible, expected <= 0.5 * std::hypot(c.width, c.height));
        }
    }

    // A view with the Januscircle on draws a thin ring of the computed radius around the
    // centre over the unchanged picture; following the document, it draws it when the document
    // flag is set.
    void viewDrawsTheRingOverThePicture() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.setPaused(true);
        main.resize(400, 300);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        doc.getSettings()->speed = 0.999f;
        QVERIFY(waitFrames(main, 3));
        QVERIFY(holdFrames(main));
        GlView* view = main.rootView().view();
        QCOMPARE(view->size(), QSize(400, 300));

        auto grab = [&] { return view->grabFramebuffer().convertToFormat(QImage::Format_RGB32); };
        const QImage plain = grab();
        view->januscircleChecker().setChoice(EffectChoice::Enable);
        const QImage ring = grab();
        double radius = 0.0;
        QVERIFY(Januscircle::radiusInPixels(*doc.getSettings(), 400, 300, radius));
        QVERIFY(radius > 100.0 && radius < 140.0);

        int changed = 0, offRing = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                if (plain.pixel(x, y) == ring.pixel(x, y)) continue;
                ++changed;
                const double d = std::hypot(x + 0.5 - 200.0, y + 0.5 - 150.0);
                if (std::fabs(d - radius) > 2.0) ++offRing;
            }
        QCOMPARE(offRing, 0);
        QVERIFY2(changed > 0.5 * 2.0 * M_PI * radius, qPrintable(QString::number(changed)));

        view->januscircleChecker().setChoice(EffectChoice::UseParent);
        QCOMPARE(grab(), plain);
        doc.getSettings()->januscircle = true;
        QCOMPARE(grab(), ring);
        view->januscircleChecker().setChoice(EffectChoice::Disable);
        QCOMPARE(grab(), plain);
        main.resumeRendering();
    }
};

QTEST_MAIN(JanuscircleTest)
#include "januscircle_test.moc"
