// Fly-path recorder: film times, interpolation, cutting and replacement of the recording.
#include "engine/recorder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "geometry/programmingerror.h"

namespace {

// A point whose 16 frame values are base + row * 4 + column, so that every element differs.
FlyPathPoint makePoint(double clockSeconds, float speed, float base) {
    FlyPathPoint p;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) p.frame.m[r][c] = base + static_cast<float>(r * 4 + c);
    p.time = clockSeconds;
    p.speed = speed;
    return p;
}

bool sameState(const FlyPathPoint& a, const FlyPathPoint& b) {
    return std::memcmp(a.frame.m, b.frame.m, sizeof a.frame.m) == 0 && a.speed == b.speed;
}

// Recording started at clock 0 with film position 0, points at film times 0, 1, 2, 3.
void recordFour(Recorder& rec) {
    rec.record(0, 0.0);
    for (int i = 0; i < 4; ++i) rec.addPoint(makePoint(i, 0.1f * i, 10.0f * i));
}

std::vector<double> times(const Recorder& rec) {
    std::vector<double> t;
    for (int i = 0; i < rec.pointCount(); ++i) t.push_back(rec.point(i).time);
    return t;
}

}  // namespace

TEST(Recorder, StateAtStoredTimeIsThatPointAndHalfwayIsTheAverage) {
    Recorder rec;
    recordFour(rec);
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(sameState(rec.stateAt(i, true), rec.point(i))) << i;

    const FlyPathPoint half = rec.stateAt(1.5, true);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(half.frame.m[r][c], 15.0f + static_cast<float>(r * 4 + c));
    EXPECT_FLOAT_EQ(half.speed, 0.15f);

    // A quarter of the way: weights 3/4 and 1/4, against a double-precision blend.
    const FlyPathPoint quarter = rec.stateAt(2.25, true);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const double expected = 0.75 * (20.0 + r * 4 + c) + 0.25 * (30.0 + r * 4 + c);
            EXPECT_NEAR(quarter.frame.m[r][c], expected, 1e-5);
        }
    EXPECT_NEAR(quarter.speed, 0.75 * 0.2 + 0.25 * 0.3, 1e-7);
}

// Times of a hand-written fly path may lie closer together than a float can tell (1e-300 s) or
// further apart than it can hold; the state between them is still the weighted blend (once NaN
// or infinite frames: the single-precision time step was 0 or infinite).
TEST(Recorder, StateBetweenTimesNoFloatCanSpanIsStillTheBlend) {
    const struct {
        double before, after, t, weightAfter;
    } cases[] = {
        {0.0, 1e-300, 0.25e-300, 0.25},
        {-1e308, 1e308, 0.0, 0.5},
        {0.0, 1e39, 2.5e38, 0.25},
    };
    for (const auto& c : cases) {
        Recorder rec;
        ASSERT_TRUE(rec.setPoints({makePoint(c.before, 0.2f, 0.0f), makePoint(c.after, 0.6f, 8.0f)}));
        const FlyPathPoint s = rec.stateAt(c.t, true);
        for (int r = 0; r < 4; ++r)
            for (int col = 0; col < 4; ++col)
                EXPECT_NEAR(s.frame.m[r][col], r * 4 + col + 8.0 * c.weightAfter, 1e-5) << c.after;
        EXPECT_NEAR(s.speed, 0.2 + 0.4 * c.weightAfter, 1e-6) << c.after;
    }
}

TEST(Recorder, StateOutsideTheRecordingIsTheNearestEnd) {
    Recorder rec;
    recordFour(rec);
    EXPECT_TRUE(sameState(rec.stateAt(-3.0, true), rec.point(0)));
    EXPECT_TRUE(sameState(rec.stateAt(3.0001, true), rec.point(3)));
    EXPECT_TRUE(sameState(rec.stateAt(1e9, true), rec.point(3)));

    // Clock readings are mapped through startTime: film 0 at clock 20 s.
    rec.play(20000, 0.0);
    EXPECT_TRUE(sameState(rec.stateAt(21.0, false), rec.point(1)));
    EXPECT_TRUE(sameState(rec.stateAt(19.0, false), rec.point(0)));
    const FlyPathPoint half = rec.stateAt(22.5, false);
    EXPECT_EQ(half.frame.m[0][0], 25.0f);  // film 2.5
}

