// The value rules of scene items, shared by the scene file reader and the edit dock.
#include "scene/valuerules.h"

#include <QCoreApplication>
#include <charconv>
#include <cmath>

#include "scene/dataelem.h"

namespace Reader {

namespace {
QString tr(const char* text) { return QCoreApplication::translate("Reader", text); }

bool isDiskTag(const QString& tag) { return tag == QLatin1String("newdisk"); }

// The disk's temperatures: those the blackbody colours are made for.
constexpr double kDiskMinTemperature = 300.0, kDiskMaxTemperature = 1.0e6;

// A value as a saved file holds it, with six significant digits: an item the rules accept loads
// again from the file it is saved to. (Through QString and QStringList, the edges' rules took half
// the time of loading a scene of boxes.)
double asSaved(float value) {
    char text[32];
    const auto written =
        std::to_chars(text, text + sizeof text, double(value), std::chars_format::general, 6);
    double saved = value;
    std::from_chars(text, written.ptr, saved);
    return saved;
}

double floatOf(const PropertyList* item, const char* name, double fallback) {
    const auto* number =
        item ? dynamic_cast<const ElemFloat*>(item->find(QLatin1String(name))) : nullptr;
    return number ? asSaved(*number->field()) : fallback;
}

// Sizes that must be positive: a zero or negative radius, texture extent, cube size or black
// hole radius draws nothing (or one colour) and never means what the author wanted.
bool mustBePositive(const QString& tag, const QString& name) {
    static const QStringList names = {QStringLiteral("radius"), QStringLiteral("sx"),
                                      QStringLiteral("sy"), QStringLiteral("sz"),
                                      QStringLiteral("bhradius")};
    return names.contains(name) || (isDiskTag(tag) && (name == QLatin1String("rout") ||
                                                       name == QLatin1String("tmax")));
}

// A moving sphere may exist for all time: its tmin and tmax may be infinite (not NaN). The
// disk's tmax is a temperature.
bool mayBeInfinite(const QString& tag, const QString& name) {
    return !isDiskTag(tag) && (name == QLatin1String("tmin") || name == QLatin1String("tmax"));
}

// The edges of planes and cubes span the object; a zero edge leaves nothing to hit.
bool isEdge(const QString& tag, const QString& name) {
    return (tag == QLatin1String("plane") || tag == QLatin1String("cube")) &&
           (name == QLatin1String("x") || name == QLatin1String("y") || name == QLatin1String("z"));
}

// Edges of one plane or cube closer to parallel than this (the sine of their angle) span no area
// a ray can hit reliably; exactly proportional edges typed in decimals land within about 1e-7.
constexpr double kMinEdgeSine = 1e-6;

// The x, y, z of a vector property as doubles; false when the item has no such property.
bool edgeOf(const PropertyList* item, const char* name, double v[3]) {
    const auto* vector =
        item ? dynamic_cast<const ElemVec*>(item->find(QLatin1String(name))) : nullptr;
    if (!vector) return false;
    const Vec4f& field = *vector->field();
    for (int k = 0; k < 3; ++k) v[k] = asSaved(field[k]);
    return true;
}

const char* const kEdgeNames[3] = {"x", "y", "z"};

// The rules of the edges x, y and z of a plane (x and y only) or a cube.
bool checkEdges(const QString& tag, const double edges[3][3], QString& why, QStringList* faulty) {
    const bool cube = tag == QLatin1String("cube");
    const int pairs[3][2] = {{0, 1}, {1, 2}, {2, 0}};
    for (int p = 0; p < (cube ? 3 : 1); ++p) {
        const double* a = edges[pairs[p][0]];
        const double* b = edges[pairs[p][1]];
        const double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2],
                             a[0] * b[1] - a[1] * b[0]};
        const double cross = std::sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
        const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
        if (!(cross > kMinEdgeSine * la * lb)) {
            const QString first = QLatin1String(kEdgeNames[pairs[p][0]]);
            const QString second = QLatin1String(kEdgeNames[pairs[p][1]]);
            why = tr("<%1> edges %2 and %3 are parallel").arg(tag, first, second);
            if (faulty) *faulty = QStringList{first, second};
            return false;
        }
    }
    if (!cube) return true;
    // Three edges in one plane make a cube without volume: every pair may be far from parallel.
    const double* x = edges[0];
    const double* y = edges[1];
    const double* z = edges[2];
    const double volume = x[0] * (y[1] * z[2] - y[2] * z[1]) - x[1] * (y[0] * z[2] - y[2] * z[0]) +
                          x[2] * (y[0] * z[1] - y[1] * z[0]);
    const auto length = [](const double* v) {
        return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    };
    if (!(std::fabs(volume) > kMinEdgeSine * length(x) * length(y) * length(z))) {
        why = tr("<cube> edges x, y and z lie in one plane");
        if (faulty) *faulty = QStringList{kEdgeNames[0], kEdgeNames[1], kEdgeNames[2]};
        return false;
    }
    return true;
}

}  // namespace

