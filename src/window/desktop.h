#pragma once

#include <QString>

class QWidget;

namespace desktop {

// The progress of a run as a bar on the program's icon in the task manager:
// the launcher-entry signal on the session bus, which the main desktops
// show. fraction goes from 0.0 to 1.0. The caller sends at most 4 a second.
// Without a session bus nothing happens. Called on the user-interface thread.
void showTaskbarProgress(double fraction);
// Takes the bar off the icon: the last signal of a run, whatever its end.
void hideTaskbarProgress();

// A desktop notification naming the program, for a run that ended while the
// window was in the background; clicking it raises and activates window. A
// click that comes after the window is gone does nothing. Without a
// notification server nothing happens. Called on the user-interface thread.
void notifyRunEnded(QWidget *window, const QString &summary, const QString &body = QString());

} // namespace desktop
