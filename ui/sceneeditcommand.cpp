// Undoing and redoing an applied edit of the scene's items.
#include "ui/sceneeditcommand.h"

#include <QCoreApplication>

#include "engine/docrt.h"

SceneEditCommand::SceneEditCommand(DocRT* doc_, const QString& before_, const QString& after_)
    : doc(doc_), before(before_), after(after_) {
    setText(QCoreApplication::translate("MainWindow", "Scene Edit"));
}

void SceneEditCommand::undo() {
    doc->restoreSceneText(before);
    applied = false;
}

void SceneEditCommand::redo() {
    if (applied) return;  // pushed after the document applied it
    doc->restoreSceneText(after);
    applied = true;
}
