// Routes the dialogs' Help buttons to the help launcher once it is part of the program.
#include "ui/helppages.h"

#include "geometry/traceoutput.h"

#if __has_include("ui/helpassistant.h")
#include "ui/helpassistant.h"
#define TAVOLIN_HAVE_HELP_ASSISTANT 1
#endif

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
#ifdef TAVOLIN_HAVE_HELP_ASSISTANT
    HelpAssistant::showPage(page);
#else
    TraceOutput::line("Help page requested: " + page.toStdString());
#endif
}
