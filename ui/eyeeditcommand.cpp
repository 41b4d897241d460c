// Undo and redo of an eye change restore the eye without announcing a new edit.
#include "ui/eyeeditcommand.h"

#include <QCoreApplication>

#include "engine/docrt.h"

EyeEditCommand::EyeEditCommand(DocRT* doc_, const Eye& before_, const Eye& after_)
    : QUndoCommand(QCoreApplication::translate("EyeEditCommand", "Change Eye")),
      doc(doc_),
      before(before_),
      after(after_) {}

void EyeEditCommand::undo() {
    doc->restoreEye(before);
    applied = false;
}

void EyeEditCommand::redo() {
    if (applied) return;  // pushed after the change was made
    doc->restoreEye(after);
    applied = true;
}
