// One applied edit of the scene's items on the undo stack: the items before and after, as scene
// text. Undoing or redoing asks the document to restore one of them at the next frame, keeping
// the observer where it is.
#pragma once

#include <QString>
#include <QUndoCommand>

class DocRT;

class SceneEditCommand : public QUndoCommand {
public:
    // The edit has already been applied when it is pushed: the first redo does nothing.
    SceneEditCommand(DocRT* doc, const QString& before, const QString& after);

    void undo() override;
    void redo() override;

private:
    DocRT* doc;  // not owned; outlives the stack
    QString before;
    QString after;
    bool applied = true;
};
