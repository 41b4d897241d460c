// Writing and reading fly-path text files; readers report the line of the first problem.
#include "engine/flypathfile.h"

#include <QList>
#include <cmath>

#include "engine/recorder.h"
#include "engine/safefile.h"
#include "scene/userfile.h"

const char* const FlyPathFile::kMagic = "tavolin-flypath";

namespace {

// Significant digits that make a float / a double survive text exactly (FLT_DECIMAL_DIG,
// DBL_DECIMAL_DIG).
constexpr int kFloatDigits = 9;
constexpr int kDoubleDigits = 17;
// Smallest magnitude that rounds to infinity in single precision: FLT_MAX plus half its ulp.
constexpr double kFloatOverflow = 0x1.ffffffp+127;

// Locale-independent (unlike printf under a user's locale); QByteArray::number drops the sign of
// a negative zero, which a bit-exact round trip keeps.
QByteArray numberText(double v, int digits) {
    if (v == 0.0 && std::signbit(v)) return QByteArrayLiteral("-0");
    return QByteArray::number(v, 'g', digits);
}

QString lineError(int line, const QString& reason) {
    return QStringLiteral("line %1: %2").arg(line).arg(reason);
}

// One number field; false with a reason. Floats must fit single precision.
bool parseField(const QByteArray& text, int field, bool isFloat, double& value, QString& reason) {
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok) {
        // Qt refuses overflowing input, so tell "too large" from "not a number" by its form.
        const QByteArray lower = text.toLower();
        if (lower.contains("inf") || lower.contains("nan"))
            reason = QStringLiteral("field %1 (\"%2\") is not a finite number")
                         .arg(field)
                         .arg(QString::fromLatin1(text));
        else
            reason = QStringLiteral("field %1 (\"%2\") is not a number")
                         .arg(field)
                         .arg(QString::fromLatin1(text));
        return false;
    }
    if (!std::isfinite(v) || (isFloat && std::fabs(v) >= kFloatOverflow)) {
        reason = QStringLiteral("field %1 (\"%2\") is not a finite number%3")
                     .arg(field)
                     .arg(QString::fromLatin1(text))
                     .arg(isFloat ? QStringLiteral(" in single precision") : QString());
        return false;
    }
    value = v;
    return true;
}

}  // namespace

QByteArray FlyPathFile::format(const std::vector<FlyPathPoint>& points) {
    QByteArray out;
    out += kMagic;
    out += ' ';
    out += QByteArray::number(kVersion);
    out += '\n';
    out += "# film-time observer-time speed  position(1 x y z) right(- x y z) up(- x y z) "
           "forward(- x y z)\n";
    for (const FlyPathPoint& p : points) {
        out += numberText(p.time, kDoubleDigits);
        out += ' ';
        out += numberText(p.observerTime, kDoubleDigits);
        out += ' ';
        out += numberText(double(p.speed), kFloatDigits);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                out += ' ';
                out += numberText(double(p.frame.m[r][c]), kFloatDigits);
            }
        out += '\n';
    }
    return out;
}

