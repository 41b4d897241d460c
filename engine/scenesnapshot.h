// The scene's items as scene-file text, held for undoing and redoing an edit: UTF-8, compressed,
// and shared between copies. A scene of 200,000 objects writes 41 million characters, 82 MB as a
// string, and the undo stack held two such texts for every edit; packed, an edit's texts take a
// few megabytes, and the text after one edit is the one before the next (DocRT::sceneSnapshot).
// Long texts are packed in pieces, one per processor, side by side.
#pragma once

#include <QByteArray>
#include <QString>

class SceneSnapshot {
public:
    SceneSnapshot() = default;  // no text
    static SceneSnapshot of(const QString& text) { return ofUtf8(text.toUtf8()); }
    // threads: how many pieces a long text is packed in at most (0: one per processor).
    static SceneSnapshot ofUtf8(const QByteArray& text, int threads = 0);

    bool isNull() const { return packed.isNull(); }
    // The text as written, in UTF-8 (empty for no text).
    QByteArray utf8() const;
    QString text() const { return QString::fromUtf8(utf8()); }
    // The bytes held (shared with the snapshot's copies).
    qsizetype storedBytes() const { return packed.size(); }
    // Whether both hold the same text in the same memory (copies of one snapshot).
    bool sharesTextWith(const SceneSnapshot& other) const {
        return packed.isSharedWith(other.packed);
    }

    // Texts shorter than this are packed in one piece.
    static constexpr qsizetype kMinPieceBytes = 1 << 20;

private:
    // The pieces in order, each as its packed size (4 bytes, big-endian) and qCompress's bytes.
    QByteArray packed;
};
