// The split-view tree: splitting gives two equal views with the new one first, removal lets the
// sibling take the parent's place, the last view cannot be removed, and splitting and removing
// while frames render never touches a freed engine.
#include <QMenu>
#include <QSplitter>
#include <QtTest>
#include <functional>
#include <random>

#include "engine/views/binaryview.h"
#include "geometry/programmingerror.h"
#include "tests/ui/uitesthelpers.h"

using namespace viewtest;

class BinaryViewTest : public QObject {
    Q_OBJECT

private:
    // Checks the tree invariants below node: parents, splitters, widget placement, and counts the
    // leaves.
    int checkTree(BinaryView* node) {
        if (node->isLeaf()) {
            [&] {
                QVERIFY(node->view());
                QVERIFY(!node->splitter());
                QCOMPARE(node->view()->parentWidget(), node->parentSplitter());
            }();
            return 1;
        }
        [&] {
            QVERIFY(!node->view());
            QVERIFY(node->splitter());
            QCOMPARE(node->splitter()->parentWidget(), node->parentSplitter());
            QCOMPARE(node->splitter()->count(), 2);
            for (int i = 0; i < 2; ++i) {
                QCOMPARE(node->child(i)->parent(), node);
                QCOMPARE(node->child(i)->parentSplitter(), node->splitter());
                QCOMPARE(node->splitter()->widget(i), node->child(i)->widget());
            }
        }();
        return checkTree(node->child(0)) + checkTree(node->child(1));
    }

    static void collect(BinaryView* node, std::vector<GlView*>& views) {
        if (node->isLeaf()) {
            views.push_back(node->view());
            return;
        }
        collect(node->child(0), views);
        collect(node->child(1), views);
    }

private slots:
    void splitGivesTwoEqualViewsWithTheNewOneOnTheLeft() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.resize(801, 400);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QVERIFY(waitFrames(main, 2));

        GlView* original = main.rootView().view();
        original->aberrationChecker().setChoice(EffectChoice::Disable);
        original->splitHorizontally();
        QVERIFY(waitFrames(main, 2));

        BinaryView& root = main.rootView();
        QVERIFY(!root.isLeaf());
        QCOMPARE(root.splitter()->orientation(), Qt::Horizontal);
        QCOMPARE(checkTree(&root), 2);
        GlView* left = root.child(0)->view();
        GlView* right = root.child(1)->view();
        QCOMPARE(right, original);
        QVERIFY(left != original);
        QVERIFY(left->geometry().x() < right->geometry().x());
        QVERIFY(qAbs(left->width() - right->width()) <= 1 + root.splitter()->handleWidth());
        QCOMPARE(left->height(), right->height());
        // The former view keeps its effect choices; the new one follows the document.
        QCOMPARE(right->aberrationChecker().choice(), EffectChoice::Disable);
        QCOMPARE(left->aberrationChecker().choice(), EffectChoice::UseParent);
        // Each engine renders at its own view's size.
        QCOMPARE(left->engine()->ownPixelBuffer().width(), left->width());
        QCOMPARE(right->engine()->ownPixelBuffer().height(), right->height());

        // Both views can be removed now; the menus say so.
        QVERIFY(menuTexts(left->rebuildContextMenu()).contains("Remove"));
        QVERIFY(menuTexts(right->rebuildContextMenu()).contains("Remove"));

        left->deleteWidget();
        QVERIFY(waitFrames(main, 2));
        QVERIFY(root.isLeaf());
        QCOMPARE(root.view(), original);
        QCOMPARE(original->parentWidget(), static_cast<QWidget*>(&main));
        QCOMPARE(main.count(), 1);
        QCOMPARE(original->width(), main.width());
        QCOMPARE(menuTexts(original->rebuildContextMenu()),
                 QStringList({"Split horizontally", "Split vertically", "Effects"}));
    }

    void removalLetsTheSiblingTakeThePlaceAndKeepsSizes() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.resize(900, 600);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        BinaryView& root = main.rootView();
        GlView* a = root.view();
        a->splitHorizontally();  // [new b | a]
        GlView* b = root.child(0)->view();
        b->splitVertically();  // [(c / b) | a]
        QVERIFY(waitFrames(main, 2));
        QCOMPARE(checkTree(&root), 3);
        QCOMPARE(root.child(0)->splitter()->orientation(), Qt::Vertical);
        GlView* c = root.child(0)->child(0)->view();
        QCOMPARE(root.child(0)->child(1)->view(), b);

        // Uneven outer sizes survive an inner removal.
        root.splitter()->setSizes({600, 300});
        spin(50);
        const QList<int> outer = root.splitter()->sizes();
        a->splitVertically();  // [(c / b) | (d / a)]
        QCOMPARE(root.splitter()->sizes(), outer);
        GlView* d = root.child(1)->child(0)->view();
        QCOMPARE(checkTree(&root), 4);

        b->deleteWidget();  // c takes the left node's place
        QCOMPARE(checkTree(&root), 3);
        QVERIFY(root.child(0)->isLeaf());
        QCOMPARE(root.child(0)->view(), c);
        QCOMPARE(root.splitter()->sizes(), outer);
        QVERIFY(waitFrames(main, 2));

        c->deleteWidget();  // the right subtree (d / a) moves up to the root
        QCOMPARE(checkTree(&root), 2);
        QCOMPARE(root.splitter()->orientation(), Qt::Vertical);
        QCOMPARE(root.child(0)->view(), d);
        QCOMPARE(root.child(1)->view(), a);
        QCOMPARE(root.parentSplitter(), static_cast<QSplitter*>(&main));
        QVERIFY(waitFrames(main, 2));
        QCOMPARE(d->engine()->ownPixelBuffer().width(), d->width());
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
            std::vector<GlView*> views;
            collect(&main.rootView(), views);
            QCOMPARE(int(views.size()), main.rootView().viewCount());
            GlView* v = views[rng() % views.size()];
            // Private settings make the engine read the view's own copy while rendering.
            v->dopplerChecker().setChoice(EffectChoice::Disable);
            const bool grow = views.size() < 2 || (views.size() < 6 && rng() % 2 == 0);
            if (grow) {
                if (rng() % 2)
                    v->splitHorizontally();
                else
                    v->splitVertically();
            } else {
                if (main.isRendering()) ++removedWhileRendering;
                v->deleteWidget();
            }
            QCOMPARE(checkTree(&main.rootView()), main.rootView().viewCount());
            spin(int(rng() % 15));
        }
        QVERIFY(waitFrames(main, 3));
        QVERIFY2(removedWhileRendering > 0, "no removal met a running frame");
    }

    void theLastViewIsNotRemovable() {
        DocRT doc;
        doc.requestBuiltInScene();
        auto* main = new MainView(nullptr, &doc);
        GlView* only = main->rootView().view();
        QVERIFY(!main->rootView().remove(only));
        QCOMPARE(main->rootView().view(), only);
        delete main;
    }

    void createViewOnAnInnerNodeFails() {
        DocRT doc;
        doc.requestBuiltInScene();
        MainView main(nullptr, &doc);
        main.rootView().view()->splitVertically();
        QVERIFY_THROWS_EXCEPTION(ProgrammingError,
                                 main.rootView().createView(&doc, &main, nullptr));
    }
};

QTEST_MAIN(BinaryViewTest)
#include "binaryview_test.moc"
