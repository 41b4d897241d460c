// The main window: effect switches, shortcuts with the menu bar hidden, help, the About box's
// pause, undo (of scene edits, of the eye and of the Light Travel Time and Starry Sky switches)
// and the unsaved-changes question, a scene naming an undefined texture, the observer's clock,
// and the searchlight: its switch, the brightness read-out against the closed-form beaming
// factor, and automatic exposure in the frame loop.
#include "ui/mainwindow.h"

#include <algorithm>
#include <cmath>

#include "engine/autoexposure.h"
#include "scene/rendersettings.h"
#include "tests/ui/uitesthelpers.h"
#include "ui/dlgabout.h"
#include "ui/dlgeye.h"
#include "ui/dlgrenderoptions.h"
#include "ui/helpassistant.h"
#include "ui/readoutformat.h"

#include <QTimer>

using namespace viewtest;

namespace {

const char* kTwoBalls = R"(<tavolinfile>
  <sphere><name>ball</name><center>0;0;-5;0</center><radius>0.5</radius>
    <texname>plain</texname></sphere>
  <sphere><name>moon</name><center>2;1;-6;0</center><radius>0.25</radius>
    <texname>plain</texname></sphere>
  <newtexturesingle><texname>plain</texname><color>default</color></newtexturesingle>
</tavolinfile>
)";

// A scene whose file stores the observer's time 33 and, when tag is given, that switch on.
QByteArray switchScene(const QString& tag) {
    const QString on = tag.isEmpty() ? "" : QString("    <%1>1</%1>\n").arg(tag);
    return ("<tavolinfile>\n  <renderSettings>\n    <start>0;0;0;33</start>\n" + on +
            "  </renderSettings>\n"
            "  <sphere><center>0;0;5;0</center><texname>plain</texname></sphere>\n"
            "  <newtexturesingle><texname>plain</texname></newtexturesingle>\n</tavolinfile>\n")
        .toUtf8();
}

// Shows the window and makes it the active one, so that its shortcuts reach it.
bool showActive(MainWindow& w) {
    w.show();
    w.activateWindow();
    return QTest::qWaitForWindowExposed(&w) && QTest::qWaitForWindowActive(&w);
}

