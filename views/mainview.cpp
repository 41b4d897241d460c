// The frame loop, view removal and navigation forwarding of the central widget.
//
// Choices of ours:
// - A view's engine joins the pool at the next frame start rather than at once. An engine that
//   is removed before that start never reached the pool and is deleted at once; the pool only
//   ever hears of removals of engines it runs.
// - An engine removed from the pool (with the private settings its last frame may still read)
//   is deleted right after the next run has started: starting a run waits for the previous run
//   to end and applies the removal first, so no worker can touch the engine afterwards.
// - Searchlight and exposure belong to the program, not to the scene (files do not store them):
//   a scene taken over from a file keeps the ones in use.
// - A frame that runs longer than kProgressDelayMs reports its progress; after such a frame the
//   next one reports from its start, since it is most likely as slow.
// - Switching an effect cancels the frame in progress: with light bending a frame can take
//   many seconds, and its picture would already be out of date.
// - The observer's time stands still while the loop is held (a menu or a modal dialog is open):
//   the moving bodies go on from where the picture stopped, not from where the wall clock is.
// - Automatic exposure reads every finished frame once and follows the brightest view, so that
//   no view clips for long; views with their own settings share the document's exposure.
#include "views/mainview.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/autoexposure.h"
#include "engine/camera.h"
#include "engine/debuglog.h"
#include "engine/docrt.h"
#include "engine/framecontext.h"
#include "engine/threadbase.h"
#include "engine/timert.h"
#include "views/glview.h"
#include "base/programmingerror.h"
#include "scene/rendersettings.h"

MainView::MainView(QWidget* parent, DocRT* document)
    : QSplitter(parent),
      root(this, nullptr),
      doc(document),
      timer(this),
      progressTimer(this),
      cursorFrame(std::make_unique<FrameContext>()) {
    pool = std::make_unique<ThreadBase>();
    root.createView(doc, this);
    connect(&timer, &QTimer::timeout, this, &MainView::updatePosRot);
    connect(pool.get(), &ThreadBase::signalAllWaiting, this, &MainView::threadBaseFinished,
            Qt::QueuedConnection);
    timer.start(kNavigationIntervalMs);
    connect(&progressTimer, &QTimer::timeout, this, &MainView::readProgress);
    progressTimer.start(kProgressIntervalMs);
    threadBaseFinished();
}

MainView::~MainView() {
    // Closing the window must not wait for a slow frame to finish.
    if (pool) pool->cancelRun();
    pool.reset();
    progressTimer.stop();
    timer.stop();
    for (RetiredEngine& r : retired) delete r.engine;
    retired.clear();
}

RenderSettings& MainView::settings() const { return *doc->getSettings(); }

bool MainView::isRendering() const { return pool && pool->isRunning(); }

void MainView::cancelFrame() {
    if (isRendering()) pool->cancelRun();
}

void MainView::readProgress() {
    if (!isRendering()) return;
    if (!lastFrameLong && frameClock.elapsed() < kProgressDelayMs) return;
    progressShown = true;
    emit frameProgress(pool->runPercentDone());
}

void MainView::endProgress() {
    // A held loop comes here twice for one frame: when it ends and when the hold is released.
    if (progressEndedAt == framesStarted_) return;
    progressEndedAt = framesStarted_;
    lastFrameLong = frameClock.elapsed() >= kProgressDelayMs;
    if (!progressShown) return;
    progressShown = lastFrameLong;
    emit frameProgress(lastFrameLong ? 100 : -1);
}

