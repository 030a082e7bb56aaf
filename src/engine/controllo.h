#pragma once

#include "engine/piano.h"

#include <QString>

// Why the run of the plan could not finish, found before any file is touched
// from what the file systems tell of names, sizes and space; an empty text
// when nothing stands in its way. Takes the files' sizes from the plan.
QString controllaPiano(const PianoTrasferimento &piano);

// A size as every text of the program gives it, in decimal units: "4,2 GB".
QString testoDimensione(qint64 byte);

// Why FAT and exFAT refuse a file name, as "carattere «:»"; an empty text
// when they take it.
QString motivoNomeRifiutato(const QString &nome);

// How far a run has gone, as "12/600", and from the moment an estimate is
// steady (2 s into the run and one file done) with the time left, from the
// bytes done over the time gone by: "12/600 · 3:05".
QString testoAvanzamento(
    int fatti, int totale, qint64 byteFatti, qint64 byteTotali, qint64 millisecondi);
