#pragma once

#include <QDateTime>

// A file time shifted by the clock correction. The offset is added to the
// local clock time as one span, carrying into days, months and years
// (23:30 plus one hour is 00:30 of the next day); the result is again a local
// time, read with the daylight saving rule in force on its own date.
QDateTime oraCorretta(const QDateTime &ora, int ore, int minuti, int secondi);
