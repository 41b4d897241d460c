// Command-line options of the headless renderer: parsing with clear messages for every bad flag,
// and applying them to the document's render settings.
#pragma once

#include <QString>
#include <QStringList>

struct RenderSettings;

struct RenderOptions {
    QString scene;          // empty: the default scene, else the built-in scene
    QString output;         // picture file; the format follows the suffix
    int width = 1280;
    int height = 720;
    int antialiasing = 1;   // samples per pixel: 1, 4, 8 or 16
    bool hasSpeed = false;
    float speed = 0.0f;
    int bundle = 0;         // 0: the scene's default packet size
    int aberration = -1;    // -1: leave, 0 off, 1 on
    int doppler = -1;
    int lightBending = -1;
    int lightTravelTime = -1;  // -1: as the scene file says, 0 off, 1 on
    int sky = -1;              // the starry sky: -1 as the scene file says, 0 off, 1 on
    bool hasTime = false;
    double time = 0.0;      // the observer's time T in seconds (start.w)
    QString eye;            // preset name, empty: leave
    int searchlight = -1;   // -1: leave, 0 off, 3 or 4: the beaming exponent
    bool hasExposure = false;
    float exposureStops = 0.0f;
    bool autoExposure = false;
    bool hasBackground = false;
    int background[3] = {0, 0, 0};
    int threads = 0;        // 0: one per processor
    int benchFrames = 0;
    bool trace = false;
    QString flypath;        // non-empty: render the fly path as a film of numbered pictures
    int fps = 25;           // film frames per second
    int firstFrame = 0;     // --frames A-B (or A): the part of the film to render
    int lastFrame = -1;     // -1: to the film's end
    bool help = false;
};

// False with a message naming the flag and its allowed values when the arguments are not usable.
bool parseRenderOptions(const QStringList& args, RenderOptions& options, QString& problem);
// Sets the switches, the eye and the light response, and start.w to the observer's time (the
// document writes the same time into every frame it applies: DocRT::setObserverTime).
void applyRenderOptions(const RenderOptions& options, RenderSettings& settings);
QString renderUsage();
QString defaultScenePath();
