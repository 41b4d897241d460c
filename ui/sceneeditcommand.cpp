// Undoing and redoing an applied edit of the scene's items.
#include "ui/sceneeditcommand.h"

#include <QCoreApplication>

#include "engine/docrt.h"

SceneEditCommand::SceneEditCommand(DocRT* doc_, const SceneSnapshot& before_,
                                   const SceneSnapshot& after_)
    : doc(doc_), before(before_), after(after_) {
    setText(QCoreApplication::translate("MainWindow", "Scene Edit"));
}

void SceneEditCommand::undo() {
    doc->restoreSnapshot(before);
    applied = false;
}

void SceneEditCommand::redo() {
    if (applied) return;  // pushed after the document applied it
    doc->restoreSnapshot(after);
    applied = true;
}
