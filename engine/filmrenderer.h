// Renders a recorded fly path as a numbered picture sequence (NAME_00000.png, NAME_00001.png ...):
// frame k shows the recording at film time k / fps, rendered like a screenshot with an engine, a
// pool and a pixel buffer of its own. Used by the film dialog and by tavolin-render.
#pragma once

#include <QString>
#include <atomic>
#include <functional>

#include "scene/rendersettings.h"

class DocRT;
class Recorder;

struct FilmSettings {
    QString fileName;  // "NAME.png": frame k goes to "NAME_kkkkk.png" (format by the suffix)
    int width = 640;
    int height = 480;
    int antialiasing = 1;  // samples per pixel: 1, 4, 8 or 16
    int fps = 25;
    int firstFrame = 0;
    int lastFrame = -1;  // -1: the film's last frame
    int threads = 0;     // 0: one worker per processor
};

class FilmRenderer {
public:
    enum Result { Finished = 0, Canceled, NoRecording, BadRange, OutOfMemory, SaveFailed };

    // Called before each frame (percent 0), repeatedly while it renders (percent of its rows
    // handed out, at most 99) and after it is saved (100, and only then), on the thread that called render(). Returning
    // false cancels: a frame being rendered is abandoned and not saved.
    using Progress = std::function<bool(int frame, int percent)>;

    // The document supplies scene, tree, settings and recording. It must not change, and its
    // views must not render, while render() runs (the scene's objects and the black hole's table
    // are prepared for each film frame's observer).
    explicit FilmRenderer(DocRT& doc);

    // The most frames a film may have: ten million, more than four days at 25 fps, and still far
    // from the largest int. Longer films are refused before anything is rendered.
    static constexpr int kMaxFrames = 10'000'000;

    // floor(duration * fps) + 1 frames cover a recording of the given duration (a product within
    // 1e-9 below a whole number counts as that number, so that 2 s at 25 fps give 51 frames
    // whatever the rounding of the recorded times). 0 for a non-positive fps; kMaxFrames + 1 for
    // any film longer than kMaxFrames frames (render() refuses it).
    static int frameCount(double duration, int fps);
    // Film time of frame k: k / fps seconds.
    static double frameTime(int frame, int fps) { return double(frame) / double(fps); }
    // "dir/film.png", 7 -> "dir/film_00007.png"; a name without suffix gets none.
    static QString frameFileName(const QString& fileName, int frame);
    // Writes into out the settings frame k renders with: base (background and switches
    // included) with the observer frame, speed and time (start.w) of the recording at film time
    // k / fps. Needs a
    // point. (Filled in place: RenderSettings' copies keep their own background.)
    static void frameSettings(RenderSettings& out, const RenderSettings& base,
                              const Recorder& recorder, int frame, int fps);

    // Frames of the document's recording at fps (0 without points).
    int frameCount(int fps) const;

    // Renders and saves the frames firstFrame .. lastFrame. GUI thread (or the main thread of the
    // headless renderer). The frame names are checked before the first frame renders; each
    // frame is written atomically, so a failure leaves no partial picture. Stops at the first
    // error; errorText() then says why, once.
    Result render(const FilmSettings& settings, const Progress& progress = Progress());

    // Any thread: stops render() before the next frame, and abandons the frame being rendered.
    void cancel() { canceled = true; }

    QString errorText() const { return error; }
    int framesWritten() const { return written; }
    // Frames render() was asked to write (after resolving lastFrame = -1).
    int firstFrame() const { return first; }
    int lastFrame() const { return last; }

private:
    // Makes the black hole's table exactly the one for this frame's observer, so that a frame's
    // picture does not depend on which frames were rendered before it (films split over
    // machines stay seamless).
    void prepareBlackHole(const RenderSettings& s);

    DocRT& doc;
    std::atomic<bool> canceled{false};
    QString error;
    int written = 0;
    int first = 0;
    int last = -1;
};
