#pragma once

#include <QStringList>

#include <optional>
#include <vector>

// The positions of a selection in the order of its file names, by character
// code, letter case included: Z.JPG before a.jpg, IMG_10 before IMG_2.
// Equal names keep their order, as they do for every ordering.
std::vector<qsizetype> ordinePerNome(const QStringList &nomi);

// The positions of the files in the order of their last-modified times, given
// in nanoseconds at the same positions; files of the same moment by name, so
// that the order a folder lists never decides. A file whose time could not be
// read (it vanished since it was chosen) goes to the end, where the run stops
// and says so, instead of the others losing their order.
std::vector<qsizetype> ordinePerData(
    const QStringList &percorsi, const QList<std::optional<qint64>> &ore);
