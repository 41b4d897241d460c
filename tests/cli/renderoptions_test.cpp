// The renderer's command line: every bad flag is refused with a message that names it.
#include <gtest/gtest.h>

#include "cli/renderoptions.h"
#include "scene/rendersettings.h"

namespace {
bool parse(const QStringList& args, RenderOptions& o, QString& problem) {
    return parseRenderOptions(args, o, problem);
}
}  // namespace

TEST(RenderOptions, ReadsEveryFlag) {
    RenderOptions o;
    QString problem;
    ASSERT_TRUE(parse({"scene.tavolin", "-o", "out.png", "--size", "640x480", "--aa", "16",
                       "--speed", "0.9", "--bundle", "4", "--aberration", "off", "--doppler",
                       "on", "--light-bending", "on", "--eye", "Humans", "--background",
                       "1,2,3", "--threads", "2"},
                      o, problem))
        << problem.toStdString();
    EXPECT_EQ(o.scene, "scene.tavolin");
    EXPECT_EQ(o.width, 640);
    EXPECT_EQ(o.height, 480);
    EXPECT_EQ(o.antialiasing, 16);
    RenderSettings s;
    applyRenderOptions(o, s);
    EXPECT_EQ(s.speed, 0.9f);
    EXPECT_EQ(s.maxBundleSize, 4);
    EXPECT_FALSE(s.aberration);
    EXPECT_TRUE(s.srtDoppler);
    EXPECT_TRUE(s.lightBending);
    EXPECT_EQ(s.background[2], 3);
    EXPECT_EQ(s.eye.channel[0].peak, 500.0f);  // the "Humans" red peak
}

TEST(RenderOptions, RefusesBadValuesNamingTheFlag) {
    const QList<QStringList> bad = {
        {"-o", "x.png", "--size", "0x10"},     {"-o", "x.png", "--size", "10"},
        {"-o", "x.png", "--aa", "2"},          {"-o", "x.png", "--speed", "1"},
        {"-o", "x.png", "--speed", "nan"},     {"-o", "x.png", "--bundle", "3"},
        {"-o", "x.png", "--doppler", "yes"},   {"-o", "x.png", "--eye", "Cat"},
        {"-o", "x.png", "--background", "1,2"}, {"-o", "x.png", "--threads", "0"},
        {"-o", "x.png", "--bench", "-1"},      {"-o", "x.png", "--frobnicate"},
        {"-o"},                                {"a.tavolin", "b.tavolin", "-o", "x.png"},
        {"scene.tavolin"},
    };
    for (const QStringList& args : bad) {
        RenderOptions o;
        QString problem;
        EXPECT_FALSE(parse(args, o, problem)) << args.join(' ').toStdString();
        EXPECT_FALSE(problem.isEmpty());
        const QString flag = args.size() > 2 ? args[2] : args[0];
        if (flag.startsWith("--")) {
            EXPECT_TRUE(problem.contains(flag)) << problem.toStdString();
        }
    }
}

TEST(RenderOptions, BenchNeedsNoOutputFile) {
    RenderOptions o;
    QString problem;
    EXPECT_TRUE(parse({"--bench", "3"}, o, problem)) << problem.toStdString();
    EXPECT_EQ(o.benchFrames, 3);
}

