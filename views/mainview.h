// The central widget: the split views, the frame loop that keeps them rendering, and the
// keyboard and mouse navigation of the observer. The frame loop runs on the GUI thread: whenever
// the shared pool reports that its workers are idle, the document applies what was requested,
// every view prepares its next frame and shows the one just finished, and the pool starts again.
// With automatic exposure on, each step also sets the next frame's exposure from the brightness
// of the frames just finished (AutoExposure).
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QSplitter>
#include <QTimer>
#include <memory>
#include <vector>

#include "engine/navigation.h"
#include "views/binaryview.h"
#include "views/frametimes.h"
#include "geometry/vec4f.h"

class DocRT;
class GlView;
struct FrameContext;
class QMouseEvent;
class ThreadBase;
class TimeRT;
struct RenderSettings;

class MainView : public QSplitter {
    Q_OBJECT
public:
    // Period of the navigation timer.
    static constexpr int kNavigationIntervalMs = 30;
    // A frame running longer than this shows its progress (frameProgress).
    static constexpr int kProgressDelayMs = 500;
    // How often a long frame's progress is read.
    static constexpr int kProgressIntervalMs = 100;

    // Creates the pool and the first view, starts the navigation timer and the first frame.
    MainView(QWidget* parent, DocRT* document);
    // Waits for a running frame and stops the workers before the views go.
    ~MainView() override;

    // Holds the frame loop (a context menu or modal dialog is open): the next step is deferred
    // until resumeRendering(), which then runs it at once. The observer's time stands still
    // meanwhile (DocRT::holdObserverTime).
    void suspendRendering();
    void resumeRendering();
    // suspendRendering(), then returns once no frame is under way, so that a tool may change
    // what the workers read (shared scene objects, the light-path table). It waits for the
    // pool's announcement that its workers went idle, holding user input back meanwhile.
    void suspendRenderingUntilIdle();
    bool isMenuOpen() const { return menuOpen; }
    bool isFramePending() const { return framePending; }

    bool isPaused() const { return navigation_.isPaused(); }
    void setPaused(bool paused) { navigation_.setPaused(paused); }

    float framesPerSecond() const { return frameTimes.framesPerSecond(); }
    // Frame-loop steps that started the pool so far.
    long framesStarted() const { return framesStarted_; }
    // True while the pool's workers trace a frame.
    bool isRendering() const;
    // Ends the frame in progress early (within about one row of the slowest view); its partial
    // picture is never shown, and the loop goes on with the next frame. Used when the picture
    // being rendered is no longer wanted.
    void cancelFrame();

    // Read-outs for the pixel under the cursor, from the document's settings (not a view's
    // overrides): the Doppler factor, and the resting and transformed ray directions (x, y, z;
    // w = 0; not normalised).
    float cursorDoppler() const;
    Vec4f cursorRestingDirection() const;
    Vec4f cursorTransformedDirection() const;
    int cursorX() const { return navigation_.cursorX(); }
    int cursorY() const { return navigation_.cursorY(); }
    // The searchlight's brightness factor (1/D)^k of the pixel under the cursor in the view the
    // cursor was last in (the first view before that), with that view's own effect switches and
    // the camera's Doppler factor D of that pixel. False (factor untouched) when the searchlight
    // is off for that view. GUI thread.
    bool cursorBrightness(float& factor) const;
    GlView* cursorView() const;

    // The beaming exponent k (3 photon counting, 4 energy per line) that switching the
    // searchlight on uses, for the document and for views that enable it on their own.
    int searchlightExponent() const { return searchlightK; }

    BinaryView& rootView() { return root; }
    ThreadBase* threadBase() const { return pool.get(); }
    Navigation& navigation() { return navigation_; }
    DocRT* document() const { return doc; }

    // A new view's engine joins the pool at the next frame start.
    void registerEngine(TimeRT* engine);

    // Input of the views, handed to the navigation. The key functions return whether the key
    // is a navigation key.
    bool viewKeyPress(int qtKey);
    bool viewKeyRelease(int qtKey);
    void viewMousePress(GlView* view, QMouseEvent* event);
    void viewMouseRelease(GlView* view, QMouseEvent* event);
    void viewMouseMove(GlView* view, QMouseEvent* event);

signals:
    void updateStatusBar();
    void angleChanged(float angle);
    // Progress of a long frame in percent, rising during the frame and 100 when it ends; -1
    // when a frame ended quickly and the progress should no longer be shown.
    void frameProgress(int percent);
    // The P key paused or resumed the flight (the brief pauses of menus and dialogs are not
    // announced).
    void pausedChanged(bool paused);

public slots:
    // One step of the frame loop; the pool's idle signal arrives here (queued).
    void threadBaseFinished();
    // Removes a view (never the last one) and hands its engine out of the pool.
    void deleteGlView(GlView* view);
    // Integrates the navigation up to now (timer and mouse buttons).
    void updatePosRot();
    void slotViewSRTDoppler(bool vis);
    void slotViewAberration(bool vis);
    void slotGRTDopplerEffect(bool vis);
    void slotEnableLightbending(bool vis);
    void slotViewLightTravelTime(bool on);
    void slotViewStarrySky(bool on);
    // Switches the document's searchlight between off and the chosen exponent.
    void slotViewSearchlight(bool on);
    // 3 or 4 (anything else is a programming error); a searchlight that is on follows at once.
    void setSearchlightExponent(int k);

private:
    // An engine taken out of the pool together with the settings its last frame may still read.
    struct RetiredEngine {
        TimeRT* engine;
        std::unique_ptr<RenderSettings> settings;
    };

    void startPool();
    void readProgress();
    void endProgress();
    RenderSettings& settings() const;
    GlView* firstView() const;

    BinaryView root;
    DocRT* doc;
    FrameTimes frameTimes;
    Navigation navigation_;
    bool menuOpen = false;
    bool framePending = false;
    QTimer timer;
    QTimer progressTimer;
    QElapsedTimer frameClock;  // started with every frame
    bool lastFrameLong = false;
    bool progressShown = false;
    long progressEndedAt = 0;  // framesStarted_ when endProgress() last saw a frame end
    std::unique_ptr<ThreadBase> pool;
    std::vector<TimeRT*> unregistered;  // engines waiting for the next frame start to join
    std::vector<RetiredEngine> retired;
    long framesStarted_ = 0;
    int searchlightK = 4;
    long exposureMeasuredAt = 0;  // framesStarted_ when auto exposure last read a frame
    QPointer<GlView> cursorView_;
    std::unique_ptr<FrameContext> cursorFrame;  // the brightness read-out's camera constants
};
