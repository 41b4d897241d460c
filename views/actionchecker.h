// One per-view effect switch ("Aberration", "Doppler Effect", "Januscircle"): force the effect on,
// force it off, or follow the document, as three exclusive menu entries under a titled separator.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "engine/vieweffects.h"

class QAction;
class QActionGroup;

class ActionChecker : public QObject {
    Q_OBJECT
public:
    // Creates "Enable " + name, "Disable " + name, "Use Parent " + name and a separator titled
    // name, all checkable in one exclusive group; "Use Parent" starts checked.
    ActionChecker(const QString& name, QObject* parent = nullptr);

    EffectChoice choice() const;
    void setChoice(EffectChoice choice);
    // Whether the effect is on for a document whose own switch is documentOn.
    bool isOn(bool documentOn) const;

    const QString& name() const { return name_; }
    QAction* enableAction() const { return enable_; }
    QAction* disableAction() const { return disable_; }
    QAction* useParentAction() const { return useParent_; }
    QAction* separatorAction() const { return separator_; }
    // In creation order: enable, disable, use parent, separator.
    QList<QAction*> actions() const { return {enable_, disable_, useParent_, separator_}; }

signals:
    // Another of the three entries became checked, by the user or by setChoice.
    void choiceChanged(EffectChoice choice);

private:
    QString name_;
    QActionGroup* group_;
    QAction* enable_;
    QAction* disable_;
    QAction* useParent_;
    QAction* separator_;
};
