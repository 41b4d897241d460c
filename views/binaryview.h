// The split-view tree: a leaf holds one view, an inner node holds a splitter with its two
// children's widgets. Splitting turns a leaf into an inner node; removing a view lets its sibling
// take over the parent node's place. GUI thread only.
#pragma once

class DocRT;
class GlView;
class MainView;
class QSplitter;
class QWidget;

class BinaryView {
public:
    BinaryView(QSplitter* parentSplitter, BinaryView* parent);
    // Deletes the child nodes; the widgets belong to their splitters.
    ~BinaryView();
    BinaryView(const BinaryView&) = delete;
    BinaryView& operator=(const BinaryView&) = delete;

    // Makes this childless node a leaf showing existingView, or a new view when it is null.
    // Fails with "noNode" when the node has children.
    void createView(DocRT* document, MainView* mainView, GlView* existingView = nullptr);
    // Splits this leaf into a splitter (side by side when horizontal, stacked otherwise) with a
    // new view first and the existing view second, sharing the space equally; the sizes of the
    // enclosing splitter are kept. keepFirst puts the existing view first instead.
    void split(DocRT* document, MainView* mainView, bool horizontal, bool keepFirst = false);
    // Finds the leaf below this node that shows view and splits it; false if none does.
    bool splitView(DocRT* document, MainView* mainView, GlView* view, bool horizontal);
    // Removes the leaf below this node that shows view and deletes the view; the sibling takes
    // over the parent node. False if no child leaf below this node shows it (a lone root view
    // cannot be removed).
    bool remove(GlView* view);

    // Prepares every view's engine for the next frame, depth first.
    void raytracePics();
    // Repaints every view at once with its finished picture, depth first.
    void paintGL();
    // The brightest of the views' bright ends (GlView::brightEnd), -1 when no view has a
    // finished frame. Pool idle.
    int brightEnd() const;

    bool isLeaf() const { return leaf; }
    GlView* view() const { return view_; }
    QSplitter* splitter() const { return splitter_; }
    QSplitter* parentSplitter() const { return parentSplitter_; }
    BinaryView* parent() const { return parent_; }
    BinaryView* child(int i) const { return children[i]; }
    // The view of a leaf, the splitter of an inner node.
    QWidget* widget() const;
    // Number of views below this node.
    int viewCount() const;

private:
    void raytracePicsBelow();
    void paintBelow();

    bool leaf = true;
    GlView* view_ = nullptr;
    QSplitter* splitter_ = nullptr;
    QSplitter* parentSplitter_;
    BinaryView* parent_;
    BinaryView* children[2] = {nullptr, nullptr};
};
