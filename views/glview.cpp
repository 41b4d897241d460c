// Drawing, input forwarding and the context menu of one view.
//
// Choices of ours:
// - The picture is rendered at device pixels (widget size times the device pixel ratio), so a
//   HiDPI screen shows it pixel for pixel without glPixelZoom.
// - The view shows a copy of the engine's last finished picture, taken when the pool is idle,
//   and every paint draws that copy. The engine's own buffer is half overwritten while the pool
//   renders, and the toolkit decides when a paint really happens: it turns a burst of immediate
//   repaints of an OpenGL widget into later ones, which then fall in the middle of the next
//   frame. Drawing the copy makes any paint, whenever it comes, show the newest whole frame.
// - A frame the main view cancelled is not kept: rows it never reached still hold the frame
//   before, so the view goes on showing its last whole frame.
// - "Remove" chosen in this view's own context menu is carried out after the menu has closed:
//   removing deletes the view, and with it the menu that is still running.
// - Choosing another effect in the context menu cancels the frame in progress.
// - Key auto-repeat is ignored, so holding a key is one press and one release for the navigation.
#include "views/glview.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <iterator>

#include "engine/autoexposure.h"
#include "engine/debuglog.h"
#include "engine/docrt.h"
#include "engine/timert.h"
#include "views/binaryview.h"
#include "views/januscircle.h"
#include "views/mainview.h"
#include "base/programmingerror.h"

namespace {
constexpr double kTwoPi = 6.283185307179586;
}  // namespace

GlView::GlView(QWidget* parentSplitter, DocRT* document, MainView* mainView)
    : QOpenGLWidget(parentSplitter),
      contextMenu(this),
      effects(tr("Effects"), this),
      aberration(tr("Aberration"), this),
      doppler(tr("Doppler Effect"), this),
      searchlight(tr("Searchlight"), this),
      lightTravelTime(tr("Light Travel Time"), this),
      starrySky(tr("Starry Sky"), this),
      lightBending(tr("Light Bending"), this),
      januscircle(tr("Januscircle"), this),
      engine_(new TimeRT()),
      document(document),
      mainView(mainView) {
    // Each group newest-first as in the menus of the time: the titled separator leads.
    ActionChecker* groups[] = {&aberration, &doppler,      &searchlight, &lightTravelTime,
                               &starrySky, &lightBending, &januscircle};
    const int count = int(std::size(groups));
    for (int g = 0; g < count; ++g) {
        const QList<QAction*> actions = groups[g]->actions();
        for (auto it = actions.rbegin(); it != actions.rend(); ++it) effects.addAction(*it);
        if (g < count - 1) effects.addSeparator();
    }
    // A frame under way with the old choice would only show an out-of-date picture, and with
    // light bending it can take seconds: the switch stops it, as the window's switches do.
    // The Januscircle is drawn over the finished picture and needs no new frame.
    for (ActionChecker* picture :
         {&aberration, &doppler, &searchlight, &lightTravelTime, &starrySky, &lightBending})
        connect(picture, &ActionChecker::choiceChanged, mainView, &MainView::cancelFrame);
    connect(this, &GlView::deleteGlView, mainView, &MainView::deleteGlView);
    actionSplitH = new QAction(tr("Split horizontally"), this);
    actionSplitV = new QAction(tr("Split vertically"), this);
    actionRemove = new QAction(tr("Remove"), this);
    connect(actionSplitH, &QAction::triggered, this, &GlView::splitHorizontally);
    connect(actionSplitV, &QAction::triggered, this, &GlView::splitVertically);
    connect(actionRemove, &QAction::triggered, this, &GlView::deleteWidget);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    // Flying past the hole, frames go on with the old light-path table while the new one grows.
    engine_->tableUpdate = BlackHoleFrame::TableUpdate::KeepOld;
    mainView->registerEngine(engine_);
}

GlView::~GlView() { delete engine_; }

TimeRT* GlView::takeEngine() {
    TimeRT* engine = engine_;
    engine_ = nullptr;
    return engine;
}

