// One applied edit of the scene's items on the undo stack: the items before and after, as packed
// scene text (shared with the edits before and after it). Undoing or redoing asks the document to
// restore one of them at the next frame, keeping the observer where it is.
#pragma once

#include <QUndoCommand>

#include "engine/scenesnapshot.h"

class DocRT;

class SceneEditCommand : public QUndoCommand {
public:
    // The edit has already been applied when it is pushed: the first redo does nothing.
    SceneEditCommand(DocRT* doc, const SceneSnapshot& before, const SceneSnapshot& after);

    void undo() override;
    void redo() override;

private:
    DocRT* doc;  // not owned; outlives the stack
    SceneSnapshot before;
    SceneSnapshot after;
    bool applied = true;
};
