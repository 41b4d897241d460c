// Fly-path files (bit-exact round trips, broken files refused with their line, the recording
// kept) and the recorder (interpolation, cutting, replacing).
#include "engine/flypathfile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include "engine/recorder.h"

namespace {

// Seeded points with awkward values: thirds, denormals, extremes, -0, times of 17 digits.
std::vector<FlyPathPoint> awkwardPoints(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-40, 38);
    const float specials[] = {0.0f,    -0.0f, 1.0f / 3.0f, FLT_MIN, -FLT_MAX,
                              FLT_MAX, 0.1f,  16777217.0f, std::numeric_limits<float>::min() / 8};
    std::vector<FlyPathPoint> points;
    double t = -1.0 + unit(rng) * 1e-3;
    for (int i = 0; i < count; ++i) {
        FlyPathPoint p;
        p.time = t;
        t += std::fabs(unit(rng)) / 3.0 + (i % 7 == 3 ? 0.0 : 1e-12);  // some equal times
        p.speed = float(unit(rng) * 0.999);
        p.observerTime = i % 11 == 4 ? -0.0 : i % 5 == 2 ? 1.0 / 3.0 : unit(rng) * 1e6;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                const int k = 4 * r + c + i;
                p.frame.m[r][c] =
                    k % 5 == 0 ? specials[k % 9] : float(unit(rng) * std::pow(10.0, exponent(rng)));
            }
        points.push_back(p);
    }
    return points;
}

bool sameBits(const FlyPathPoint& a, const FlyPathPoint& b) {
    return std::memcmp(&a.time, &b.time, sizeof a.time) == 0 &&
           std::memcmp(&a.observerTime, &b.observerTime, sizeof a.observerTime) == 0 &&
           std::memcmp(&a.speed, &b.speed, sizeof a.speed) == 0 &&
           std::memcmp(&a.frame, &b.frame, sizeof a.frame) == 0;
}

// A line: the film time, the fields given (version 1: speed; 2: observer's time, speed), a frame.
QByteArray pointLine(double time, const QByteArray& fields = "0.5") {
    QByteArray line = QByteArray::number(time, 'g', 17) + " " + fields;
    for (int i = 0; i < 16; ++i) line += " " + QByteArray::number(i * 0.25);
    return line + "\n";
}

// A point whose 16 frame values are base + row * 4 + column, so that every element differs.
FlyPathPoint makePoint(double time, float speed, float base) {
    FlyPathPoint p;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) p.frame.m[r][c] = base + static_cast<float>(r * 4 + c);
    p.time = time;
    p.speed = speed;
    p.observerTime = 1000.0 - 7.0 * double(base);  // runs against the film, as set by hand
    return p;
}

// The state must be the blend (1 - w) a + w b of two points made by makePoint.
void expectBlend(const FlyPathPoint& s, const FlyPathPoint& a, const FlyPathPoint& b, double w) {
    for (int e = 0; e < 16; ++e)
        EXPECT_NEAR(s.frame.m[e / 4][e % 4],
                    (1 - w) * a.frame.m[e / 4][e % 4] + w * b.frame.m[e / 4][e % 4], 1e-5);
    EXPECT_NEAR(s.speed, (1 - w) * a.speed + w * b.speed, 1e-6);
    EXPECT_NEAR(s.observerTime, (1 - w) * a.observerTime + w * b.observerTime, 1e-9);
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

TEST(FlyPathFile, SaveThenLoadReproducesEveryBit) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("path.txt"));
    const std::vector<FlyPathPoint> points = awkwardPoints(200, 1);
    Recorder source, target;
    ASSERT_TRUE(source.setPoints(points));
    QString error;
    ASSERT_TRUE(FlyPathFile::save(name, source, error)) << error.toStdString();
    int changes = 0;
    QObject::connect(&target, &Recorder::recorderContentChanged, [&changes] { ++changes; });
    ASSERT_TRUE(FlyPathFile::load(name, target, error)) << error.toStdString();
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(target.pointCount(), 200);
    for (int i = 0; i < 200; ++i) EXPECT_TRUE(sameBits(points[size_t(i)], target.point(i))) << i;
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readLine(), QByteArray("tavolin-flypath 2\n"));
}