void GlView::raytracePic() {
    if (!document || !engine_)
        programmingError("Document or Engine not set in GlView::raytracePic()");
    ViewEffects choices;
    choices.aberration = aberration.choice();
    choices.doppler = doppler.choice();
    choices.searchlight = searchlight.choice();
    choices.searchlightExponent = int8_t(mainView->searchlightExponent());
    choices.lightTravelTime = lightTravelTime.choice();
    choices.starrySky = starrySky.choice();
    choices.lightBending = lightBending.choice();
    RenderSettings* settings = chooseViewSettings(*document->getSettings(), choices, ownSettings);
    lastSettings = settings;
    frameBackground = settings->backgroundPixel();
    framePrepared = true;
    keepFinishedFrame();  // before the engine's buffer takes the view's new size
    engine_->raytracePic(settings, document->getSceneData(), document->getTree(), nullptr);
}

int GlView::searchlightExponent() const {
    const int documentK = document->getSettings()->searchlight;
    switch (searchlight.choice()) {
        case EffectChoice::Enable:
            return documentK != 0 ? documentK : mainView->searchlightExponent();
        case EffectChoice::Disable:
            return 0;
        case EffectChoice::UseParent:
            break;
    }
    return documentK;
}

int GlView::brightEnd() const {
    if (!engine_ || !framePrepared || engine_->wasCancelled()) return -1;
    const PixelBuffer& buffer = engine_->ownPixelBuffer();
    const int64_t count = int64_t(buffer.width()) * buffer.height();
    if (count <= 0 || buffer.pixelCount() < size_t(count)) return -1;
    return AutoExposure::brightEnd(buffer.data(), count, frameBackground);
}

void GlView::keepFinishedFrame() {
    // Once per run of the pool: a held frame loop prepares again without rendering, and by then
    // the buffer may already have the new size (and no picture).
    const long run = mainView->framesStarted();
    if (!engine_ || run == keptRun) return;
    keptRun = run;
    if (engine_->wasCancelled()) return;  // a cut-short frame is partly the one before it
    const PixelBuffer& buffer = engine_->ownPixelBuffer();
    const int W = buffer.width(), H = buffer.height();
    if (W > 0 && H > 0 && buffer.pixelCount() >= size_t(W) * size_t(H)) {
        shown.assign(buffer.data(), buffer.data() + size_t(W) * size_t(H));
        shownWidth = W;
        shownHeight = H;
    }
}

void GlView::paintFrame() {
    keepFinishedFrame();
    update();
}

QMenu& GlView::rebuildContextMenu() {
    contextMenu.clear();
    contextMenu.addAction(actionSplitH);
    contextMenu.addAction(actionSplitV);
    // The last remaining view cannot be removed.
    if (mainView->rootView().view() != this) contextMenu.addAction(actionRemove);
    contextMenu.addMenu(&effects);
    return contextMenu;
}

void GlView::splitHorizontally() {
    BinaryView& root = mainView->rootView();
    if (root.view() == this)
        root.split(document, mainView, true);
    else
        root.splitView(document, mainView, this, true);
}

void GlView::splitVertically() {
    BinaryView& root = mainView->rootView();
    if (root.view() == this)
        root.split(document, mainView, false);
    else
        root.splitView(document, mainView, this, false);
}

void GlView::deleteWidget() {
    if (contextMenuOpen) {
        removeRequested = true;
        return;
    }
    emit deleteGlView(this);
}

void GlView::initializeGL() {
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, int(std::lround(width() * ratio)), int(std::lround(height() * ratio)));
    if (engine_) {
        engine_->width = int(std::lround(width() * ratio));
        engine_->height = int(std::lround(height() * ratio));
    }
}

void GlView::resizeGL(int w, int h) {
    const qreal ratio = devicePixelRatioF();
    const int pw = int(std::lround(w * ratio)), ph = int(std::lround(h * ratio));
    glViewport(0, 0, pw, ph);
    if (engine_) {
        engine_->width = pw;
        engine_->height = ph;
    }
}

