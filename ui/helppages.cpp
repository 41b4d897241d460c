// Routes the dialogs' Help buttons to the help launcher, or to a handler that replaced it.
#include "ui/helppages.h"

#include "ui/helpassistant.h"

namespace {
HelpPageHandler& handlerSlot() {
    static HelpPageHandler handler;
    return handler;
}
}  // namespace

void setHelpPageHandler(HelpPageHandler handler) { handlerSlot() = std::move(handler); }

void showHelpPage(const QString& page) {
    if (handlerSlot()) {
        handlerSlot()(page);
        return;
    }
    HelpAssistant::showPage(page);
}
