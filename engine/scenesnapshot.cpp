#include "engine/scenesnapshot.h"

#include <QtEndian>
#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

#include "base/sidebyside.h"

namespace {

// zlib's fastest level: scene text is repetitive enough that it packs to about a tenth, and an
// edit made at once after another waits for it.
constexpr int kPackLevel = 1;

}  // namespace

SceneSnapshot SceneSnapshot::ofUtf8(const QByteArray& text, int threads) {
    std::promise<QByteArray> done;
    done.set_value(pack(text, threads));
    SceneSnapshot snapshot;
    snapshot.packed = done.get_future().share();
    return snapshot;
}

SceneSnapshot SceneSnapshot::writtenAside(std::function<QByteArray()> write) {
    SceneSnapshot snapshot;
    try {
        snapshot.packed =
            std::async(std::launch::async, [write] { return pack(write(), 0); }).share();
    } catch (const std::system_error&) {
        return ofUtf8(write());  // no thread to be had: written here and now
    }
    return snapshot;
}

QByteArray SceneSnapshot::pack(const QByteArray& text, int threads) {
    const qsizetype processors =
        threads > 0 ? threads : qsizetype(std::max(1u, std::thread::hardware_concurrency()));
    const int pieces = int(std::clamp(text.size() / kMinPieceBytes, qsizetype(1), processors));
    std::vector<QByteArray> packedPieces(static_cast<size_t>(pieces));
    runSideBySide(pieces, [&](int k) {
        const qsizetype begin = text.size() * k / pieces;
        const qsizetype end = text.size() * (k + 1) / pieces;
        packedPieces[size_t(k)] = qCompress(
            reinterpret_cast<const uchar*>(text.constData()) + begin, end - begin, kPackLevel);
    });
    qsizetype total = 0;
    for (const QByteArray& piece : packedPieces) total += 4 + piece.size();
    QByteArray packedText;
    packedText.reserve(total);
    for (const QByteArray& piece : packedPieces) {
        char size[4];
        qToBigEndian(quint32(piece.size()), size);
        packedText.append(size, 4).append(piece);
    }
    return packedText;
}

QByteArray SceneSnapshot::utf8() const {
    if (isNull()) return QByteArray();
    const QByteArray& packed = this->packed.get();
    std::vector<QByteArray> pieces;
    for (qsizetype at = 0; at < packed.size();) {
        const qsizetype size = qFromBigEndian<quint32>(packed.constData() + at);
        pieces.push_back(packed.mid(at + 4, size));  // shares nothing it changes: read only
        at += 4 + size;
    }
    runSideBySide(int(pieces.size()),
                  [&](int k) { pieces[size_t(k)] = qUncompress(pieces[size_t(k)]); });
    if (pieces.size() == 1) return pieces.front();
    qsizetype total = 0;
    for (const QByteArray& piece : pieces) total += piece.size();
    QByteArray text;
    text.reserve(total);
    for (const QByteArray& piece : pieces) text.append(piece);
    return text;
}
