#include "transfer/correzione.h"

QDateTime oraCorretta(const QDateTime &ora, int ore, int minuti, int secondi)
{
    const qint64 scarto = ore * 3600LL + minuti * 60LL + secondi;
    // Count on the clock face, as a camera does, free of any zone rule.
    const QDateTime orologio = QDateTime(ora.date(), ora.time(), Qt::UTC).addSecs(scarto);
    return QDateTime(orologio.date(), orologio.time(), Qt::LocalTime);
}
