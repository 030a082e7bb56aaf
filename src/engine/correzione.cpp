#include "engine/correzione.h"

#include <QRegularExpression>

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

QString testoCorrezione(qint64 correzione)
{
    const qint64 secondi = qAbs(correzione);
    return QStringLiteral("%1%2:%3:%4")
        .arg(correzione < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(secondi / 3600)
        .arg(secondi / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(secondi % 60, 2, 10, QLatin1Char('0'));
}

std::optional<qint64> correzioneDaTesto(const QString &testo)
{
    static const QRegularExpression forma(QStringLiteral("^([+-]?)(\\d{1,2}):(\\d\\d):(\\d\\d)$"));
    const QRegularExpressionMatch parti = forma.match(testo);
    const int ore = parti.captured(2).toInt();
    const int minuti = parti.captured(3).toInt();
    const int secondi = parti.captured(4).toInt();
    if (!parti.hasMatch() || ore > 12 || minuti > 59 || secondi > 59)
        return std::nullopt;
    const qint64 span = spanCorrezione(ore, minuti, secondi);
    return parti.captured(1) == QLatin1String("-") ? -span : span;
}
