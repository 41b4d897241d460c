// Reading and writing the eye element of the render settings.
#include "scene/elemeye.h"

#include <QStringList>
#include <cmath>

namespace Reader {

namespace {
const QString kCieText = QStringLiteral("cie1931");
}  // namespace

bool ElemEye::fromString(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed == kCieText) {
        *value = cieHumanEye();
        return true;
    }
    const QStringList parts = trimmed.split(QLatin1Char(';'));
    if (parts.size() != 9) return false;
    float w[9];
    for (int i = 0; i < 9; ++i) {
        bool ok = false;
        w[i] = parts[i].trimmed().toFloat(&ok);
        if (!ok || !std::isfinite(w[i])) return false;
    }
    // Curves whose ends meet their peak divide by zero when built (EyeChannel).
    for (int c = 0; c < 3; ++c)
        if (!(w[3 * c] < w[3 * c + 1] && w[3 * c + 1] < w[3 * c + 2])) return false;
    Eye eye;
    for (int c = 0; c < 3; ++c) eye.channel[c] = EyeChannel(w[3 * c], w[3 * c + 1], w[3 * c + 2]);
    eye.kind = EyeKind::ThreeCurve;
    *value = eye;
    return true;
}

QString ElemEye::toString() const {
    if (value->kind == EyeKind::Cie1931) return kCieText;
    QStringList parts;
    for (const EyeChannel& c : value->channel)
        for (float w : {c.lo, c.peak, c.hi}) parts << QString::number(w, 'g', 6);
    return parts.join(QLatin1Char(';'));
}

void ElemEye::writeXml(int indent, QTextStream& out) {
    if (*value == defaultEye()) return;
    DataElem::writeXml(indent, out);
}

}  // namespace Reader
