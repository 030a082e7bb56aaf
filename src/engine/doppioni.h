#pragma once

#include "engine/piano.h"

#include <QString>

// Marks the files of the plan whose shot the destination folder already holds
// whole: for each of its files one of the very same bytes, under any name,
// but for the capture dates, which a run's correction may have shifted.
// Sizes come first, from one look at each file of the destination; content,
// by hash, only for equal sizes. A copy a run published there, still as its
// journal recorded it, is not read again. A file is never its own double, as
// when the destination is the folder it is in. With a backup folder, a
// file is a double only where both folders hold it. With folders by date,
// each folder is looked through with the folders by date of the schema in it.
void segnaDoppioni(PianoTrasferimento &piano, const QString &destinazione,
    const QString &riserva = {}, CartellePerData schema = CartellePerData::Nessuna);

// The folder and, within it, the folders by date of the schema that are
// there, whatever run or hand made them: where its photos may be filed.
// Each ends with its separator.
QStringList cartelleDellAlbero(const QString &radice, CartellePerData schema);
