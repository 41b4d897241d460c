// One view of the scene: an OpenGL widget that owns a frame engine, shows the engine's last
// finished picture, forwards keys and mouse to the main view's navigation, and offers a context
// menu to split or remove itself and to override the relativistic effects (aberration, Doppler
// effect, searchlight, light travel time, starry sky) for itself.
#pragma once

#include <QMenu>
#include <QOpenGLWidget>
#include <memory>
#include <vector>

#include "views/actionchecker.h"
#include "scene/rendersettings.h"

class DocRT;
class MainView;
class QAction;
class TimeRT;

class alignas(16) GlView : public QOpenGLWidget {
    Q_OBJECT
public:
    // Creates the view inside parentSplitter and registers its engine with the main view's pool.
    GlView(QWidget* parentSplitter, DocRT* document, MainView* mainView);
    ~GlView() override;

    // Prepares the engine for the next frame with the document's settings, or with the view's
    // own copy when one of its switches overrides the document. GUI thread, pool idle.
    void raytracePic();
    // Takes the engine's finished picture as the one the view shows (unless raytracePic already
    // did for this run) and schedules a repaint. GUI thread, pool idle (between two frames).
    void paintFrame();

    // Rebuilds the context menu as it is about to be shown: the split entries, "Remove" unless
    // this is the only view, then the effects sub-menu.
    QMenu& rebuildContextMenu();

    TimeRT* engine() const { return engine_; }
    // Hands the engine and the settings it may still be reading to the caller (removal); the
    // view then neither renders nor deletes them.
    TimeRT* takeEngine();
    std::unique_ptr<RenderSettings> takeOwnSettings() { return std::move(ownSettings); }
    // The settings the last raytracePic() handed to the engine (the document's or ownSettings).
    const RenderSettings* frameSettings() const { return lastSettings; }
    // The beaming exponent this view renders with from the next frame on: the document's, or
    // the main view's chosen exponent when the view enables the searchlight on its own, or 0.
    int searchlightExponent() const;
    // The bright end (AutoExposure::brightEnd) of the engine's finished frame, ignoring the
    // background; -1 before the first frame. GUI thread, pool idle; allocates nothing.
    int brightEnd() const;

    ActionChecker& aberrationChecker() { return aberration; }
    ActionChecker& dopplerChecker() { return doppler; }
    ActionChecker& searchlightChecker() { return searchlight; }
    ActionChecker& lightTravelTimeChecker() { return lightTravelTime; }
    ActionChecker& starrySkyChecker() { return starrySky; }
    ActionChecker& lightBendingChecker() { return lightBending; }
    const ActionChecker& aberrationChecker() const { return aberration; }
    const ActionChecker& dopplerChecker() const { return doppler; }
    ActionChecker& januscircleChecker() { return januscircle; }
    QMenu& effectsMenu() { return effects; }
    QAction* splitHorizontallyAction() const { return actionSplitH; }
    QAction* splitVerticallyAction() const { return actionSplitV; }
    QAction* removeAction() const { return actionRemove; }
    bool isContextMenuOpen() const { return contextMenuOpen; }

signals:
    void updateStatusBar();
    void angleChanged(float angle);
    void deleteGlView(GlView* view);

public slots:
    void splitHorizontally();
    void splitVertically();
    void deleteWidget();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Copies the engine's finished frame into shown, once per run of the pool.
    void keepFinishedFrame();
    void drawPicture(int w, int h);
    void drawJanuscircle(int w, int h);
    bool januscircleOn() const;

    QMenu contextMenu;
    QMenu effects;
    QAction* actionSplitH;
    QAction* actionSplitV;
    QAction* actionRemove;
    ActionChecker aberration;
    ActionChecker doppler;
    ActionChecker searchlight;
    ActionChecker lightTravelTime;
    ActionChecker starrySky;
    ActionChecker lightBending;
    ActionChecker januscircle;
    std::unique_ptr<RenderSettings> ownSettings;
    TimeRT* engine_;
    DocRT* document;
    MainView* mainView;
    const RenderSettings* lastSettings = nullptr;
    uint32_t frameBackground = 0;  // background pixel of the frame last handed to the engine
    bool framePrepared = false;
    std::vector<uint32_t> shown;  // the last finished frame, drawn by every paint
    int shownWidth = 0;
    int shownHeight = 0;
    long keptRun = -1;  // the main view's run whose frame shown holds
    std::vector<uint32_t> scaled;  // drawPicture's stretched pixels, kept between paints
    bool contextMenuOpen = false;
    bool removeRequested = false;
};