bool FlyPathFile::parse(const QByteArray& text, std::vector<FlyPathPoint>& points, QString& error) {
    const QList<QByteArray> lines = text.split('\n');
    std::vector<FlyPathPoint> read;
    bool headerSeen = false;
    int version = kVersion;
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNo = i + 1;
        const QByteArray line = lines[i].trimmed();  // also drops a '\r' of DOS line ends
        if (line.isEmpty() || line.startsWith('#')) continue;
        const QList<QByteArray> fields = line.simplified().split(' ');

        if (!headerSeen) {
            if (fields.size() != 2 || fields[0] != kMagic) {
                error = lineError(lineNo, QStringLiteral("not a fly-path file (the first line "
                                                         "must be \"%1 %2\")")
                                              .arg(QLatin1String(kMagic))
                                              .arg(kVersion));
                return false;
            }
            bool ok = false;
            version = fields[1].toInt(&ok);
            if (!ok || version < 1 || version > kVersion) {
                error =
                    lineError(lineNo, QStringLiteral("fly-path format version \"%1\" is not "
                                                     "supported (this program reads versions 1 "
                                                     "to %2)")
                                          .arg(QString::fromLatin1(fields[1]))
                                          .arg(kVersion));
                return false;
            }
            headerSeen = true;
            continue;
        }

        const int count = version == 1 ? kVersion1FieldCount : kFieldCount;
        if (fields.size() != count) {
            error = lineError(lineNo, QStringLiteral("expected %1 numbers (film time, %2speed and "
                                                     "16 frame values), found %3")
                                          .arg(count)
                                          .arg(version == 1 ? QString()
                                                            : QStringLiteral("observer's time, "))
                                          .arg(fields.size()));
            return false;
        }
        // values: film time, observer's time, speed, frame; a version 1 line gives the film
        // time as the observer's time.
        double values[kFieldCount];
        for (int f = 0; f < count; ++f) {
            const int slot = version == 1 && f > 0 ? f + 1 : f;
            QString reason;
            if (!parseField(fields[f], f + 1, f > 0, values[slot], reason)) {
                error = lineError(lineNo, reason);
                return false;
            }
        }
        if (version == 1) {
            // The film time becomes the observer's time, which the renderer takes as a float.
            if (!(std::fabs(values[0]) < kFloatOverflow)) {
                error = lineError(lineNo, QStringLiteral("film time %1 is too large to serve as "
                                                         "the observer's time (version 1 file)")
                                              .arg(QString::fromLatin1(fields[0])));
                return false;
            }
            values[1] = values[0];
        }
        // An observer at or beyond the speed of light has no picture: the Lorentz factor
        // 1 / sqrt(1 - v^2) is not finite.
        const int speedField = version == 1 ? 1 : 2;
        if (!(std::fabs(values[2]) < 1.0) || !(std::fabs(float(values[2])) < 1.0f)) {
            error = lineError(lineNo, QStringLiteral("speed %1 is not below the speed of light "
                                                     "(it must lie strictly between -1 and 1)")
                                          .arg(QString::fromLatin1(fields[speedField])));
            return false;
        }
        FlyPathPoint p;
        p.time = values[0];
        p.observerTime = values[1];
        p.speed = float(values[2]);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) p.frame.m[r][c] = float(values[3 + 4 * r + c]);
        if (!read.empty() && p.time < read.back().time) {
            error = lineError(lineNo, QStringLiteral("film time %1 is earlier than the time %2 "
                                                     "of the point before (times must not "
                                                     "descend)")
                                          .arg(p.time, 0, 'g', kDoubleDigits)
                                          .arg(read.back().time, 0, 'g', kDoubleDigits));
            return false;
        }
        read.push_back(p);
    }
    if (!headerSeen) {
        error = QStringLiteral("empty file (no \"%1 %2\" line)")
                    .arg(QLatin1String(kMagic))
                    .arg(kVersion);
        return false;
    }
    points.swap(read);
    return true;
}

bool FlyPathFile::save(const QString& fileName, const Recorder& recorder, QString& error) {
    std::vector<FlyPathPoint> points;
    points.reserve(size_t(recorder.pointCount()));
    for (int i = 0; i < recorder.pointCount(); ++i) points.push_back(recorder.point(i));
    return SafeFile::write(fileName, format(points), &error);
}

bool FlyPathFile::load(const QString& fileName, Recorder& recorder, QString& error) {
    QByteArray text;
    if (!UserFile::read(fileName, text, error)) return false;
    std::vector<FlyPathPoint> points;
    QString reason;
    if (!parse(text, points, reason)) {
        error = QStringLiteral("%1, %2").arg(fileName, reason);
        return false;
    }
    if (!recorder.setPoints(points)) {  // parse already refuses what setPoints would
        error = QStringLiteral("%1: the times are not ascending").arg(fileName);
        return false;
    }
    return true;
}