void GlView::paintGL() {
    DebugLog::logMessage(QStringLiteral("GlView::paintGLManual called"));
    const qreal ratio = devicePixelRatioF();
    const int w = int(std::lround(width() * ratio)), h = int(std::lround(height() * ratio));
    if (w <= 0 || h <= 0 || !engine_) return;
    engine_->width = w;
    engine_->height = h;
    glViewport(0, 0, w, h);
    drawPicture(w, h);
    if (januscircleOn()) drawJanuscircle(w, h);
    glFinish();
}

void GlView::drawPicture(int w, int h) {
    const int W = shownWidth, H = shownHeight;
    if (W <= 0 || H <= 0) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        return;
    }
    // Default transforms put the raster position (-1, -1) on the viewport's lower-left corner,
    // where the buffer's row 0 belongs.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glRasterPos2f(-1.0f, -1.0f);
    glPixelZoom(1.0f, 1.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (W == w && H == h) {
        glDrawPixels(W, H, GL_RGBA, GL_UNSIGNED_BYTE, shown.data());
    } else {
        // The first paint after a resize stretches the last frame until one of the new size is
        // done.
        PixelBuffer::scaleNearest(shown.data(), W, H, w, h, scaled);
        glDrawPixels(w, h, GL_RGBA, GL_UNSIGNED_BYTE, scaled.data());
        glFlush();
    }
}

bool GlView::januscircleOn() const {
    return januscircle.isOn(document && document->getSettings()->januscircle);
}

void GlView::drawJanuscircle(int w, int h) {
    // The ring for the current speed and this view's effect switches.
    RenderSettings ring = *document->getSettings();
    ring.aberration = aberration.isOn(ring.aberration);
    ring.srtDoppler = doppler.isOn(ring.srtDoppler);
    double radius = 0.0;
    if (!Januscircle::radiusInPixels(ring, w, h, radius)) return;

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, w, 0.0, h, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_TEXTURE_2D);
    glLineWidth(float(devicePixelRatioF()));
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    const int segments = std::clamp(int(radius), 64, 2048);
    const double cx = 0.5 * w, cy = 0.5 * h;
    glBegin(GL_LINE_LOOP);
    for (int i = 0; i < segments; ++i) {
        const double a = kTwoPi * i / segments;
        glVertex2d(cx + radius * std::cos(a), cy + radius * std::sin(a));
    }
    glEnd();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
}

void GlView::mousePressEvent(QMouseEvent* event) { mainView->viewMousePress(this, event); }

void GlView::mouseReleaseEvent(QMouseEvent* event) { mainView->viewMouseRelease(this, event); }

void GlView::mouseMoveEvent(QMouseEvent* event) { mainView->viewMouseMove(this, event); }

void GlView::keyPressEvent(QKeyEvent* event) {
    if (event->isAutoRepeat() || mainView->viewKeyPress(event->key())) return;
    QOpenGLWidget::keyPressEvent(event);
}

void GlView::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat() || mainView->viewKeyRelease(event->key())) return;
    QOpenGLWidget::keyReleaseEvent(event);
}

void GlView::contextMenuEvent(QContextMenuEvent* event) {
    const bool wasPaused = mainView->isPaused();
    mainView->setPaused(true);
    mainView->suspendRendering();
    contextMenuOpen = true;
    rebuildContextMenu().exec(event->globalPos());
    contextMenuOpen = false;
    if (!wasPaused) mainView->setPaused(false);
    if (removeRequested) {
        // Removal deletes this view while its event handler is still on the stack: carry it out,
        // and release the held frame, from the event loop.
        removeRequested = false;
        MainView* main = mainView;
        QPointer<GlView> self(this);
        QTimer::singleShot(0, main, [main, self] {
            if (self) emit self->deleteGlView(self.data());
            main->resumeRendering();
        });
        return;
    }
    mainView->resumeRendering();
}
