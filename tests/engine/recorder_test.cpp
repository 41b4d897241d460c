// Fly-path recorder: film times, interpolation, cutting and replacement of the recording.
#include "engine/recorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

// A point whose 16 frame values are base + row * 4 + column, so that every element differs.
FlyPathPoint makePoint(double time, float speed, float base) {
    FlyPathPoint p;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) p.frame.m[r][c] = base + static_cast<float>(r * 4 + c);
    p.time = time;
    p.speed = speed;
    return p;
}

// The state must be the blend (1 - w) a + w b of two points made by makePoint.
void expectBlend(const FlyPathPoint& s, const FlyPathPoint& a, const FlyPathPoint& b, double w) {
    for (int e = 0; e < 16; ++e)
        EXPECT_NEAR(s.frame.m[e / 4][e % 4],
                    (1 - w) * a.frame.m[e / 4][e % 4] + w * b.frame.m[e / 4][e % 4], 1e-5);
    EXPECT_NEAR(s.speed, (1 - w) * a.speed + w * b.speed, 1e-6);
}

// Points at film times 0, 1, 2, 3 with speeds 0, 0.1, 0.2, 0.3 and bases 0, 10, 20, 30.
void recordFour(Recorder& rec) {
    rec.clear();
    rec.record(0, 0.0);
    for (int i = 0; i < 4; ++i) rec.addPoint(makePoint(i, 0.1f * i, 10.0f * i));
}

std::vector<double> times(const Recorder& rec) {
    std::vector<double> t;
    for (int i = 0; i < rec.pointCount(); ++i) t.push_back(rec.point(i).time);
    return t;
}

}  // namespace

// Between two points the state is their blend, weighted by film time against a double-precision
// oracle; outside the recording it is the nearest end; of equal times the later point counts.
TEST(Recorder, StateIsTheBlendOfTheNeighbouringPoints) {
    Recorder rec;
    recordFour(rec);
    const struct {
        double t;
        int a, b;
        double w;
    } cases[] = {{0, 0, 1, 0},      {1, 1, 2, 0},       {3, 2, 3, 1},     {1.5, 1, 2, 0.5},
                 {2.25, 2, 3, 0.25}, {-3, 0, 1, 0},     {3.0001, 2, 3, 1}, {1e9, 2, 3, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t);
        expectBlend(rec.stateAt(c.t, true), rec.point(c.a), rec.point(c.b), c.w);
    }
    // Clock readings are mapped through the start time: film 0 at clock 20 s.
    rec.play(20000, 0.0);
    expectBlend(rec.stateAt(22.5, false), rec.point(2), rec.point(3), 0.5);
    expectBlend(rec.stateAt(19.0, false), rec.point(0), rec.point(1), 0.0);
    // isWithin is strictly before the end; before film 0 still counts (the first point holds).
    EXPECT_TRUE(rec.isWithin(0));
    EXPECT_TRUE(rec.isWithin(22999));
    EXPECT_FALSE(rec.isWithin(23000));

    ASSERT_TRUE(rec.setPoints({makePoint(0, 0, 0), makePoint(0, 0.1f, 1), makePoint(1, 0.2f, 2),
                               makePoint(1, 0.3f, 3), makePoint(2, 0.4f, 4)}));
    expectBlend(rec.stateAt(-5.0, true), rec.point(1), rec.point(1), 0);  // a pair at the start
    expectBlend(rec.stateAt(1.0, true), rec.point(3), rec.point(3), 0);
    // Just after a pair the interpolation starts from the later point, before it ends at the
    // earlier one.
    expectBlend(rec.stateAt(1.5, true), rec.point(3), rec.point(4), 0.5);
    expectBlend(rec.stateAt(0.75, true), rec.point(1), rec.point(2), 0.75);
}

// Times of a hand-written fly path may lie closer together than a float can tell (1e-300 s) or
// further apart than it can hold; the state between them is still the weighted blend (once NaN
// or infinite frames: the single-precision time step was 0 or infinite).
TEST(Recorder, StateBetweenTimesNoFloatCanSpanIsStillTheBlend) {
    const double cases[][4] = {
        {0.0, 1e-300, 0.25e-300, 0.25}, {-1e308, 1e308, 0.0, 0.5}, {0.0, 1e39, 2.5e38, 0.25}};
    for (const auto& c : cases) {
        Recorder rec;
        const FlyPathPoint a = makePoint(c[0], 0.2f, 0.0f), b = makePoint(c[1], 0.6f, 8.0f);
        ASSERT_TRUE(rec.setPoints({a, b}));
        expectBlend(rec.stateAt(c[2], true), a, b, c[3]);
    }
}

