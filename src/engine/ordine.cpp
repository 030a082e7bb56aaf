#include "engine/ordine.h"

#include "platform/fileops.h"

#include <algorithm>
#include <numeric>

namespace {

// The positions 0..n-1, stably sorted by the given comparison of positions.
template<typename Minore> std::vector<qsizetype> ordineStabile(qsizetype n, Minore minore)
{
    std::vector<qsizetype> ordine(static_cast<size_t>(n));
    std::iota(ordine.begin(), ordine.end(), 0);
    std::stable_sort(ordine.begin(), ordine.end(), minore);
    return ordine;
}

} // namespace

std::vector<qsizetype> ordinePerNome(const QStringList &nomi)
{
    return ordineStabile(
        nomi.size(), [&nomi](qsizetype a, qsizetype b) { return nomi.at(a) < nomi.at(b); });
}

QList<QDateTime> dateDeiFile(const QStringList &percorsi)
{
    QList<QDateTime> date;
    date.reserve(percorsi.size());
    for (const QString &percorso : percorsi) {
        try {
            date.append(platform::fileTime(percorso));
        } catch (const platform::FileError &) {
            date.append(QDateTime());
        }
    }
    return date;
}

std::vector<qsizetype> ordinePerData(const QList<QDateTime> &date)
{
    return ordineStabile(date.size(), [&date](qsizetype a, qsizetype b) {
        if (date.at(a).isValid() != date.at(b).isValid())
            return date.at(a).isValid();
        return date.at(a) < date.at(b);
    });
}
