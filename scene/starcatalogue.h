// The stars of the sky at infinity: a direction, a visual magnitude and a colour temperature per
// star, read from the Bright Star Catalogue when it is installed, else generated.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

struct Star {
    float x = 0.0f, y = 0.0f, z = 1.0f;  // unit direction in scene coordinates
    float magnitude = 0.0f;              // visual magnitude (smaller is brighter)
    float kelvin = 6600.0f;              // colour temperature
};

class StarCatalogue {
public:
    // Where the Debian package xplanet installs the Bright Star Catalogue (5th revised edition,
    // about 9,100 stars): lines "Dec RA Mag ..." with the declination in degrees, the right
    // ascension in hours, then the visual magnitude; '#' starts a comment line.
    static constexpr const char* kBscPath = "/usr/share/xplanet/stars/BSC";
    // The catalogue file has no colours. Its stars' colour index B-V has a median of about 0.45
    // (many A-type main-sequence stars, many K giants); ballesterosKelvin(0.45) is about
    // 6,600 K, a yellowish white, which every catalogue star gets.
    static constexpr float kBscKelvin = 6600.0f;
    // The generated sky: as many stars as the catalogue, with its fixed seed.
    static constexpr int kGeneratedCount = 9000;
    static constexpr uint32_t kGeneratedSeed = 20261207u;
    // Magnitudes the generated sky spans, and the slope of its counts: the number of stars
    // brighter than m grows as 10^(0.6 m), the law of a uniform population in Euclidean space,
    // close to the observed naked-eye counts.
    static constexpr float kBrightest = -1.5f, kFaintest = 6.5f, kCountSlope = 0.6f;
    // Magnitudes a catalogue line may give; anything else is a malformed line.
    static constexpr float kMinMagnitude = -30.0f, kMaxMagnitude = 30.0f;

    std::vector<Star> stars;
    // Whether the sky has the faint band of the Milky Way behind its stars (the renderer's
    // standard catalogue has; a list of stars alone has not).
    bool milkyWay = false;
    int skippedLines = 0;  // lines that were neither stars nor comments when read
    QString source;        // the file read, or "generated"

    // The scene direction of equatorial coordinates: the north celestial pole is +y (the
    // default picture's up), right ascension 0 lies along +z and 6 h along +x.
    static void equatorialToScene(double decDegrees, double raHours, float& x, float& y, float& z);

    // Reads catalogue lines (the format of kBscPath). Blank and '#' lines are skipped quietly;
    // a line whose first three fields are not a declination in [-90, 90], a right ascension in
    // [0, 24] and a magnitude in [kMinMagnitude, kMaxMagnitude] is skipped and counted. Extra
    // fields are ignored. Stars take kBscKelvin.
    static StarCatalogue parse(const QByteArray& text);
    // parse() of a file; false with the reason in *error when it cannot be read.
    static bool load(const QString& path, StarCatalogue& out, QString* error = nullptr);

    // A sky of count stars from seed: directions uniform over the sphere, magnitudes with the
    // count law above, and colour indices B-V from a two-peaked distribution (main-sequence
    // stars near 0.0, giants near 1.1) turned into temperatures by ballesterosKelvin. The same
    // seed gives the same stars on every machine (its own generator and conversions).
    static StarCatalogue generate(int count = kGeneratedCount, uint32_t seed = kGeneratedSeed);

    // The colour temperature of a colour index B-V, treating the star as a black body:
    // T = 4600 K (1 / (0.92 (B-V) + 1.7) + 1 / (0.92 (B-V) + 0.62)), Ballesteros, "New insights
    // into black bodies", EPL 97 (2012) 34008.
    static double ballesterosKelvin(double bv);

    // The catalogue the renderer uses: the Bright Star Catalogue when kBscPath can be read and
    // holds stars, else the generated sky; with the Milky Way. Loaded on first use; any thread.
    static const StarCatalogue& standard();
};
