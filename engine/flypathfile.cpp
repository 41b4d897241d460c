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
    out += "# film-time speed  position(1 x y z) right(- x y z) up(- x y z) forward(- x y z)\n";
    for (const FlyPathPoint& p : points) {
        out += numberText(p.time, kDoubleDigits);
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
            const int version = fields[1].toInt(&ok);
            if (!ok || version != kVersion) {
                error =
                    lineError(lineNo, QStringLiteral("fly-path format version \"%1\" is not "
                                                     "supported (this program reads version %2)")
                                          .arg(QString::fromLatin1(fields[1]))
                                          .arg(kVersion));
                return false;
            }
            headerSeen = true;
            continue;
        }

        if (fields.size() != kFieldCount) {
            error = lineError(lineNo, QStringLiteral("expected %1 numbers (film time, speed and "
                                                     "16 frame values), found %2")
                                          .arg(kFieldCount)
                                          .arg(fields.size()));
            return false;
        }
        double values[kFieldCount];
        for (int f = 0; f < kFieldCount; ++f) {
            QString reason;
            if (!parseField(fields[f], f + 1, f > 0, values[f], reason)) {
                error = lineError(lineNo, reason);
                return false;
            }
        }
        // An observer at or beyond the speed of light has no picture: the Lorentz factor
        // 1 / sqrt(1 - v^2) is not finite.
        if (!(std::fabs(values[1]) < 1.0) || !(std::fabs(float(values[1])) < 1.0f)) {
            error = lineError(lineNo, QStringLiteral("speed %1 is not below the speed of light "
                                                     "(it must lie strictly between -1 and 1)")
                                          .arg(QString::fromLatin1(fields[1])));
            return false;
        }
        FlyPathPoint p;
        p.time = values[0];
        p.speed = float(values[1]);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) p.frame.m[r][c] = float(values[2 + 4 * r + c]);
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