void MainView::threadBaseFinished() {
    if (pool->isRunning()) {
        std::puts("ERROR: thread Pool running");
        std::fflush(stdout);
        throw ProgrammingError("Error: thread Pool running");
    }
    endProgress();
    QCoreApplication::processEvents();
    DebugLog::logMessage(QStringLiteral("MainView::threadBaseFinished called"));
    frameTimes.record(doc->clockMs() / 1000.0);
    const int8_t searchlight = settings().searchlight;
    const float stops = settings().exposureStops;
    const bool automatic = settings().autoExposure;
    // Measured before a scene change can delete the settings the finished frames came from.
    int brightEnd = -1;
    if (automatic && exposureMeasuredAt != framesStarted_) {
        brightEnd = root.brightEnd();
        exposureMeasuredAt = framesStarted_;
    }
    if (doc->applyPendingChanges()) {
        settings().searchlight = searchlight;
        settings().exposureStops = stops;
        settings().autoExposure = automatic;
    }
    if (automatic) {
        RenderSettings& s = settings();
        s.exposureStops =
            AutoExposure::next(s.exposureStops, brightEnd, s.eye.kind == EyeKind::Cie1931);
    }
    root.raytracePics();
    root.paintGL();
    if (menuOpen)
        framePending = true;
    else
        startPool();
    emit updateStatusBar();
}

void MainView::startPool() {
    for (TimeRT* engine : unregistered) pool->addTasks(engine);
    unregistered.clear();
    pool->startRendering(false);
    frameClock.start();
    ++framesStarted_;
    for (RetiredEngine& r : retired) delete r.engine;
    retired.clear();
}

void MainView::suspendRendering() {
    menuOpen = true;
    doc->holdObserverTime(true);
}

void MainView::suspendRenderingUntilIdle() {
    suspendRendering();
    // The pool announces its end after the last worker has gone idle, so a frame still under
    // way once the connection stands is bound to announce it.
    QEventLoop frameEnd;
    connect(pool.get(), &ThreadBase::signalAllWaiting, &frameEnd, &QEventLoop::quit,
            Qt::QueuedConnection);
    if (isRendering()) frameEnd.exec(QEventLoop::ExcludeUserInputEvents);
}

void MainView::resumeRendering() {
    menuOpen = false;
    doc->holdObserverTime(false);
    if (framePending) {
        framePending = false;
        threadBaseFinished();
    }
}

void MainView::registerEngine(TimeRT* engine) { unregistered.push_back(engine); }

void MainView::deleteGlView(GlView* view) {
    TimeRT* engine = view->takeEngine();
    std::unique_ptr<RenderSettings> own = view->takeOwnSettings();
    const auto waiting = std::find(unregistered.begin(), unregistered.end(), engine);
    const bool neverRun = waiting != unregistered.end();
    if (neverRun)
        unregistered.erase(waiting);
    else if (engine)
        pool->removeTasks(engine, false);
    if (!root.remove(view))
        programmingError("Tried to remove a not removable GlView in MainView::deleteGlView");
    if (neverRun)
        delete engine;
    else if (engine)
        retired.push_back({engine, std::move(own)});
}

GlView* MainView::firstView() const {
    const BinaryView* node = &root;
    while (!node->isLeaf()) node = node->child(0);
    return node->view();
}

GlView* MainView::cursorView() const { return cursorView_ ? cursorView_.data() : firstView(); }

void MainView::updatePosRot() {
    navigation_.updatePosRot(doc->clockMs(), doc->observerFrame(), settings().speed);
}

bool MainView::viewKeyPress(int qtKey) {
    const bool wasPaused = navigation_.isPaused();
    const bool used = navigation_.keyPress(qtKey, settings().speed);
    if (navigation_.isPaused() != wasPaused) emit pausedChanged(navigation_.isPaused());
    return used;
}

bool MainView::viewKeyRelease(int qtKey) { return navigation_.keyRelease(qtKey); }

void MainView::viewMousePress(GlView* view, QMouseEvent* event) {
    cursorView_ = view;
    const QPointF p = event->position();
    if (navigation_.mousePress(event->button(), float(p.x()), float(p.y()), float(view->width()),
                               float(view->height()), doc->clockMs(), doc->observerFrame(),
                               settings().speed))
        emit updateStatusBar();
}

void MainView::viewMouseRelease(GlView* view, QMouseEvent* event) {
    cursorView_ = view;
    const QPointF p = event->position();
    if (navigation_.mouseRelease(event->button(), float(p.x()), float(p.y()), float(view->width()),
                                 float(view->height()), doc->clockMs(), doc->observerFrame(),
                                 settings().speed))
        emit updateStatusBar();
}

