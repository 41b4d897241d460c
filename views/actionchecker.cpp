// The exclusive three-way effect switch of a view.
#include "views/actionchecker.h"

#include <QAction>
#include <QActionGroup>

ActionChecker::ActionChecker(const QString& name, QObject* parent)
    : QObject(parent), name_(name), group_(new QActionGroup(this)) {
    group_->setExclusive(true);
    auto make = [this](const QString& text) {
        auto* action = new QAction(text, this);
        action->setCheckable(true);
        group_->addAction(action);
        connect(action, &QAction::toggled, this, [this](bool checked) {
            if (checked) emit choiceChanged(choice());
        });
        return action;
    };
    enable_ = make(tr("Enable ") + name);
    disable_ = make(tr("Disable ") + name);
    useParent_ = make(tr("Use Parent ") + name);
    separator_ = make(name);
    separator_->setSeparator(true);
    useParent_->setChecked(true);
}

EffectChoice ActionChecker::choice() const {
    if (enable_->isChecked()) return EffectChoice::Enable;
    if (disable_->isChecked()) return EffectChoice::Disable;
    return EffectChoice::UseParent;
}

void ActionChecker::setChoice(EffectChoice choice) {
    switch (choice) {
        case EffectChoice::Enable:
            enable_->setChecked(true);
            break;
        case EffectChoice::Disable:
            disable_->setChecked(true);
            break;
        case EffectChoice::UseParent:
            useParent_->setChecked(true);
            break;
    }
}

bool ActionChecker::isOn(bool documentOn) const {
    switch (choice()) {
        case EffectChoice::Enable:
            return true;
        case EffectChoice::Disable:
            return false;
        case EffectChoice::UseParent:
            break;
    }
    return documentOn;
}
