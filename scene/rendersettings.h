// How a scene is seen: the eye, the observer's pose and speed, the effect switches, the black
// hole, the background and the ray-packet size. The document owns one, views may hold a copy
// with their own switches, and every frame renders from a copy taken when it is prepared.
#pragma once

#include <QString>
#include <cstdint>

#include "geometry/observerframe.h"
#include "geometry/vec4f.h"
#include "scene/eye.h"

namespace Reader {
class PropertyList;
}  // namespace Reader

struct alignas(16) RenderSettings {
    Eye eye;                          // first member: shading reaches it through the ray records
    Vec4f start{0, 0, 0, 0};          // observer position; w is the observer's time
    Vec4f lookat{0, 0, 1, -1};        // forward direction, the direction of motion
    Vec4f dirx{1, 0, 0, 0};           // right direction of the image plane
    Vec4f diry{0, 1, 0, 0};           // up direction of the image plane
    float speed = 0.0f;               // beta, a fraction of the speed of light
    bool aberration = true;
    bool srtDoppler = true;
    bool januscircle = false;
    bool lightBending = false;
    bool grtDoppler = false;
    // Moving bodies seen by the light that reaches the eye now, emitted earlier (on), or as the
    // scene frame's snapshot at the observer's time start.w (off).
    bool lightTravelTime = false;
    // Stars at infinity behind the scene (StarrySky), seen where a ray hits nothing.
    bool starrySky = false;
    Vec4f bhpos{0, 0, 0, 0};
    float bhradius = 0.1f;            // Schwarzschild radius of the black hole
    uint8_t background[4] = {20, 20, 20, 255};  // R, G, B, A of rays that hit nothing
    int32_t maxBundleSize = 2;        // side of the square ray packet: 1, 2 or 4
    // Light response; none of it is stored in scene files.
    int8_t searchlight = 0;           // relativistic beaming (1/D)^k: 0 off, k = 3 or 4
    float exposureStops = 0.0f;       // brightness multiplier 2^stops before the 8-bit clamp
    bool autoExposure = false;        // exposureStops follows the picture (AutoExposure)

    RenderSettings();
    RenderSettings(const RenderSettings& other);
    // Copies every field except januscircle and background, which keep this record's values:
    // a view's private copy keeps its own background whatever the document's is.
    RenderSettings& operator=(const RenderSettings& other);

    // Copies searchlight and exposure into the eye (which is all that shading sees) and updates
    // its table key. The engine calls it before every frame; assignment calls it too.
    void syncLight();

    // The fields stored in scene files: start, lookat, dirx, diry, bhpos, bhradius, the eye
    // when it is not the default one (Reader::ElemEye), and the switches lighttraveltime and
    // starrysky (0 or 1) when on.
    void getProperties(Reader::PropertyList& list);

    // The background as one 32-bit pixel (bytes R, G, B, A in memory order).
    uint32_t backgroundPixel() const;
    void setBackground(uint8_t r, uint8_t g, uint8_t b, uint8_t a);

    // Makes lookat, dirx and diry unit vectors (their x, y, z; w is kept): the camera and the
    // Doppler shading take them as a unit frame, so <lookat>0;0;2;0</lookat> would otherwise
    // shift every colour. False, with the settings unchanged and why naming the vectors, when
    // one has zero or no finite length or two are parallel (no picture plane).
    bool normalizeObserver(QString* why = nullptr);

    void settingsToFrame(ObserverFrame& frame) const;
    void frameToSettings(const ObserverFrame& frame);

    // Image-plane scale of a W x H picture: the longer side spans -500..500.
    static void aspectFactors(int width, int height, float& sx, float& sy);

    // Doppler read-out for relative cursor coordinates (u, v) from the view's centre.
    float dopplerAt(float u, float v) const;
    // Searchlight brightness factor (1/D)^k for a wavelength Doppler factor D; 1 when off.
    float beamingFactor(float doppler) const;
    // The status bar's brightness read-out: dopplerAt(u, v) (a frequency factor) to the k.
    float beamingAt(float u, float v) const;
};
