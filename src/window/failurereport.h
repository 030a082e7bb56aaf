#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace desktop {

// Tells the user that an operation failed: a modal message box over parent.
void reportFailure(QWidget *parent, const QString &text);

// Tells the user what was done on their behalf: a modal message box over parent.
void reportNotice(QWidget *parent, const QString &text);

// Tests collect the text instead of showing a box; an empty sink restores the box.
void setFailureSink(std::function<void(const QString &)> sink);

} // namespace desktop
