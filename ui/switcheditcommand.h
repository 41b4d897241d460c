// A document switch that the scene file stores (Light Travel Time) turned on or off, on the undo
// stack: switching it is an edit of the document like any other, marks it unsaved, and undo
// turns it back.
#pragma once

#include <QUndoCommand>
#include <functional>

class SwitchEditCommand : public QUndoCommand {
public:
    // set(on) puts the switch (and whatever shows it) into a state without pushing a command.
    // The switch is already at after when the command is pushed: the first redo does nothing.
    SwitchEditCommand(const QString& text, std::function<void(bool on)> set, bool after);

    void undo() override;
    void redo() override;

private:
    std::function<void(bool)> set;
    bool after;
    bool applied = true;
};
