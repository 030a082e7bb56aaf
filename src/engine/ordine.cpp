#include "engine/ordine.h"

#include "platform/filenames.h"

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

std::vector<qsizetype> ordinePerData(
    const QStringList &percorsi, const QList<std::optional<qint64>> &ore)
{
    return ordineStabile(percorsi.size(), [&](qsizetype a, qsizetype b) {
        if (ore.at(a).has_value() != ore.at(b).has_value())
            return ore.at(a).has_value();
        if (ore.at(a) != ore.at(b))
            return ore.at(a) < ore.at(b);
        return platform::namePart(percorsi.at(a)) < platform::namePart(percorsi.at(b));
    });
}
