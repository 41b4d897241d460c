// The starry sky at infinity behind a frame: every star (or each of its images around the black
// hole) is projected through the relativistic camera once per frame and splatted as a point
// source onto the four pixels around its position with bilinear weights, so that it moves and
// keeps its brightness smoothly as the view turns (no texture sampling, no flicker). Only the
// pixels whose ray hit nothing show the sky: the frame marks them with the background pixel's
// alpha byte cleared, and drawRows turns them into background plus starlight.
//
// A star's colour is a black body at its temperature seen with the camera's Doppler factor D
// through the eye (lines of wavelength lambda seen at lambda D: a black body at T / D), with the
// searchlight's (1/D)^k, from a table per temperature class over log D made by the eye's own
// line-by-line conversion (SpectrumTable::direct). The lines are Planck's law on a logarithmic
// grid from kFirstNm to kLastNm, far wider than a surface colour's: whatever factor D brings
// into any eye's range is there, and a shift by D only slides the grid along itself, so the lines
// seen at D are exactly those of a black body at T / D.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "accel/skylensing.h"
#include "geometry/vec4f.h"
#include "scene/eye.h"

struct BlackHoleFrame;
struct FrameContext;
class ColDiscrete;
class PixelBuffer;
class StarCatalogue;

class StarrySky {
public:
    // Luminance (1 = display white on one pixel) of a star of magnitude 0 summed over its
    // pixels; a star of magnitude m has 10^(-0.4 m) of it. Magnitude 0 then fills a pixel well
    // beyond white, magnitude 6 adds a few levels to a dark background.
    static constexpr float kMagnitudeZeroLuminance = 20.0f;
    // Temperature classes: log-spaced from kMinKelvin to kMaxKelvin; a star takes the nearest
    // (neighbouring classes differ by about 15 %, a barely visible change of colour).
    static constexpr int kClasses = 24;
    static constexpr float kMinKelvin = 2000.0f, kMaxKelvin = 50000.0f;
    // Colour tables over log2 D in [-kOctaves, kOctaves] (D from 1/32 to 32, beyond 0.998 c),
    // kStepsPerOctave entries per octave; factors outside take the nearest end.
    static constexpr int kOctaves = 5, kStepsPerOctave = 16;
    static constexpr int kEntries = 2 * kOctaves * kStepsPerOctave + 1;
    // The star's spectral lines: from kFirstNm to kLastNm, each kLineRatio times the last, each
    // carrying Planck's law times its bin's width.
    static constexpr double kFirstNm = 10.0, kLastNm = 30000.0, kLineRatio = 1.006;

    // The Milky Way: a smooth glow along the galactic plane, luminance (1 = display white)
    // kMilkyWayLuminance exp(-b^2 / (2 sigma^2)) (kMilkyWayFloor + (1 - kMilkyWayFloor)
    // exp(-l^2 / (2 lambda^2))) at galactic latitude b and longitude l (the centre of the
    // galaxy at l = 0), sigma = kMilkyWayWidthDeg, lambda = kMilkyWayBulgeDeg; the colour of
    // the disk's integrated starlight, a black body at kMilkyWayKelvin. It is a surface
    // brightness: lensing moves it but does not brighten it (brightness is conserved along a
    // ray), the searchlight does. Computed every kMilkyWayGrid pixels and interpolated.
    static constexpr float kMilkyWayLuminance = 0.03f, kMilkyWayFloor = 0.35f;
    static constexpr float kMilkyWayWidthDeg = 5.0f, kMilkyWayBulgeDeg = 35.0f;
    static constexpr float kMilkyWayKelvin = 4500.0f;
    static constexpr int kMilkyWayGrid = 8;
    // Grid cells with a corner whose ray left the hole turned by more than a right angle
    // beyond its start (psi < -pi/2: the band's thin secondary images at the shadow's edge) are
    // computed pixel by pixel.
    static constexpr double kSteepEscapeAngle = -M_PI / 2;
    // The north galactic pole and the galactic centre in equatorial coordinates (J2000): the
    // plane of the band (declination in degrees, right ascension in hours).
    static constexpr double kGalacticPoleDec = 27.128, kGalacticPoleRa = 12.8567;
    static constexpr double kGalacticCentreDec = -28.936, kGalacticCentreRa = 17.7611;
    // The band's luminance in scene direction dir (unit).
    static float milkyWayLuminance(const float dir[3]);

    // One star image placed on the picture: column u and row v in pixel units (pixel (c, r)
    // is the sample at u = c, v = r) and the unshaded channel sums it brings in total.
    struct Splat {
        float u, v;
        float sums[3];
    };

    StarrySky();
    ~StarrySky();
    StarrySky(const StarrySky&) = delete;
    StarrySky& operator=(const StarrySky&) = delete;

    // The stars to draw; null (the default) is StarCatalogue::standard(), read at the first
    // begin(). The catalogue must outlive its use. Between frames.
    void setCatalogue(const StarCatalogue* catalogue);

