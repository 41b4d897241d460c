// Splitting and removing views in the split-view tree.
#include "views/binaryview.h"

#include <QList>
#include <QSplitter>
#include <algorithm>

#include "engine/debuglog.h"
#include "views/glview.h"
#include "base/programmingerror.h"

namespace {
// A splitter's sizes with every zero raised to 1, so that restoring them keeps each widget.
QList<int> rememberedSizes(QSplitter* splitter) {
    QList<int> sizes = splitter->sizes();
    for (int& s : sizes)
        if (s == 0) s = 1;
    return sizes;
}
}  // namespace

BinaryView::BinaryView(QSplitter* parentSplitter, BinaryView* parent)
    : parentSplitter_(parentSplitter), parent_(parent) {}

BinaryView::~BinaryView() {
    delete children[0];
    delete children[1];
}

QWidget* BinaryView::widget() const {
    if (view_) return view_;
    if (splitter_) return splitter_;
    programmingError("This Binary View does have a Widget! BinaryView::getWidget");
}

int BinaryView::viewCount() const {
    if (leaf) return view_ ? 1 : 0;
    return children[0]->viewCount() + children[1]->viewCount();
}

void BinaryView::createView(DocRT* document, MainView* mainView, GlView* existingView) {
    if (children[0] || children[1]) programmingError("noNode");
    view_ = existingView ? existingView : new GlView(parentSplitter_, document, mainView);
    leaf = true;
}

void BinaryView::split(DocRT* document, MainView* mainView, bool horizontal, bool keepFirst) {
    auto* newSplitter = new QSplitter(horizontal ? Qt::Horizontal : Qt::Vertical, parentSplitter_);
    const QList<int> outerSizes = rememberedSizes(parentSplitter_);
    parentSplitter_->insertWidget(parentSplitter_->indexOf(view_), newSplitter);

    children[0] = new BinaryView(newSplitter, this);
    children[1] = new BinaryView(newSplitter, this);
    GlView* existing = view_;
    if (keepFirst) {
        children[0]->createView(document, mainView, existing);
        children[1]->createView(document, mainView);
    } else {
        children[0]->createView(document, mainView);
        children[1]->createView(document, mainView, existing);
    }
    newSplitter->addWidget(children[0]->view_);
    newSplitter->addWidget(children[1]->view_);

    newSplitter->setSizes({1, 1});
    parentSplitter_->setSizes(outerSizes);
    splitter_ = newSplitter;
    view_ = nullptr;
    leaf = false;
}

bool BinaryView::splitView(DocRT* document, MainView* mainView, GlView* view, bool horizontal) {
    for (BinaryView* child : children) {
        if (!child) continue;
        if (child->leaf && child->view_ == view) {
            child->split(document, mainView, horizontal);
            return true;
        }
        if (child->splitView(document, mainView, view, horizontal)) return true;
    }
    return false;
}

bool BinaryView::remove(GlView* view) {
    int found = -1;
    for (int i = 0; i < 2 && found < 0; ++i) {
        BinaryView* child = children[i];
        if (!child) continue;
        if (child->leaf && child->view_ == view)
            found = i;
        else if (child->remove(view))
            return true;
    }
    if (found < 0) return false;

    const QList<int> outerSizes = rememberedSizes(parentSplitter_);
    BinaryView* removed = children[found];
    BinaryView* kept = children[1 - found];
    QWidget* keptWidget = kept->widget();
    parentSplitter_->insertWidget(parentSplitter_->indexOf(splitter_), keptWidget);
    delete removed->view_;
    delete splitter_;

    // This node takes the sibling's place; the sibling's children now hang below this node.
    leaf = kept->leaf;
    view_ = kept->view_;
    splitter_ = kept->splitter_;
    children[0] = kept->children[0];
    children[1] = kept->children[1];
    for (BinaryView* grandChild : children)
        if (grandChild) grandChild->parent_ = this;
    kept->children[0] = kept->children[1] = nullptr;
    removed->children[0] = removed->children[1] = nullptr;
    delete removed;
    delete kept;
    parentSplitter_->setSizes(outerSizes);
    return true;
}

void BinaryView::raytracePics() {
    DebugLog::logMessage(QStringLiteral("BinaryView::raytracePics called"));
    raytracePicsBelow();
}

void BinaryView::raytracePicsBelow() {
    if (leaf) {
        if (view_) view_->raytracePic();
        return;
    }
    children[0]->raytracePicsBelow();
    children[1]->raytracePicsBelow();
}

void BinaryView::paintGL() {
    DebugLog::logMessage(QStringLiteral("BinaryView::paintGL called"));
    paintBelow();
}

int BinaryView::brightEnd() const {
    if (leaf) return view_ ? view_->brightEnd() : -1;
    return std::max(children[0]->brightEnd(), children[1]->brightEnd());
}

void BinaryView::paintBelow() {
    if (leaf) {
        if (view_) view_->paintFrame();
        return;
    }
    children[0]->paintBelow();
    children[1]->paintBelow();
}
