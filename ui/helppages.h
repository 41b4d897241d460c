// One entry point for the dialogs' Help buttons: shows a page of the help collection.
#pragma once

#include <QString>
#include <functional>

// Shows the help page (a file name such as "dlgscreenshot.html") in the help viewer through
// HelpAssistant, which the main window keeps alive.
// GUI thread only.
void showHelpPage(const QString& page);

// Replaces where showHelpPage sends its pages (tests record them); an empty handler restores the
// help viewer.
using HelpPageHandler = std::function<void(const QString& page)>;
void setHelpPageHandler(HelpPageHandler handler);