TEST(RenderOptions, FilmFlags) {
    RenderOptions o;
    QString problem;
    ASSERT_TRUE(parse({"s.tavolin", "--flypath", "p.txt", "--fps", "30", "--frames", "10-19", "-o",
                       "film.png"},
                      o, problem))
        << problem.toStdString();
    EXPECT_EQ(o.flypath, "p.txt");
    EXPECT_EQ(o.fps, 30);
    EXPECT_EQ(o.firstFrame, 10);
    EXPECT_EQ(o.lastFrame, 19);

    RenderOptions single;
    ASSERT_TRUE(parse({"--flypath", "p.txt", "--frames", "7", "-o", "f.png"}, single, problem));
    EXPECT_EQ(single.firstFrame, 7);
    EXPECT_EQ(single.lastFrame, 7);
    EXPECT_EQ(single.fps, 25);  // the default rate

    RenderOptions all;
    ASSERT_TRUE(parse({"--flypath", "p.txt", "-o", "f.png"}, all, problem));
    EXPECT_EQ(all.firstFrame, 0);
    EXPECT_EQ(all.lastFrame, -1);

    // Arguments and the flag the message must name.
    const QList<std::pair<QStringList, QString>> bad = {
        {{"--flypath", "p.txt", "-o", "f.png", "--frames", "9-3"}, "--frames"},
        {{"--flypath", "p.txt", "-o", "f.png", "--frames", "-3"}, "--frames"},
        {{"--flypath", "p.txt", "-o", "f.png", "--frames", "1-2-3"}, "--frames"},
        {{"--flypath", "p.txt", "-o", "f.png", "--frames", "a-b"}, "--frames"},
        {{"--flypath", "p.txt", "-o", "f.png", "--fps", "0"}, "--fps"},
        {{"--flypath", "p.txt", "-o", "f.png", "--fps", "2.5"}, "--fps"},
        {{"-o", "f.png", "--fps", "25"}, "--flypath"},
        {{"-o", "f.png", "--frames", "0-9"}, "--flypath"},
        {{"--flypath", "p.txt"}, "-o FILE"},
        {{"--flypath", "p.txt", "-o", "f.png", "--bench", "3"}, "--bench"},
    };
    for (const auto& [args, flag] : bad) {
        RenderOptions r;
        EXPECT_FALSE(parse(args, r, problem)) << args.join(' ').toStdString();
        EXPECT_TRUE(problem.contains(flag)) << problem.toStdString();
    }
}

TEST(RenderOptions, SearchlightExposureAndTheCieEye) {
    RenderOptions o;
    QString problem;
    ASSERT_TRUE(parse({"-o", "x.png", "--searchlight", "3", "--exposure", "-1.5", "--eye",
                       "Human (CIE 1931)"},
                      o, problem))
        << problem.toStdString();
    RenderSettings s;
    applyRenderOptions(o, s);
    EXPECT_EQ(s.searchlight, 3);
    EXPECT_EQ(s.exposureStops, -1.5f);
    EXPECT_FALSE(s.autoExposure);
    EXPECT_EQ(s.eye.kind, EyeKind::Cie1931);
    EXPECT_EQ(s.eye.beamingExponent, 3);
    EXPECT_NEAR(s.eye.exposure, 0.35355339f, 1e-6f);

    RenderOptions a;
    ASSERT_TRUE(parse({"-o", "x.png", "--searchlight", "off", "--exposure", "auto"}, a, problem));
    RenderSettings t;
    t.searchlight = 4;
    applyRenderOptions(a, t);
    EXPECT_EQ(t.searchlight, 0);
    EXPECT_TRUE(t.autoExposure);
    EXPECT_FALSE(t.eye.extended());

    for (const QStringList& bad : QList<QStringList>{{"-o", "x.png", "--searchlight", "2"},
                                                     {"-o", "x.png", "--searchlight", "on"},
                                                     {"-o", "x.png", "--exposure", "17"},
                                                     {"-o", "x.png", "--exposure", "bright"}}) {
        RenderOptions r;
        QString why;
        EXPECT_FALSE(parse(bad, r, why)) << bad.join(' ').toStdString();
        EXPECT_TRUE(why.contains(bad[2])) << why.toStdString();
    }
}