TEST(Recorder, EqualTimesGiveTheLaterPoint) {
    Recorder rec;
    rec.record(0, 0.0);
    rec.addPoint(makePoint(0.0, 0.0f, 0.0f));
    rec.addPoint(makePoint(1.0, 0.1f, 100.0f));
    rec.addPoint(makePoint(1.0, 0.2f, 200.0f));
    rec.addPoint(makePoint(2.0, 0.3f, 300.0f));
    ASSERT_EQ(rec.pointCount(), 4);
    EXPECT_TRUE(sameState(rec.stateAt(1.0, true), rec.point(2)));
    // Just after the pair the interpolation starts from the later point, just before it ends
    // at the earlier one.
    EXPECT_NEAR(rec.stateAt(1.5, true).frame.m[0][0], 250.0f, 1e-4);
    EXPECT_NEAR(rec.stateAt(0.75, true).frame.m[0][0], 75.0f, 1e-4);

    // A pair at the very start.
    Recorder first;
    first.record(0, 0.0);
    first.addPoint(makePoint(0.0, 0.1f, 1.0f));
    first.addPoint(makePoint(0.0, 0.2f, 2.0f));
    first.addPoint(makePoint(1.0, 0.3f, 3.0f));
    EXPECT_TRUE(sameState(first.stateAt(0.0, true), first.point(1)));
    EXPECT_TRUE(sameState(first.stateAt(-5.0, true), first.point(1)));
}

TEST(Recorder, IsWithinIsStrictlyBeforeTheEnd) {
    Recorder rec;
    rec.record(0, 0.0);
    rec.addPoint(makePoint(0.0, 0.0f, 0.0f));
    rec.addPoint(makePoint(2.0, 0.0f, 0.0f));
    EXPECT_DOUBLE_EQ(rec.duration(), 2.0);
    rec.play(1000, 0.0);  // film 0 at clock 1 s
    EXPECT_TRUE(rec.isWithin(1000));
    EXPECT_TRUE(rec.isWithin(2999));
    EXPECT_FALSE(rec.isWithin(3000));
    EXPECT_TRUE(rec.isWithin(0));  // before film 0 still counts (the state holds the first point)
}

TEST(Recorder, RecordingOverAnEarlierPartKeepsTimesAscending) {
    Recorder rec;
    recordFour(rec);
    // Record again from film position 1.5: the points at 2 and 3 are replaced.
    rec.record(10000, 1.5);
    rec.addPoint(makePoint(10.0, 0.9f, 90.0f));
    EXPECT_EQ(times(rec), (std::vector<double>{0.0, 1.0, 1.5}));
    rec.addPoint(makePoint(10.25, 0.9f, 95.0f));
    EXPECT_EQ(times(rec), (std::vector<double>{0.0, 1.0, 1.5, 1.75}));

    // Landing exactly on a stored time keeps that point; the new one follows it.
    rec.record(0, 1.0);
    rec.addPoint(makePoint(0.0, 0.5f, 50.0f));
    EXPECT_EQ(times(rec), (std::vector<double>{0.0, 1.0, 1.0}));
    EXPECT_EQ(rec.stateAt(1.0, true).speed, 0.5f);

    // Before the first point everything goes.
    rec.record(0, -2.0);
    rec.addPoint(makePoint(0.0, 0.0f, 0.0f));
    EXPECT_EQ(times(rec), (std::vector<double>{-2.0}));
}

