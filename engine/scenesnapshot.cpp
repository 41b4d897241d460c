#include "engine/scenesnapshot.h"

namespace {

// zlib's fastest level: scene text is repetitive enough that it packs to about a tenth, and the
// GUI thread waits for it after every edit.
constexpr int kPackLevel = 1;

}  // namespace

SceneSnapshot SceneSnapshot::ofUtf8(const QByteArray& text) {
    SceneSnapshot snapshot;
    snapshot.packed = qCompress(text, kPackLevel);
    return snapshot;
}

QByteArray SceneSnapshot::utf8() const { return isNull() ? QByteArray() : qUncompress(packed); }
