// Fly-path files: every point survives save and load bit for bit, and broken files are refused
// with the line of the problem while the recording stays as it was.
#include "engine/flypathfile.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "engine/recorder.h"

namespace {

// Seeded points with awkward values: thirds, denormals, extremes, negative zero, and times that
// need all 17 digits.
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
           std::memcmp(&a.speed, &b.speed, sizeof a.speed) == 0 &&
           std::memcmp(&a.frame, &b.frame, sizeof a.frame) == 0;
}

QByteArray pointLine(double time) {
    QByteArray line = QByteArray::number(time, 'g', 17) + " 0.5";
    for (int i = 0; i < 16; ++i) line += " " + QByteArray::number(i * 0.25);
    return line + "\n";
}

}  // namespace

// Through text and through a file into a recorder: every bit of every point comes back.
TEST(FlyPathFile, SaveThenLoadReproducesEveryBit) {
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("path.txt"));
    for (unsigned seed : {1u, 2u, 3u}) {
        const std::vector<FlyPathPoint> points = awkwardPoints(200, seed);
        std::vector<FlyPathPoint> back;
        QString error;
        ASSERT_TRUE(FlyPathFile::parse(FlyPathFile::format(points), back, error))
            << error.toStdString();
        ASSERT_EQ(back.size(), points.size());
        Recorder source, target;
        ASSERT_TRUE(source.setPoints(points));
        ASSERT_TRUE(FlyPathFile::save(name, source, error)) << error.toStdString();
        int changes = 0;
        QObject::connect(&target, &Recorder::recorderContentChanged, [&changes] { ++changes; });
        ASSERT_TRUE(FlyPathFile::load(name, target, error)) << error.toStdString();
        EXPECT_EQ(changes, 1);
        ASSERT_EQ(target.pointCount(), 200);
        for (int i = 0; i < 200; ++i) {
            EXPECT_TRUE(sameBits(points[size_t(i)], back[size_t(i)])) << i << " seed " << seed;
            EXPECT_TRUE(sameBits(points[size_t(i)], target.point(i))) << i << " seed " << seed;
        }
    }
    // The text starts with the versioned header.
    QFile f(name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readLine(), QByteArray("tavolin-flypath 1\n"));
}

TEST(FlyPathFile, HeaderCommentsBlankLinesAndDosLineEnds) {
    std::vector<FlyPathPoint> points;
    QString error;
    ASSERT_TRUE(FlyPathFile::parse("# made by hand\r\n\r\ntavolin-flypath 1\r\n" + pointLine(0) +
                                       "   \n# middle\n" + pointLine(0) + pointLine(2.5),
                                   points, error))
        << error.toStdString();
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[2].time, 2.5);
    EXPECT_EQ(points[1].speed, 0.5f);
    EXPECT_EQ(points[1].frame.m[3][3], 15 * 0.25f);
    EXPECT_EQ(points[1].frame.m[0][1], 0.25f);

    // A header without points is an empty fly path.
    ASSERT_TRUE(FlyPathFile::parse("tavolin-flypath 1\n", points, error));
    EXPECT_TRUE(points.empty());
}

