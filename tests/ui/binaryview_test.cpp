// The split-view tree: splitting gives two equal views with the new one first, removal lets the
// sibling take the parent's place, the last view cannot be removed, and splitting and removing
// while frames render never touches a freed engine.
#include "views/binaryview.h"

#include <random>

#include "tests/ui/uitesthelpers.h"

using namespace viewtest;

namespace {

// Checks the tree invariants below node (parents, splitters, widget placement) and lists its
// views; an empty list when an invariant fails.
std::vector<GlView*> viewsOf(BinaryView* node) {
    if (node->isLeaf()) {
        if (!node->view() || node->splitter() ||
            node->view()->parentWidget() != node->parentSplitter())
            return {};
        return {node->view()};
    }
    QSplitter* split = node->splitter();
    if (node->view() || !split || split->parentWidget() != node->parentSplitter() ||
        split->count() != 2)
        return {};
    std::vector<GlView*> views;
    for (int i = 0; i < 2; ++i) {
        BinaryView* child = node->child(i);
        if (child->parent() != node || child->parentSplitter() != split ||
            split->widget(i) != child->widget())
            return {};
        const std::vector<GlView*> below = viewsOf(child);
        if (below.empty()) return {};
        views.insert(views.end(), below.begin(), below.end());
    }
    return views;
}

}  // namespace

class BinaryViewTest : public QObject {
    Q_OBJECT

private slots:
    // The new view comes first, both share the room, each engine renders at its view's size; the
    // former view keeps its effect choices. Removals let the sibling take the parent's place,
    // keep the outer splitter's sizes, and never the last view.
    void splitAndRemove() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.resize(801, 400);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        BinaryView& root = main.rootView();
        GlView* a = root.view();
        QVERIFY(!root.remove(a));
        a->aberrationChecker().setChoice(EffectChoice::Disable);
        a->splitHorizontally();  // [new b | a]
        QVERIFY(waitFrames(main, 2));
        GlView* b = root.child(0)->view();
        QCOMPARE(viewsOf(&root), (std::vector<GlView*>{b, a}));
        QCOMPARE(root.splitter()->orientation(), Qt::Horizontal);
        QVERIFY(b->geometry().x() < a->geometry().x());
        QVERIFY(qAbs(b->width() - a->width()) <= 1 + root.splitter()->handleWidth());
        QCOMPARE(b->height(), a->height());
        QCOMPARE(b->aberrationChecker().choice(), EffectChoice::UseParent);
        QCOMPARE(a->aberrationChecker().choice(), EffectChoice::Disable);
        QCOMPARE(b->engine()->ownPixelBuffer().width(), b->width());
        QVERIFY(menuTexts(b->rebuildContextMenu()).contains("Remove"));

        b->splitVertically();  // [(c / b) | a]
        GlView* c = root.child(0)->child(0)->view();
        root.splitter()->setSizes({600, 200});
        spin(50);
        const QList<int> outer = root.splitter()->sizes();
        a->splitVertically();  // [(c / b) | (d / a)]
        GlView* d = root.child(1)->child(0)->view();
        QCOMPARE(viewsOf(&root), (std::vector<GlView*>{c, b, d, a}));
        b->deleteWidget();  // c takes the left node's place
        QCOMPARE(viewsOf(&root), (std::vector<GlView*>{c, d, a}));
        QCOMPARE(root.splitter()->sizes(), outer);
        QVERIFY(waitFrames(main, 2));
        c->deleteWidget();  // the right subtree (d / a) moves up to the root
        QCOMPARE(viewsOf(&root), (std::vector<GlView*>{d, a}));
        QCOMPARE(root.splitter()->orientation(), Qt::Vertical);
        QCOMPARE(root.parentSplitter(), static_cast<QSplitter*>(&main));
        d->deleteWidget();
        QVERIFY(waitFrames(main, 2));
        QCOMPARE(viewsOf(&root), std::vector<GlView*>{a});
        QCOMPARE(a->width(), main.width());
        QCOMPARE(a->engine()->ownPixelBuffer().width(), a->width());
        QCOMPARE(menuTexts(a->rebuildContextMenu()),
                 QStringList({"Split horizontally", "Split vertically", "Effects"}));
    }

    // Random splits and removals, each at any moment of a frame (often while the pool renders
    // the removed view's engine). Under AddressSanitizer this catches an engine or its settings
    // freed too early.
    void randomSplitsAndRemovalsWhileRendering() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.resize(640, 480);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        std::mt19937 rng(12345);
        int removedWhileRendering = 0;
        for (int step = 0; step < 60; ++step) {
            const std::vector<GlView*> views = viewsOf(&main.rootView());
            QCOMPARE(int(views.size()), main.rootView().viewCount());
            GlView* v = views[rng() % views.size()];
            // Private settings make the engine read the view's own copy while rendering.
            v->dopplerChecker().setChoice(EffectChoice::Disable);
            if (views.size() < 2 || (views.size() < 6 && rng() % 2 == 0)) {
                if (rng() % 2)
                    v->splitHorizontally();
                else
                    v->splitVertically();
            } else {
                removedWhileRendering += main.isRendering();
                v->deleteWidget();
            }
            spin(int(rng() % 15));
        }
        QVERIFY(waitFrames(main, 3));
        QVERIFY2(removedWhileRendering > 0, "no removal met a running frame");
    }
};

QTEST_MAIN(BinaryViewTest)
#include "binaryview_test.moc"
