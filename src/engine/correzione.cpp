#include "engine/correzione.h"

qint64 spanCorrezione(int ore, int minuti, int secondi)
{
    return ore * 3600LL + minuti * 60LL + secondi;
}

QDateTime oraCorretta(const QDateTime &ora, qint64 correzione)
{
    // Added to the moment, not to the clock face, so that photos keep their
    // order and their distance across a change of daylight saving time.
    return ora.addSecs(correzione);
}
