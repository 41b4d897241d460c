// A change of the eye on the undo stack: the scene file stores its eye, so choosing another one
// in the eye dialog is an edit of the document like any other.
#pragma once

#include <QUndoCommand>

#include "scene/eye.h"

class DocRT;

class EyeEditCommand : public QUndoCommand {
public:
    // The new eye has already been handed to the document when it is pushed.
    EyeEditCommand(DocRT* doc, const Eye& before, const Eye& after);

    void undo() override;
    void redo() override;

private:
    DocRT* doc;  // not owned; outlives the stack
    Eye before;
    Eye after;
    bool applied = true;
};
