#pragma once

#include <QDateTime>

#include <optional>

// The window's three correction fields as one span of time in seconds: the
// hours, minutes and seconds added, each with its own sign, so that -1 hour
// and 30 minutes is half an hour back.
qint64 spanCorrezione(int ore, int minuti, int secondi);

// A file time shifted by the clock correction, a span in seconds. It is added
// to the moment the file was written, carrying into days, months and years:
// 23:30 plus one hour is 00:30 of the next day.
QDateTime oraCorretta(const QDateTime &ora, qint64 correzione);

// A span as the terminal's --correggi takes it and the window's account
// says it: "-1:30:00", "+0:00:05".
QString testoCorrezione(qint64 correzione);

// "[+|-]H:MM:SS", of at most 12:59:59, as a span in seconds; nothing for
// any other text.
std::optional<qint64> correzioneDaTesto(const QString &testo);
