// Undo and redo of a document switch.
#include "ui/switcheditcommand.h"

SwitchEditCommand::SwitchEditCommand(const QString& text, std::function<void(bool on)> set_,
                                     bool after_)
    : QUndoCommand(text), set(std::move(set_)), after(after_) {}

void SwitchEditCommand::undo() {
    set(!after);
    applied = false;
}

void SwitchEditCommand::redo() {
    if (applied) return;  // pushed after the switch was made
    set(after);
    applied = true;
}