    // Projects every star for the frame: the camera's pose, speed and switches, the picture's
    // size and samples per side. hole, when given (light bending on), is the black hole whose
    // paths bend the starlight; its table must be prepared. background is the pixel the sky is
    // drawn over (the frame's settings copy keeps a background of its own, see RenderSettings'
    // assignment).
    //
    // The work is done in shares, so that the render workers place the stars side by side:
    // begin() sets the frame up (GUI thread, between frames), then workers call placeNext() at
    // the same time, each call placing a share of the stars (kStarsPerShare) or of the Milky
    // Way's grid rows (kGridRowsPerShare). The call that completes the last share sorts the
    // splats and returns Last; from then on (at once when begin() leaves nothing to place)
    // drawRows may run, once the callers' own synchronisation orders it after that call. The
    // picture does not depend on which worker placed what: the splats are sorted in star order,
    // and every share is computed with the rounding of the thread that set the frame up.
    void begin(const FrameContext& frame, const BlackHoleFrame* hole, uint32_t background);
    enum class Share { None, Placed, Last };
    Share placeNext();
    // After begin(): no share to place (nothing to draw, or no memory for the sky).
    bool nothingToPlace() const { return shares_ == 0; }
    static constexpr int kStarsPerShare = 1024;
    static constexpr int kGridRowsPerShare = 8;

    // Rows [r0, r1) of the frame's picture: every marked pixel becomes the background plus the
    // starlight splatted onto it (clamped per channel), others stay. Any worker, rows disjoint
    // from other workers'; allocates nothing.
    void drawRows(PixelBuffer& buffer, int r0, int r1);

    // The placed images of the last frame, ordered by row (once its last share is placed).
    const std::vector<Splat>& splats() const { return sorted_; }
    const SkyLensing& lensing() const { return lensing_; }

    // The camera's inverse for one scene-frame unit direction: the picture position (u, v) of
    // the frame and the Doppler factor D of light arriving from there. False when the direction
    // lies behind the image plane.
    static bool project(const FrameContext& frame, int height, const float dir[3], float& u,
                        float& v, float& doppler);

    // The frame's background pixel with the alpha byte cleared: the mark of a pixel whose ray
    // hit nothing (traced pixels always have alpha 255).
    static uint32_t marker(uint32_t background) { return background & 0x00ffffffu; }

    // The class of a temperature, and the temperature a class is drawn with.
    static int classOf(float kelvin);
    static double classKelvin(int cls);
    // A star's lines at this temperature, scaled to luminance 1 (Y under the CIE eye at D = 1).
    static void starLines(double kelvin, ColDiscrete& out);
    // Builds the colour tables for this eye (its curves, kind and searchlight) unless they are
    // built for it already; begin() calls it. Between frames.
    void prepareColours(const Eye& eye);
    // Unshaded sums per unit luminance of class cls seen at Doppler factor D. Any thread.
    void colour(int cls, float doppler, float sums[3]) const;

private:
    // begin() after the frame's size, eye and background: may throw std::bad_alloc.
    void setUp(const FrameContext& frame, const BlackHoleFrame* hole);
    // Stars [first, end) of the catalogue into out.
    void placeStars(size_t first, size_t end, std::vector<Splat>& out) const;
    // The band's channel sums on grid rows [first, end).
    void placeMilkyWay(int first, int end);
    // After the last share: the splats sorted by row.
    void sortSplats();
    // Out of memory: the sky's storage freed, and drawRows draws the bare background.
    void releaseMemory();
    // The band's sums for the ray at image-plane (x, y) of the prepared frame; true when the
    // ray is captured or steeply bent (see kSteepEscapeAngle). Any worker.
    bool bandAt(float x, float y, const Vec4f& yvec, float out[3]) const;
    // Image-plane y of row r, as the camera computes it.
    float rowY(int r) const;

    const StarCatalogue* catalogue_ = nullptr;
    const StarCatalogue* prepared_ = nullptr;  // the catalogue starClass_ and luminance_ are for
    std::vector<uint8_t> starClass_;
    std::vector<float> luminance_;

    std::vector<std::unique_ptr<ColDiscrete>> colours_;
    std::vector<float> tables_;  // kClasses x kEntries x 3
    uint64_t tableKey_ = 0;
    bool tablesBuilt_ = false;

    SkyLensing lensing_;
    // The shares of the frame being placed: the star shares first, then the grid's; the next
    // share to hand out and the number completed.
    int starShares_ = 0, shares_ = 0;
    std::atomic<int> nextShare_{0}, sharesDone_{0};
    std::atomic<bool> shareFailed_{false};  // a share ran out of memory: draw without the sky
    std::vector<std::vector<Splat>> shareSplats_;  // per star share, kept from frame to frame
    int samplesPerSide_ = 1;
    std::vector<Splat> sorted_;
    std::vector<int> rowStart_;   // rowStart_[j + 1]: first sorted splat with floor(v) >= j
    std::vector<float> acc_;      // channel sums per pixel, width x height x 3
    std::vector<float> band_;     // the Milky Way's sums every kMilkyWayGrid pixels, x 3
    std::vector<uint8_t> steep_;  // per grid point: bandAt's flag
    const FrameContext* frame_ = nullptr;  // the frame being drawn
    const BlackHoleFrame* hole_ = nullptr;
    float wellFactor_ = 1.0f;
    int bandClass_ = 0;
    int bandW_ = 0;  // grid points per row
    int bandH_ = 0;  // grid rows
    bool hasBand_ = false;
    bool usable_ = false;  // begin() and the shares had the memory they needed
    Eye eye_;
    uint32_t background_ = 0;
    int width_ = 0, height_ = 0;
};
