#pragma once

#include "engine/esecuzione.h"

#include <QString>

// Fills in the plan's new names: each origin's file under the base name in
// the destination, numbered on from ultimo. Returns why it cannot, numbers
// past the largest 64-bit one, or an empty text.
QString numeraPiano(PianoTrasferimento &piano, const QString &destinazione, const QString &nomeBase,
    qint64 ultimo, bool senzaEstensione);

// Why the run of the plan could not finish, found before any file is touched
// from what the file systems tell of names, sizes and space; an empty text
// when nothing stands in its way. Fills in the plan's sizes.
QString controllaPiano(PianoTrasferimento &piano);

// Why FAT and exFAT refuse a file name, as "carattere «:»"; an empty text
// when they take it.
QString motivoNomeRifiutato(const QString &nome);

// How far a run has gone, as "12/600", and from the moment an estimate is
// steady (2 s into the run and one file done) with the time left, from the
// bytes done over the time gone by: "12/600 · 3:05".
QString testoAvanzamento(
    int fatti, int totale, qint64 byteFatti, qint64 byteTotali, qint64 millisecondi);