bool checkNumbers(const QString& tag, const QString& name, const DataElem* element, QString& why) {
    const bool isFloat = dynamic_cast<const ElemFloat*>(element) != nullptr;
    const bool isVector = dynamic_cast<const ElemVec*>(element) != nullptr;
    if (!isFloat && !isVector) return true;
    const QString text = element->toString();
    double squares = 0.0;
    const QStringList parts = text.split(QLatin1Char(';'));
    for (int i = 0; i < parts.size(); ++i) {
        const double v = parts[i].toDouble();
        const bool allowed = std::isfinite(v) || (mayBeInfinite(tag, name) && !std::isnan(v));
        if (!allowed) {
            why = tr("<%1> %2 must be a finite number, not \"%3\"").arg(tag, name, text);
            return false;
        }
        if (i < 3) squares += v * v;
    }
    if (isFloat && mustBePositive(tag, name) && !(parts[0].toDouble() > 0.0)) {
        why = tr("<%1> %2 must be greater than 0, not \"%3\"").arg(tag, name, text);
        return false;
    }
    if (isVector && name == QLatin1String("velocity") && !(squares < 1.0)) {
        why = tr("<%1> velocity must be slower than light (|v| < 1), not \"%2\"").arg(tag, text);
        return false;
    }
    if (isVector && isEdge(tag, name) && !(squares > 0.0)) {
        why = tr("<%1> edge %2 must not have zero length").arg(tag, name);
        return false;
    }
    return true;
}

bool checkEdgePairs(const QString& tag, const PropertyList* item, QString& why,
                    QStringList* faulty) {
    if (tag != QLatin1String("cube") && tag != QLatin1String("plane")) return true;
    double edges[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};  // the objects' defaults
    for (int i = 0; i < 3; ++i) edgeOf(item, kEdgeNames[i], edges[i]);
    return checkEdges(tag, edges, why, faulty);
}

bool checkEdgePairs(const QString& tag, const Vec4f* const fields[3], QString& why) {
    if (tag != QLatin1String("cube") && tag != QLatin1String("plane")) return true;
    double edges[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < (tag == QLatin1String("cube") ? 3 : 2); ++i)
        for (int k = 0; k < 3; ++k) edges[i][k] = asSaved((*fields[i])[k]);
    return checkEdges(tag, edges, why, nullptr);
}

bool checkDisk(const QString& tag, const PropertyList* item, QString& why, QStringList* faulty) {
    if (!isDiskTag(tag)) return true;
    double axis[3] = {0, 1, 0};  // the disk's default normal
    edgeOf(item, "normal", axis);
    if (!(axis[0] * axis[0] + axis[1] * axis[1] + axis[2] * axis[2] > 0.0)) {
        why = tr("<newdisk> normal must not have zero length");
        if (faulty) *faulty = QStringList{QStringLiteral("normal")};
        return false;
    }
    const double rout = floatOf(item, "rout", 1.0), rin = floatOf(item, "rin", 0.0);
    if (!(rin >= 0.0)) {
        why = tr("<newdisk> rin must be 0 (the innermost stable orbit) or more, not %1").arg(rin);
        if (faulty) *faulty = QStringList{QStringLiteral("rin")};
        return false;
    }
    if (rin > 0.0 && !(rout > rin)) {
        why = tr("<newdisk> rout (%1) must be greater than rin (%2)").arg(rout).arg(rin);
        if (faulty) *faulty = QStringList{QStringLiteral("rout"), QStringLiteral("rin")};
        return false;
    }
    const double tmax = floatOf(item, "tmax", 10000.0);
    if (!(tmax >= kDiskMinTemperature && tmax <= kDiskMaxTemperature)) {
        why = tr("<newdisk> tmax must be a temperature from 300 to 1000000 K, not %1").arg(tmax);
        if (faulty) *faulty = QStringList{QStringLiteral("tmax")};
        return false;
    }
    return true;
}

bool checkItem(const QString& tag, const PropertyList* item, QString& why, QStringList* faulty) {
    return checkEdgePairs(tag, item, why, faulty) && checkDisk(tag, item, why, faulty);
}

}  // namespace Reader