TEST(FlyPathFile, BrokenFilesAreRefusedWithTheirLineAndChangeNothing) {
    const QByteArray header = "tavolin-flypath 1\n";
    QByteArray seventeen = "1 0.5";
    for (int i = 0; i < 15; ++i) seventeen += " 1";
    // A good line of film time 1 with one field replaced.
    const auto with = [](const char* field, const QByteArray& text) {
        return pointLine(1.0).replace(field, text);
    };
    const auto speed = [&](const char* v) { return with(" 0.5 ", QByteArray(" ") + v + " "); };
    struct Case {
        const char* what;
        QByteArray text;
        const char* expected;  // part of the message
    };
    const Case cases[] = {
        {"empty", "", "empty file"},
        {"comments only", "# nothing\n\n", "empty file"},
        {"wrong header", "tavolin-flightpath 1\n" + pointLine(0), "line 1: not a fly-path file"},
        {"numbers first", pointLine(0), "line 1: not a fly-path file"},
        {"newer version", "tavolin-flypath 2\n" + pointLine(0), "line 1: fly-path format version"},
        {"field count", header + pointLine(0) + "\n" + seventeen + "\n",
         "line 4: expected 18 numbers (film time, speed and 16 frame values), found 17"},
        {"too many fields", header + pointLine(0).trimmed() + " 7\n", "line 2: expected 18"},
        {"not a number", header + pointLine(0) + with(" 0.5 ", " 0.5x "),
         "line 3: field 2 (\"0.5x\") is not"},
        {"nan time", header + with("1 0.5", "nan 0.5"),
         "line 2: field 1 (\"nan\") is not a finite number"},
        {"infinite frame", header + pointLine(0) + pointLine(0.5) + with(" 0.25 ", " -inf "),
         "line 4: field 4 (\"-inf\") is not a finite number"},
        {"float overflow", header + with(" 0.25 ", " 1e39 "),
         "line 2: field 4 (\"1e39\") is not a finite"},
        // The smallest magnitude that rounds to infinity in single precision (FLT_MAX itself is
        // read, see the awkward points).
        {"rounds to infinity", header + with(" 0.25 ", " 3.4028235677973366e+38 "),
         "line 2: field 4 (\"3.4028235677973366e+38\") is not a finite"},
        {"double overflow", header + with("1 0.5", "1e400 0.5"), "line 2: field 1 (\"1e400\")"},
        // Once rendered as plain background with exit 0.
        {"speed of light", header + pointLine(0) + speed("1"),
         "line 3: speed 1 is not below the speed of light"},
        {"backwards at light speed", header + speed("-1"), "line 2: speed -1 is not below"},
        {"faster than light", header + speed("1.5"), "line 2: speed 1.5 is not below"},
        {"1 in single precision", header + speed("0.99999999"),
         "line 2: speed 0.99999999 is not below"},
        {"descending", header + pointLine(0) + pointLine(2) + "# gap\n" + pointLine(1.5),
         "line 5: film time 1.5 is earlier than the time 2"},
    };

    QTemporaryDir dir;
    for (const Case& c : cases) {
        std::vector<FlyPathPoint> points = awkwardPoints(2, 5);
        QString error;
        EXPECT_FALSE(FlyPathFile::parse(c.text, points, error)) << c.what;
        EXPECT_TRUE(error.contains(QLatin1String(c.expected)))
            << c.what << ": " << error.toStdString();
        EXPECT_EQ(points.size(), 2u) << c.what;

        // Through a file into a recorder that holds a recording: it keeps it.
        const QString name = dir.filePath(QStringLiteral("bad.txt"));
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(c.text), c.text.size());
        f.close();
        Recorder recorder;
        const std::vector<FlyPathPoint> before = awkwardPoints(3, 9);
        ASSERT_TRUE(recorder.setPoints(before));
        int changes = 0;
        QObject::connect(&recorder, &Recorder::recorderContentChanged, [&changes] { ++changes; });
        EXPECT_FALSE(FlyPathFile::load(name, recorder, error)) << c.what;
        EXPECT_TRUE(error.startsWith(name)) << error.toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(c.expected))) << error.toStdString();
        EXPECT_EQ(changes, 0) << c.what;
        ASSERT_EQ(recorder.pointCount(), 3) << c.what;
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(sameBits(before[size_t(i)], recorder.point(i)));
    }
}

TEST(FlyPathFile, MissingAndUnwritableFilesNameTheFile) {
    QTemporaryDir dir;
    Recorder recorder;
    QString error;
    const QString missing = dir.filePath(QStringLiteral("none.txt"));
    EXPECT_FALSE(FlyPathFile::load(missing, recorder, error));
    EXPECT_EQ(error, "Could not read " + missing + ": No such file or directory");
    const QString unwritable = dir.filePath(QStringLiteral("no/such/folder/path.txt"));
    EXPECT_FALSE(FlyPathFile::save(unwritable, recorder, error));
    EXPECT_EQ(error, "Could not write " + unwritable + ": No such file or directory");
}