TEST(Recorder, DeleteToEndKeepsTheFirstLaterPoint) {
    Recorder rec;
    recordFour(rec);
    int changes = 0;
    QObject::connect(&rec, &Recorder::recorderContentChanged, [&changes] { ++changes; });
    rec.deleteToEnd(5.0);
    EXPECT_EQ(rec.pointCount(), 4);
    rec.deleteToEnd(1.5);
    EXPECT_EQ(times(rec), (std::vector<double>{0.0, 1.0, 2.0}));
    rec.deleteToEnd(1.0);  // "later" is strict: the point at 2 stays
    EXPECT_EQ(times(rec), (std::vector<double>{0.0, 1.0, 2.0}));
    rec.deleteToEnd(-1.0);
    EXPECT_EQ(times(rec), (std::vector<double>{0.0}));
    EXPECT_EQ(changes, 4);
}

TEST(Recorder, DeleteToStartShiftsFilmTimeAndStartTime) {
    Recorder rec;
    recordFour(rec);
    rec.play(7000, 0.0);
    const double startBefore = rec.startTime();
    const FlyPathPoint seenBefore = rec.stateAt(9.5, false);  // film 2.5

    int changes = 0;
    QObject::connect(&rec, &Recorder::recorderContentChanged, [&changes] { ++changes; });
    rec.deleteToStart(1.5);
    EXPECT_EQ(times(rec), (std::vector<double>{0.0, 1.0}));
    EXPECT_EQ(rec.point(0).frame.m[0][0], 20.0f);
    EXPECT_DOUBLE_EQ(rec.startTime(), startBefore + 2.0);
    // The same clock reading still shows the same recorded state.
    EXPECT_TRUE(sameState(rec.stateAt(9.5, false), seenBefore));
    EXPECT_EQ(changes, 1);

    rec.deleteToStart(10.0);  // no later point: unchanged
    EXPECT_EQ(times(rec), (std::vector<double>{0.0, 1.0}));
    EXPECT_DOUBLE_EQ(rec.startTime(), startBefore + 2.0);
    EXPECT_EQ(changes, 2);

    Recorder empty;
    empty.deleteToStart(0.0);
    EXPECT_EQ(empty.pointCount(), 0);
    EXPECT_EQ(empty.startTime(), 0.0);
}

TEST(Recorder, DeleteToStartBeforeTheFirstPointOnlyMovesItToZero) {
    Recorder rec;
    rec.record(0, -1.0);  // as the film dialog's buttons do: a second of negative film time
    rec.addPoint(makePoint(0.5, 0.0f, 0.0f));
    rec.addPoint(makePoint(1.25, 0.0f, 1.0f));
    rec.addPoint(makePoint(3.0, 0.0f, 2.0f));
    EXPECT_EQ(times(rec), (std::vector<double>{-0.5, 0.25, 2.0}));
    rec.deleteToStart(-1.0);
    EXPECT_EQ(times(rec), (std::vector<double>{0.0, 0.75, 2.5}));
    EXPECT_DOUBLE_EQ(rec.startTime(), 1.0);  // nothing removed, duration unchanged
}

TEST(Recorder, SetPointsReplacesOnlyAscendingRecordings) {
    Recorder rec;
    recordFour(rec);
    int changes = 0;
    QObject::connect(&rec, &Recorder::recorderContentChanged, [&changes] { ++changes; });

    EXPECT_FALSE(rec.setPoints(
        {makePoint(0.0, 0.0f, 0.0f), makePoint(2.0, 0.0f, 0.0f), makePoint(1.0, 0.0f, 0.0f)}));
    EXPECT_FALSE(rec.setPoints({makePoint(std::nan(""), 0.0f, 0.0f)}));
    EXPECT_EQ(rec.pointCount(), 4);
    EXPECT_EQ(changes, 0);

    ASSERT_TRUE(rec.setPoints(
        {makePoint(0.0, 0.4f, 5.0f), makePoint(0.5, 0.6f, 7.0f), makePoint(0.5, 0.7f, 9.0f)}));
    EXPECT_EQ(times(rec), (std::vector<double>{0.0, 0.5, 0.5}));
    EXPECT_EQ(rec.point(2).speed, 0.7f);
    EXPECT_EQ(changes, 1);
    EXPECT_NEAR(rec.stateAt(0.25, true).speed, 0.5, 1e-7);

    ASSERT_TRUE(rec.setPoints({}));
    EXPECT_EQ(rec.pointCount(), 0);
}
