#pragma once

#include <QDateTime>

// A file time shifted by the clock correction. The offset is one span of
// time added to the moment the file was written, carrying into days, months
// and years: 23:30 plus one hour is 00:30 of the next day.
QDateTime oraCorretta(const QDateTime &ora, int ore, int minuti, int secondi);
