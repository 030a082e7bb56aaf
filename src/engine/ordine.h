#pragma once

#include <QDateTime>
#include <QList>
#include <QStringList>

#include <vector>

// The positions of a selection in the order of its file names, by character
// code, letter case included: Z.JPG before a.jpg, IMG_10 before IMG_2.
// Equal names keep their order, as they do for every ordering.
std::vector<qsizetype> ordinePerNome(const QStringList &nomi);

// The last-modified times of the files, read once; a file whose time cannot
// be read (it vanished since it was selected) gets an invalid one.
QList<QDateTime> dateDeiFile(const QStringList &percorsi);

// The positions in the order of the files' times; an invalid time goes to the
// end, where the run stops and says so, instead of the others losing their order.
std::vector<qsizetype> ordinePerData(const QList<QDateTime> &date);
