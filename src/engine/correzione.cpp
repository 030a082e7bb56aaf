#include "engine/correzione.h"

QDateTime oraCorretta(const QDateTime &ora, int ore, int minuti, int secondi)
{
    // Added to the moment, not to the clock face, so that photos keep their
    // order and their distance across a change of daylight saving time.
    return ora.addSecs(ore * 3600LL + minuti * 60LL + secondi);
}