// The bright end computed here from scratch: the 99th percentile (nearest rank) of the largest
// channel over the pixels that are not the background.
int percentileBrightEnd(const std::vector<uint32_t>& pixels, uint32_t background) {
    std::vector<int> m;
    for (uint32_t p : pixels)
        if (p != background)
            m.push_back(int(std::max({p & 0xffu, (p >> 8) & 0xffu, (p >> 16) & 0xffu})));
    std::sort(m.begin(), m.end());
    return m.empty() ? -1 : m[size_t(std::ceil(0.99 * double(m.size()))) - 1];
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { quietOffscreenWarnings(); }

    // Each effect switch of the menu flips its own flag of the document, and no other.
    void effectActionsSwitchTheDocument() {
        MainWindow w;
        RenderSettings& s = *w.document()->getSettings();
        const std::pair<const char*, bool RenderSettings::*> switches[] = {
            {"actionAbberration", &RenderSettings::aberration},
            {"actionSRTDopplerEffect", &RenderSettings::srtDoppler},
            {"actionLightBending", &RenderSettings::lightBending},
            {"actionGRTDopplerEffect", &RenderSettings::grtDoppler}};
        const RenderSettings before = s;
        for (int i = 0; i < 4; ++i) {
            w.findChild<QAction*>(switches[i].first)->trigger();
            for (int j = 0; j < 4; ++j)
                QCOMPARE(s.*switches[j].second, (before.*switches[j].second) != (j <= i));
        }
    }

    // Ctrl+M hides the menu bar; the window's own copies of the actions keep every shortcut,
    // Ctrl+M included, working.
    void shortcutsWorkWithTheMenuBarHidden() {
        MainWindow w;
        QVERIFY(showActive(w));
        QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
        QTRY_VERIFY(!w.menuBar()->isVisible());
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(!w.statusBar()->isVisible());
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(w.statusBar()->isVisible());
        QTest::keyClick(&w, Qt::Key_M, Qt::ControlModifier);
        QTRY_VERIFY(w.menuBar()->isVisible());
        // The tool bar's action follows the bar when it is shown by other means.
        w.findChild<QAction*>("actionShowToolBar")->trigger();
        QVERIFY(!w.toolBar()->isVisible());
        w.toolBar()->show();
        QVERIFY(w.findChild<QAction*>("actionShowToolBar")->isChecked());
    }

    // F1 asks the help viewer (a stand-in that records what it is told) for the index page,
    // slotShowHelpItem for a named page; the About box runs while the observer is paused.
    void helpReachesTheViewerAndAboutPauses() {
        QTemporaryDir dir;
        const QString log = dir.filePath("viewer.log");
        QVERIFY(writeStandInViewer(dir.filePath("viewer.sh"), log));
        HelpAssistant::setViewerProgram(dir.filePath("viewer.sh"));
        HelpAssistant::setStartNoticeEnabled(false);
        const QString prefix = "in setSource qthelp://tavolindoc/doc/output/";
        {
            MainWindow w;
            QVERIFY(showActive(w));
            QTest::keyClick(&w, Qt::Key_F1);
            QTRY_VERIFY(readFile(log).contains((prefix + "index.html").toUtf8()));
            w.slotShowHelpItem("dlgfilm");
            QTRY_VERIFY(readFile(log).contains((prefix + "dlgfilm.html").toUtf8()));
            bool pausedMeanwhile = false;
            QTimer::singleShot(300, this, [&] {
                auto* about = qobject_cast<DlgAbout*>(QApplication::activeModalWidget());
                pausedMeanwhile = about && w.mainView()->isPaused();
                if (about) about->reject();
            });
            w.findChild<QAction*>("actionHelpAbout")->trigger();
            QVERIFY(pausedMeanwhile);
            QVERIFY(!w.mainView()->isPaused());
        }
        HelpAssistant::setViewerProgram({});
        HelpAssistant::setStartNoticeEnabled(true);
    }

    // Applied edits (a change and a deletion) are undone and redone at the next frames, the
    // unsaved mark following them; New with changes asks, Discard writes nothing, and a failed
    // save says where it failed and keeps the mark. (Cancel, Save and the title's mark through
    // the keyboard: the end-to-end test.)
    // A big scene is read on a thread of its own: the window's timers run meanwhile, and a close
    // request made while it loads is refused rather than leaving the scene half taken over.
    void aBigSceneOpensWhileTheWindowStaysLive() {
        QTemporaryDir dir;
        const QString file = dir.filePath("many.tavolin");
        QByteArray text = "<tavolinfile>";
        for (int i = 0; i < 40000; ++i)
            text += QString("<sphere><center>%1;%2;-9;0</center><radius>0.1</radius>"
                            "<texname>plain</texname></sphere>")
                        .arg(i % 200)
                        .arg(i / 200)
                        .toUtf8();
        text += "<newtexturesingle><texname>plain</texname><color>default</color>"
                "</newtexturesingle></tavolinfile>";
        QVERIFY(writeFile(file, text));
        MainWindow w;
        QVERIFY(showActive(w));
        int ticks = 0;
        QTimer live;
        connect(&live, &QTimer::timeout, &w, [&] {
            if (++ticks == 1) w.close();
        });
        live.start(1);
        QVERIFY(w.openFile(file));
        live.stop();
        QVERIFY(ticks > 0);
        QVERIFY(w.isVisible());
        QCOMPARE(w.windowTitle(), QString("many.tavolin[*] - Tavolin"));
        QVERIFY(waitFrames(*w.mainView(), 1));
        QCOMPARE(w.document()->getSceneData()->objects.items.size(), size_t(40000));
    }

    void editsUndoAndTheUnsavedChangesQuestion() {
        QTemporaryDir dir;
        const QString file = dir.filePath("mine.tavolin");
        QVERIFY(writeFile(file, kTwoBalls));
        MainWindow w;
        QStringList asked;
        const QString saveAs = dir.filePath("no-such-folder/new.tavolin");
        w.setQuestions({[&](const QString& text) {
                            asked << text;
                            return QMessageBox::Discard;
                        },
                        [&](const QString&) { return saveAs; },
                        {}});
        QVERIFY(showActive(w));
        MainView& view = *w.mainView();
        DocRT* doc = w.document();
        QVERIFY(w.openFile(file));
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(w.windowTitle(), QString("mine.tavolin[*] - Tavolin"));
        // What the edit dock's Apply records: a bigger ball, then the moon deleted.
        SceneData* scene = doc->getSceneData();
        auto* bigger = static_cast<rtObjSphere<1>*>(objectNamed(*doc, "ball")->clone());
        bigger->radius = 2.0f;
        scene->objects.recordChange(bigger, objectNamed(*doc, "ball"));
        QVERIFY(waitFrames(view, 2));
        scene->objects.recordRemoval(objectNamed(*doc, "moon"));
        QVERIFY(waitFrames(view, 2));
        QVERIFY(!objectNamed(*doc, "moon") && w.isWindowModified());
        QCOMPARE(w.undoStack()->count(), 2);
        // Ctrl+Z twice brings back the file's scene, unmodified; Ctrl+Shift+Z redoes.
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(waitFrames(view, 2));
        QVERIFY(objectNamed(*doc, "moon"));
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(objectNamed(*doc, "ball")->radius, 0.5f);
        QVERIFY(!w.isWindowModified());
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(objectNamed(*doc, "ball")->radius, 2.0f);
        QVERIFY(w.isWindowModified());

        w.slotFileNew();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].contains("mine.tavolin") && !w.isWindowModified());
        QCOMPARE(readFile(file), QByteArray(kTwoBalls));
        QCOMPARE(w.windowTitle(), QString("Untitled[*] - Tavolin"));
        QVERIFY(waitFrames(view, 2));
        scene = doc->getSceneData();
        scene->objects.recordRemoval(scene->objects.items[0]);
        QVERIFY(waitFrames(view, 2));
        {
            ModalAnswerer boxes;
            w.slotFileSave();
            QTRY_COMPARE(boxes.texts.size(), 1);
            QVERIFY(boxes.texts[0].contains(QDir::toNativeSeparators(saveAs)));
        }
        QVERIFY(w.isWindowModified());
        w.slotFileNew();
        QCOMPARE(asked.size(), 2);
        QVERIFY(!w.isWindowModified());
        QVERIFY(waitFrames(view, 2));
        QCOMPARE(doc->getSceneData()->objects.items.size(), size_t(8));  // the built-in scene
    }

    // The eye dialog's choice marks the document modified; Undo takes it back and clears the mark.
    void eyeChoiceIsAnUndoableEdit() {
        MainWindow w;
        w.show();
        w.slotOptionsVisibleWavelength();
        auto* dialog = w.findChild<DlgEye*>();
        const Eye before = w.document()->nextFrameEye();
        dialog->presetCombo()->setCurrentIndex(dialog->presetCombo()->findText("Human (CIE 1931)"));
        QVERIFY(!w.isWindowModified());  // chosen, not yet handed over
        dialog->buttons()->button(QDialogButtonBox::Apply)->click();
        QVERIFY(w.isWindowModified());
        w.findChild<QAction*>("actionUndo")->trigger();
        QVERIFY(w.document()->nextFrameEye() == before && dialog->currentEye() == before);
        QVERIFY(!w.isWindowModified());
        w.findChild<QAction*>("actionRedo")->trigger();
        QCOMPARE(w.document()->nextFrameEye().kind, EyeKind::Cie1931);
    }

    // {action, its text, the file's tag, whether the tool bar holds it}: the switch is an edit of
    // the document (undo and redo push nothing of their own, the unsaved mark), saved in the file
    // and absent from it while off, and set from an opened file with nothing to undo.
    void switchesAreEditsOfTheDocument_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<bool>("onToolBar");
        QTest::newRow("light travel time") << "actionLightTravelTime"
                                           << "Light Travel Time"
                                           << "lighttraveltime" << true;
        QTest::newRow("starry sky") << "actionStarrySky"
                                    << "Starry Sky"
                                    << "starrysky" << false;
    }

    void switchesAreEditsOfTheDocument() {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QString, tag);
        QFETCH(bool, onToolBar);
        bool RenderSettings::*on =
            onToolBar ? &RenderSettings::lightTravelTime : &RenderSettings::starrySky;
        QTemporaryDir dir;
        const QString plain = dir.filePath("plain.tavolin"), saved = dir.filePath("saved.tavolin");
        QVERIFY(writeFile(plain, switchScene("")));
        MainWindow w;
        w.setQuestions({[](const QString&) { return QMessageBox::Discard; },
                        [&](const QString&) { return saved; },
                        {}});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QAction* sw = w.findChild<QAction*>(name);
        auto open = [&](const QString& file, bool isOn) {
            QVERIFY(w.openFile(file));
            QVERIFY(waitFrames(*w.mainView(), 2));
            QVERIFY(sw->isChecked() == isOn && w.document()->getSettings()->*on == isOn);
            QCOMPARE(w.undoStack()->count(), 0);
        };
        open(plain, false);
        QVERIFY(sw->isCheckable());
        QCOMPARE(sw->text(), text);
        QCOMPARE(w.toolBar()->actions().contains(sw), onToolBar);
        QVERIFY(!onToolBar || !sw->icon().isNull());
        QVERIFY(w.findChild<QMenu*>("menuOptions")->actions().contains(sw));
        const RenderSettings& s = *w.document()->getSettings();
        QVERIFY(!w.isWindowModified());

        sw->trigger();
        QVERIFY(s.*on && w.isWindowModified());
        QCOMPARE(w.undoStack()->undoText(), text + " On");
        QVERIFY(waitFrames(*w.mainView(), 2));  // frames with the switch on render
        w.undoStack()->undo();
        QVERIFY(!sw->isChecked() && !(s.*on) && !w.isWindowModified());
        w.undoStack()->redo();
        QVERIFY(sw->isChecked() && s.*on && w.isWindowModified());
        QCOMPARE(w.undoStack()->count(), 1);

        // Saved with the switch, and the mark goes; the observer's time is stored as 0.
        w.slotFileSave();
        QVERIFY(!w.isWindowModified());
        const QString file = QString::fromUtf8(readFile(saved));
        QVERIFY(file.contains(QString("    <%1>1</%1>\n").arg(tag)));
        QVERIFY(!file.contains(onToolBar ? "starrysky" : "lighttraveltime"));
        QVERIFY(file.contains("<start>0;0;0;0</start>"));
        open(plain, false);
        open(saved, true);
        QVERIFY(!w.isWindowModified());
    }

    // The window's clock controls (how the clock runs, holds and is set: its own test): the
    // picture held by a menu or dialog holds the time, Freeze Time stops it, Set Time asks, the
    // read-out shows it, and a scene opened starts at 0 and stays frozen.
    void theObserversTimeRunsFreezesAndIsSet() {
        QTemporaryDir dir;
        const QString file = dir.filePath("s.tavolin");
        QVERIFY(writeFile(file, switchScene("lighttraveltime")));
        MainWindow w;
        double answer = 42.5, offered = -1.0;
        bool accept = true;
        MainWindow::Questions q;
        q.observerTime = [&](double current, double& chosen) {
            offered = current;
            if (accept) chosen = answer;
            return accept;
        };
        w.setQuestions(q);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(waitFrames(*w.mainView(), 2));
        DocRT* doc = w.document();
        QAction* freeze = w.findChild<QAction*>("actionFreezeTime");
        QVERIFY(!freeze->isChecked() && !doc->isObserverTimeFrozen());
        QVERIFY(w.toolBar()->actions().contains(freeze) && !freeze->icon().isNull());

        w.mainView()->suspendRendering();
        const double held = doc->observerTime();
        spin(150);
        QCOMPARE(doc->observerTime(), held);
        w.mainView()->resumeRendering();
        spin(150);
        QVERIFY(doc->observerTime() > held + 0.1);
        QVERIFY(doc->observerTime() < held + 1.0);  // not the 150 ms it was held on top

        // Frozen: T stands; set: exactly the answer; the read-out shows it.
        freeze->trigger();
        QVERIFY(doc->isObserverTimeFrozen());
        const double t0 = doc->observerTime();
        spin(100);
        QCOMPARE(doc->observerTime(), t0);
        w.findChild<QAction*>("actionSetTime")->trigger();
        QCOMPARE(offered, t0);
        QCOMPARE(doc->observerTime(), 42.5);
        auto* label = w.findChild<QLabel*>("labelObserverTime");
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), readout::observerTime(42.5));
        accept = false;
        answer = 7.0;
        w.findChild<QAction*>("actionSetTime")->trigger();
        QCOMPARE(doc->observerTime(), 42.5);  // cancelled
        QVERIFY(!w.mainView()->isMenuOpen());
        w.findChild<QAction*>("actionObserverTime")->setChecked(false);
        QVERIFY(!label->isVisible());

        // A new scene starts at 0, whatever its file stores; still frozen.
        QVERIFY(w.openFile(file));
        QVERIFY(waitFrames(*w.mainView(), 2));
        QCOMPARE(doc->observerTime(), 0.0);
        QVERIFY(freeze->isChecked());
        freeze->trigger();  // thawed, T runs on from where it stood
        spin(100);
        QVERIFY(!doc->isObserverTimeFrozen() && doc->observerTime() > 0.05);
    }

    // A scene naming a texture it never defines still opens, and the window says which name is
    // missing without blocking.
    void undefinedNamesAreReportedWhenASceneOpens() {
        QTemporaryDir dir;
        const QString file = dir.filePath("typo.tavolin");
        const QByteArray first = "plain</texname></sphere>\n  <sphere>";
        QVERIFY(writeFile(file, QByteArray(kTwoBalls).replace(first, "pL" + first.mid(2))));
        MainWindow w;
        w.show();
        QVERIFY(w.openFile(file));
        QMessageBox* box = nullptr;
        QTRY_VERIFY((box = w.findChild<QMessageBox*>()) && box->isVisible());
        QVERIFY2(box->informativeText().contains("\"pLain\""), qPrintable(box->informativeText()));
        QVERIFY(!box->isModal());
        QVERIFY(waitFrames(*w.mainView(), 2));
        QVERIFY(objectNamed(*w.document(), "ball"));
    }

    // The switch toggles the document between off and the exponent chosen in the render options
    // (a new choice applies at once while on), and the searchlight and exposure in use outlast a
    // scene loaded from a file; off, a loaded scene keeps its defaults.
    void searchlightSwitchTogglesTheDocumentAndSurvives() {
        MainWindow w;
        auto* action = w.findChild<QAction*>("actionSearchlight");
        RenderSettings* s = w.document()->getSettings();
        action->trigger();
        QCOMPARE(s->searchlight, int8_t(4));
        action->trigger();
        QCOMPARE(s->searchlight, int8_t(0));
        w.findChild<QAction*>("actionRenderOptions")->trigger();
        DlgRenderOptions* dlg = nullptr;  // a window of its own, not a child of the main window
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* options = qobject_cast<DlgRenderOptions*>(top)) dlg = options;
        QVERIFY(dlg);
        dlg->searchlightCombo()->setCurrentIndex(1);
        dlg->onAccept();
        QCOMPARE(s->searchlight, int8_t(0));  // choosing k does not switch it on
        action->trigger();
        QCOMPARE(s->searchlight, int8_t(3));
        dlg->searchlightCombo()->setCurrentIndex(0);
        dlg->onAccept();
        QCOMPARE(s->searchlight, int8_t(4));
        dlg->close();

        s->exposureStops = -1.5f;
        const QString scene = TAVOLIN_SOURCE_DIR "/resources/scenes/stonehenge.tavolin";
        QVERIFY(w.document()->loadFile(scene));
        QVERIFY(waitFrames(*w.mainView(), 2));
        RenderSettings* loaded = w.document()->getSettings();
        QVERIFY(loaded != s);  // the scene's own settings record took over
        QCOMPARE(loaded->searchlight, int8_t(4));
        QCOMPARE(loaded->exposureStops, -1.5f);
        QCOMPARE(loaded->eye.beamingExponent, int8_t(4));  // what the engine renders with
        action->trigger();
        loaded->exposureStops = 0.0f;
        QVERIFY(w.document()->loadFile(scene));
        QVERIFY(waitFrames(*w.mainView(), 2));
        QCOMPARE(w.document()->getSettings()->searchlight, int8_t(0));
        QCOMPARE(w.document()->getSettings()->exposureStops, 0.0f);
    }

    // "Brightness at Cursor" shows (1/D)^k of the pixel under the cursor, D = gamma (1 - beta
    // cos theta') with theta' between the pixel's ray (x, y, 1000) and the motion, only while the
    // searchlight is on in the cursor's view, and follows that view's exponent and switches.
    void brightnessReadOutAtTheCursor() {
        MainWindow w;
        w.resize(800, 500);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(waitFrames(*w.mainView(), 2));
        auto* label = w.findChild<QLabel*>("labelCursorBrightness");
        MainView* main = w.mainView();
        QVERIFY(holdFrames(*main));
        const double beta = 0.6, gamma = 1.25;
        w.document()->getSettings()->speed = float(beta);
        GlView* view = main->rootView().view();
        const int vw = view->width(), vh = view->height();
        auto readOutAt = [&](QPoint p, int k) {
            hover(view, p);
            QTRY_COMPARE(main->cursorX(), p.x());
            w.updateStatusBar();
            const double x = (p.x() - vw * 0.5) / vw * 1000.0 * (vw >= vh ? 1.0 : double(vw) / vh);
            const double y = (p.y() - vh * 0.5) / vh * 1000.0 * (vw >= vh ? double(vh) / vw : 1.0);
            const double cosTheta = 1000.0 / std::sqrt(x * x + y * y + 1.0e6);
            const double expected = std::pow(1.0 / (gamma * (1.0 - beta * cosTheta)), k);
            const double shown = label->text().section(": ", 1).toDouble();
            QVERIFY2(std::fabs(shown - expected) < 1e-5 * expected,
                     qPrintable(label->text() + " vs " + QString::number(expected)));
        };
        hover(view, QPoint(vw / 2, vh / 2));
        w.updateStatusBar();
        QVERIFY(!label->isVisible());  // searchlight off
        w.findChild<QAction*>("actionSearchlight")->trigger();
        readOutAt(QPoint(vw / 2, vh / 2), 4);
        QVERIFY(label->isVisible());
        main->setSearchlightExponent(3);
        readOutAt(QPoint(vw * 3 / 4, vh / 5), 3);
        // The view's own switches: no Doppler effect, no brightening; searchlight disabled there,
        // no read-out.
        view->dopplerChecker().setChoice(EffectChoice::Disable);
        w.updateStatusBar();
        QCOMPARE(label->text().section(": ", 1).toDouble(), 1.0);
        view->dopplerChecker().setChoice(EffectChoice::UseParent);
        view->searchlightChecker().setChoice(EffectChoice::Disable);
        w.updateStatusBar();
        QVERIFY(!label->isVisible());
        main->resumeRendering();
    }

    // Automatic exposure on a picture that clips (the 8-bit clamp stops at 254): the frame loop
    // steps the exposure down frame by frame until the picture no longer clips, and leaves a
    // manual one alone.
    void autoExposureDarkensAnOverBrightPicture() {
        BuiltInView v;
        MainView& main = v.main;
        main.setPaused(true);
        RenderSettings& s = *v.doc.getSettings();
        const uint32_t background = s.backgroundPixel();
        GlView* view = main.rootView().view();
        s.exposureStops = 6.0f;  // manual: stays, and clips
        QVERIFY(waitFrames(main, 3));
        QVERIFY(holdFrames(main));
        QCOMPARE(s.exposureStops, 6.0f);
        QVERIFY(percentileBrightEnd(pixelsOf(view), background) >= 254);
        std::vector<float> stops;
        connect(&main, &MainView::updateStatusBar, this, [&] { stops.push_back(s.exposureStops); });
        s.autoExposure = true;
        main.resumeRendering();
        QVERIFY(waitFrames(main, 10));
        QVERIFY(holdFrames(main));
        QVERIFY(stops.size() >= 10);
        // Never brighter; the first steps take the clipped picture down by whole steps.
        QVERIFY(std::is_sorted(stops.rbegin(), stops.rend()));
        QCOMPARE(stops[0], 6.0f - AutoExposure::kClippedStep);
        const int end = percentileBrightEnd(pixelsOf(view), background);
        QVERIFY2(end < 254 && end >= AutoExposure::kLow - 5, qPrintable(QString::number(end)));
        main.resumeRendering();
    }
};

QTEST_MAIN(MainWindowTest)
#include "mainwindow_test.moc"
