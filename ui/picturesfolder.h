// Where screenshots and films go unless the user chooses otherwise.
#pragma once

#include <QString>

// The user's pictures folder, created when it is missing; the home folder when there is none or
// it cannot be created.
QString picturesFolder();