// The light-travel-time switch overrides the scene file only when given; the observer's time
// is 0 unless given, any finite number of seconds in float range, and set on the settings.
TEST(RenderOptions, LightTravelTimeAndTheObserversTime) {
    struct Case {
        QStringList args;
        bool ok;
        bool fileSwitch;  // the scene file's setting before the options apply
        bool on;          // the switch afterwards
        float time;       // start.w afterwards
    };
    const Case cases[] = {
        {{}, true, false, false, 0.0f},
        {{}, true, true, true, 0.0f},
        {{"--light-travel-time", "on"}, true, false, true, 0.0f},
        {{"--light-travel-time", "off"}, true, true, false, 0.0f},
        {{"--time", "12.5"}, true, true, true, 12.5f},
        {{"--time", "-3e2", "--light-travel-time", "on"}, true, false, true, -300.0f},
        {{"--time", "1e30"}, true, false, false, 1e30f},
        {{"--light-travel-time", "yes"}, false, false, false, 0.0f},
        {{"--light-travel-time", "1"}, false, false, false, 0.0f},
        {{"--time", "nan"}, false, false, false, 0.0f},
        {{"--time", "inf"}, false, false, false, 0.0f},
        {{"--time", "1e31"}, false, false, false, 0.0f},
        {{"--time", "12s"}, false, false, false, 0.0f},
        {{"--time"}, false, false, false, 0.0f},
    };
    for (const Case& c : cases) {
        const QStringList args = QStringList{"-o", "x.png"} + c.args;
        RenderOptions o;
        QString problem;
        ASSERT_EQ(parse(args, o, problem), c.ok) << args.join(' ').toStdString();
        if (!c.ok) {
            EXPECT_TRUE(problem.contains(c.args[0])) << problem.toStdString();
            continue;
        }
        RenderSettings s;
        s.lightTravelTime = c.fileSwitch;
        s.start.w = 99.0f;
        applyRenderOptions(o, s);
        EXPECT_EQ(s.lightTravelTime, c.on) << args.join(' ').toStdString();
        EXPECT_EQ(s.start.w, c.time) << args.join(' ').toStdString();
    }
    // A film replays the recorded times: a time of its own would contradict them.
    RenderOptions film;
    QString problem;
    EXPECT_FALSE(parse({"--flypath", "p.txt", "-o", "f.png", "--time", "2"}, film, problem));
    EXPECT_TRUE(problem.contains("--time")) << problem.toStdString();
    EXPECT_TRUE(renderUsage().contains("--light-travel-time on|off"));
    EXPECT_TRUE(renderUsage().contains("--time T"));
}

// The starry sky follows the scene file unless --sky says on or off.
TEST(RenderOptions, TheSkySwitch) {
    struct Case {
        QStringList args;
        bool ok, fileSwitch, on;
    };
    const Case cases[] = {
        {{}, true, false, false},           {{}, true, true, true},
        {{"--sky", "on"}, true, false, true}, {{"--sky", "off"}, true, true, false},
        {{"--sky", "yes"}, false, false, false}, {{"--sky", "1"}, false, false, false},
        {{"--sky"}, false, false, false},
    };
    for (const Case& c : cases) {
        const QStringList args = QStringList{"-o", "x.png"} + c.args;
        RenderOptions o;
        QString problem;
        ASSERT_EQ(parse(args, o, problem), c.ok) << args.join(' ').toStdString();
        if (!c.ok) {
            EXPECT_TRUE(problem.contains("--sky")) << problem.toStdString();
            continue;
        }
        RenderSettings s;
        s.starrySky = c.fileSwitch;
        applyRenderOptions(o, s);
        EXPECT_EQ(s.starrySky, c.on) << args.join(' ').toStdString();
    }
    EXPECT_TRUE(renderUsage().contains("--sky on|off"));
}

// What the command line does not say, the scene file does: a scene's settings that no flag
// touches come through unchanged (the observer's time is the exception: --time defaults to 0).
TEST(RenderOptions, FlagsNotGivenLeaveTheScenesSettings) {
    RenderOptions o;
    QString problem;
    ASSERT_TRUE(parse({"scene.tavolin", "-o", "out.png"}, o, problem)) << problem.toStdString();
    RenderSettings s;
    s.speed = 0.3f;
    s.maxBundleSize = 1;
    s.aberration = false;
    s.srtDoppler = false;
    s.lightBending = true;
    s.lightTravelTime = true;
    s.starrySky = true;
    s.searchlight = 3;
    s.exposureStops = 1.5f;
    s.setBackground(10, 20, 30, 255);
    const float redPeak = s.eye.channel[0].peak;
    applyRenderOptions(o, s);
    EXPECT_EQ(s.speed, 0.3f);
    EXPECT_EQ(s.maxBundleSize, 1);
    EXPECT_FALSE(s.aberration);
    EXPECT_FALSE(s.srtDoppler);
    EXPECT_TRUE(s.lightBending);
    EXPECT_TRUE(s.lightTravelTime);
    EXPECT_TRUE(s.starrySky);
    EXPECT_EQ(s.searchlight, 3);
    EXPECT_EQ(s.exposureStops, 1.5f);
    EXPECT_FALSE(s.autoExposure);
    EXPECT_EQ(s.background[0], 10);
    EXPECT_EQ(s.background[1], 20);
    EXPECT_EQ(s.background[2], 30);
    EXPECT_EQ(s.eye.channel[0].peak, redPeak);
}