void MainView::viewMouseMove(GlView* view, QMouseEvent* event) {
    cursorView_ = view;
    const QPointF p = event->position();
    if (navigation_.cursorUpdate(float(p.x()), float(p.y()), float(view->width()),
                                 float(view->height())))
        emit updateStatusBar();
}

float MainView::cursorDoppler() const {
    return settings().dopplerAt(navigation_.cursorU(), navigation_.cursorV());
}

bool MainView::cursorBrightness(float& factor) const {
    const GlView* view = cursorView();
    if (!view) return false;
    const int k = view->searchlightExponent();
    if (k == 0) return false;
    FrameContext& f = *cursorFrame;
    f.settings = settings();
    f.settings.aberration = view->aberrationChecker().isOn(f.settings.aberration);
    f.settings.srtDoppler = view->dopplerChecker().isOn(f.settings.srtDoppler);
    f.settings.searchlight = int8_t(k);
    f.gamma = Camera::lorentzGamma(f.settings.speed);
    // The cursor's image-plane point: u and v are fractions of the view from its centre, v
    // growing downwards while the plane's y grows upwards.
    float sx = 1.0f, sy = 1.0f;
    RenderSettings::aspectFactors(std::max(view->width(), 1), std::max(view->height(), 1), sx, sy);
    const float x = navigation_.cursorU() * 1000.0f * sx;
    const float y = -navigation_.cursorV() * 1000.0f * sy;
    Vec4f dir;
    float doppler = 1.0f;
    Camera::primaryDirection(f, x, y, f.settings.diry * y, dir, doppler);
    factor = f.settings.beamingFactor(doppler);
    return true;
}

Vec4f MainView::cursorRestingDirection() const {
    const RenderSettings& s = settings();
    const float u = navigation_.cursorU(), v = navigation_.cursorV();
    Vec4f d = s.dirx * u + s.diry * v + s.lookat;
    d[3] = 0.0f;
    return d;
}

Vec4f MainView::cursorTransformedDirection() const {
    const RenderSettings& s = settings();
    const float u = navigation_.cursorU(), v = navigation_.cursorV();
    const double sum = double(u) * u + double(v) * v + 1.0;
    const float q = static_cast<float>(std::sqrt(sum));
    Vec4f d = s.dirx * u + s.diry * v + s.lookat * q;
    d[3] = 0.0f;
    return d;
}

void MainView::slotViewSRTDoppler(bool vis) {
    if (settings().srtDoppler == vis) return;
    settings().srtDoppler = vis;
    cancelFrame();
}

void MainView::slotViewAberration(bool vis) {
    if (settings().aberration == vis) return;
    settings().aberration = vis;
    cancelFrame();
}

void MainView::slotGRTDopplerEffect(bool vis) {
    if (settings().grtDoppler == vis) return;
    settings().grtDoppler = vis;
    cancelFrame();
}

void MainView::slotEnableLightbending(bool vis) {
    if (settings().lightBending == vis) return;
    settings().lightBending = vis;
    cancelFrame();
}

void MainView::slotViewLightTravelTime(bool on) {
    if (settings().lightTravelTime == on) return;
    settings().lightTravelTime = on;
    cancelFrame();
}

void MainView::slotViewStarrySky(bool on) {
    if (settings().starrySky == on) return;
    settings().starrySky = on;
    cancelFrame();
}

void MainView::slotViewSearchlight(bool on) {
    const int8_t k = int8_t(on ? searchlightK : 0);
    if (settings().searchlight == k) return;
    settings().searchlight = k;
    cancelFrame();
}

void MainView::setSearchlightExponent(int k) {
    if (k != 3 && k != 4)
        programmingError("MainView::setSearchlightExponent: the exponent must be 3 or 4");
    searchlightK = k;
    if (settings().searchlight != 0) settings().searchlight = int8_t(k);
}