// Each broken file is refused naming the file, the line and the problem; the recording stays
// and no change is announced. (The command line's tests have the common mistakes.)
TEST(FlyPathFile, BrokenFilesAreRefusedWithTheirLineAndChangeNothing) {
    const QByteArray v1 = "tavolin-flypath 1\n", v2 = "tavolin-flypath 2\n";
    // A good line of film time 1 with one field replaced.
    const auto with = [](const char* field, const QByteArray& text) {
        return pointLine(1.0).replace(field, text);
    };
    const std::pair<QByteArray, const char*> cases[] = {
        {"tavolin-flypath 3\n" + pointLine(0), "line 1: fly-path format version"},
        {"tavolin-flypath 0\n",
         "line 1: fly-path format version \"0\" is not supported (this program reads versions 1 "
         "to 2)"},
        {v2 + pointLine(0.0, "nan 0.5"), "line 2: field 2 (\"nan\") is not a finite number"},
        {v2 + pointLine(0.0, "-1e39 0.5"),
         "line 2: field 2 (\"-1e39\") is not a finite number in single precision"},
        {v2 + pointLine(0.0, "3 -1"), "line 2: speed -1 is not below the speed of light"},
        {v1 + with("1 0.5", "1e39 0.5"),
         "line 2: film time 1e39 is too large to serve as the observer's time"},
        {v1 + pointLine(0) + with(" 0.25 ", " -inf "),
         "line 3: field 4 (\"-inf\") is not a finite"},
        // The smallest magnitude that rounds to infinity in single precision.
        {v1 + with(" 0.25 ", " 3.4028235677973366e+38 "), "field 4 (\"3.4028235677973366e+38\")"},
        {v1 + with("1 0.5", "1e400 0.5"), "line 2: field 1 (\"1e400\")"},
        {v1 + with(" 0.5 ", " 0.99999999 "), "line 2: speed 0.99999999 is not below"},
    };
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("bad.txt"));
    const std::vector<FlyPathPoint> points = awkwardPoints(2, 5);
    QString error;
    for (const auto& [text, expected] : cases) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        Recorder recorder;
        ASSERT_TRUE(recorder.setPoints(points));
        int changes = 0;
        QObject::connect(&recorder, &Recorder::recorderContentChanged, [&changes] { ++changes; });
        EXPECT_FALSE(FlyPathFile::load(name, recorder, error)) << expected;
        EXPECT_TRUE(error.startsWith(name) && error.contains(expected)) << error.toStdString();
        EXPECT_EQ(changes, 0) << expected;
        ASSERT_EQ(recorder.pointCount(), 2) << expected;
        EXPECT_TRUE(sameBits(points[1], recorder.point(1)));
    }
}

// Between two points the state is their blend by film time; outside, the nearest end; of equal
// times the later point counts.
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
    expectBlend(rec.stateAt(1.5, true), rec.point(3), rec.point(4), 0.5);
    expectBlend(rec.stateAt(0.75, true), rec.point(1), rec.point(2), 0.75);
    // Points of a hand-written file closer than the smallest float, and farther apart than the
    // largest: the blend still goes by the fraction of the way.
    ASSERT_TRUE(rec.setPoints({makePoint(3e-46, 0.2f, 0), makePoint(7e-46, 0.6f, 1)}));
    expectBlend(rec.stateAt(4e-46, true), rec.point(0), rec.point(1), 0.25);
    ASSERT_TRUE(rec.setPoints({makePoint(1e38, 0.2f, 0), makePoint(1e39, 0.6f, 1)}));
    expectBlend(rec.stateAt(7.75e38, true), rec.point(0), rec.point(1), 0.75);
}

// Recording, cutting and replacing, step by step: the film times left, the changes announced,
// and the start time that keeps the same clock reading on the same state.
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
        // A cut before the first point only moves it to zero.
        {[&] { rec.record(0, -1.0); }, {0.0}, -1, any},
        {[&] { rec.addPoint(makePoint(0.5, 0, 0)); }, {-0.5}, -1, any},
        {[&] { rec.addPoint(makePoint(1.25, 0, 1)); }, {-0.5, 0.25}, -1, any},
        {[&] { rec.deleteToStart(-1.0); }, {0.0, 0.75}, 1, 1.0},
        // Only ascending, finite recordings replace the points.
        {[&] {
             rec.setPoints({makePoint(0, 0, 0), makePoint(2, 0, 0), makePoint(1, 0, 0)});
         },
         {0.0, 0.75},
         0,
         1.0},
        {[&] { rec.setPoints({makePoint(std::nan(""), 0, 0)}); }, {0.0, 0.75}, 0, 1.0},
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
        if (i == 9) {
            EXPECT_EQ(rec.stateAt(1.0, true).speed, 0.5f);
        }
    }
    Recorder empty;
    empty.deleteToStart(0.0);
    EXPECT_EQ(empty.pointCount(), 0);
    EXPECT_EQ(empty.startTime(), 0.0);
}
