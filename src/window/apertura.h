#pragma once

#include <QProcessEnvironment>

// How main() opens the window.

// Whether the arguments are for the window: none, or first one of the options
// Qt takes for any window (-session from the desktop's session manager,
// -style, -platform, -reverse...). Anything else is for the terminal, which
// says what it makes of it.
bool perLaFinestra(int argc, char **argv);

// Whether Qt finds a screen for the window, as it picks its platform: one
// named by QT_QPA_PLATFORM or -platform is trusted (offscreen too), else it
// needs an X display (DISPLAY or -display) or a Wayland one.
bool schermoPerLaFinestra(int argc, char **argv, const QProcessEnvironment &ambiente);

// The window, until it closes. With no screen, where Qt would abort in
// English, it says what to do instead and returns 1.
int apriFinestra(int argc, char **argv);