// Recording, cutting and replacing, step by step: the film times left, whether a change was
// announced, and the start time that keeps the same clock reading on the same state.
TEST(Recorder, EditsKeepTimesAscendingAndAnnounceEachChange) {
    Recorder rec;
    recordFour(rec);
    rec.play(7000, 0.0);
    int changes = 0;
    QObject::connect(&rec, &Recorder::recorderContentChanged, [&changes] { ++changes; });
    const FlyPathPoint at9 = rec.stateAt(9.5, false);  // film 2.5
    const double any = std::nan("");
    const struct {
        std::function<void()> edit;
        std::vector<double> times;
        int changes;  // announced by this step; -1: not checked
        double startTime;
    } steps[] = {
        // Deleting up to 1.5 drops what came before the point at 2: film time moves by 2.
        {[&] { rec.deleteToStart(1.5); }, {0.0, 1.0}, 1, 9.0},
        {[&] { rec.deleteToStart(10.0); }, {0.0, 1.0}, 1, 9.0},  // no later point: unchanged
        {[&] { recordFour(rec); }, {0, 1, 2, 3}, -1, any},
        {[&] { rec.deleteToEnd(5.0); }, {0, 1, 2, 3}, 1, any},
        {[&] { rec.deleteToEnd(1.5); }, {0, 1, 2}, 1, any},
        {[&] { rec.deleteToEnd(1.0); }, {0, 1, 2}, 1, any},  // "later" is strict
        {[&] { rec.record(10000, 1.5); }, {0, 1, 2}, -1, any},
        // Recording again from film position 1.5 replaces the point at 2.
        {[&] { rec.addPoint(makePoint(10.0, 0.9f, 90)); }, {0.0, 1.0, 1.5}, -1, any},
        {[&] { rec.addPoint(makePoint(10.25, 0.9f, 95)); }, {0.0, 1.0, 1.5, 1.75}, -1, any},
        {[&] { rec.record(0, 1.0); }, {0.0, 1.0, 1.5, 1.75}, -1, any},
        // Landing exactly on a stored time keeps that point; the new one follows it.
        {[&] { rec.addPoint(makePoint(0.0, 0.5f, 50)); }, {0, 1, 1}, -1, any},
        {[&] { rec.deleteToEnd(-1.0); }, {0.0}, 1, any},
        // As the film dialog's buttons do: a second of negative film time; the cut before the
        // first point only moves it to zero, the duration stays.
        {[&] { rec.record(0, -1.0); }, {0.0}, -1, any},
        {[&] { rec.addPoint(makePoint(0.5, 0, 0)); }, {-0.5}, -1, any},
        {[&] { rec.addPoint(makePoint(1.25, 0, 1)); }, {-0.5, 0.25}, -1, any},
        {[&] { rec.deleteToStart(-1.0); }, {0.0, 0.75}, 1, 1.0},
        // Only ascending, finite recordings replace the points.
        {[&] { rec.setPoints({makePoint(0, 0, 0), makePoint(2, 0, 0), makePoint(1, 0, 0)}); },
         {0.0, 0.75}, 0, 1.0},
        {[&] { rec.setPoints({makePoint(std::nan(""), 0, 0)}); }, {0.0, 0.75}, 0, 1.0},
        {[&] { rec.setPoints({makePoint(0, 0, 0), makePoint(0.5, 0, 0)}); }, {0, 0.5}, 1, any},
        {[&] { rec.setPoints({}); }, {}, 1, any},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const int before = changes;
        steps[i].edit();
        EXPECT_EQ(times(rec), steps[i].times) << "step " << i;
        if (steps[i].changes >= 0) {
            EXPECT_EQ(changes - before, steps[i].changes) << "step " << i;
        }
        if (!std::isnan(steps[i].startTime)) {
            EXPECT_DOUBLE_EQ(rec.startTime(), steps[i].startTime) << "step " << i;
        }
        if (i == 0) expectBlend(rec.stateAt(9.5, false), at9, at9, 0);
        if (i == 10) {
            EXPECT_EQ(rec.stateAt(1.0, true).speed, 0.5f);
        }
    }
    Recorder empty;
    empty.deleteToStart(0.0);
    EXPECT_EQ(empty.pointCount(), 0);
    EXPECT_EQ(empty.startTime(), 0.0);
}
