// The scene's items as scene-file text, held for undoing and redoing an edit: UTF-8, compressed,
// and shared between copies. A scene of 200,000 objects writes 41 million characters, 82 MB as a
// string, and the undo stack held two such texts for every edit; packed, an edit's texts take a
// few megabytes, and the text after one edit is the one before the next (DocRT::sceneSnapshot).
// Long texts are packed in pieces, one per processor, side by side.
//
// A snapshot may be written aside: on a thread of its own while the program goes on, so that
// the window does not wait a second for a big scene's text after every edit. Whatever asks for
// its text or size waits for it; its maker must wait() before it changes what the text is
// written from.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <future>

class SceneSnapshot {
public:
    SceneSnapshot() = default;  // no text
    static SceneSnapshot of(const QString& text) { return ofUtf8(text.toUtf8()); }
    // threads: how many pieces a long text is packed in at most (0: one per processor).
    static SceneSnapshot ofUtf8(const QByteArray& text, int threads = 0);
    // The text write() gives, written and packed on a thread of its own from now on. write
    // must only read what it writes from, and that must not change until wait() returns. What
    // write throws is thrown again to whoever asks for the text.
    static SceneSnapshot writtenAside(std::function<QByteArray()> write);

    // Returns once the text is written and packed.
    void wait() const {
        if (packed.valid()) packed.wait();
    }
    bool isNull() const { return !packed.valid(); }
    // The text as written, in UTF-8 (empty for no text).
    QByteArray utf8() const;
    QString text() const { return QString::fromUtf8(utf8()); }
    // The bytes held (shared with the snapshot's copies).
    qsizetype storedBytes() const { return isNull() ? 0 : packed.get().size(); }
    // Whether both hold the same text in the same memory (copies of one snapshot).
    bool sharesTextWith(const SceneSnapshot& other) const {
        return !isNull() && !other.isNull() && packed.get().isSharedWith(other.packed.get());
    }

    // Texts shorter than this are packed in one piece.
    static constexpr qsizetype kMinPieceBytes = 1 << 20;

private:
    static QByteArray pack(const QByteArray& text, int threads);

    // The pieces in order, each as its packed size (4 bytes, big-endian) and qCompress's bytes.
    std::shared_future<QByteArray> packed;
};
