#include "engine/ordine.h"

#include "platform/filenames.h"
#include "platform/fileops.h"

#include <algorithm>
#include <numeric>
#include <optional>

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

std::vector<qsizetype> ordinePerData(const QStringList &percorsi)
{
    std::vector<std::optional<qint64>> ore;
    ore.reserve(size_t(percorsi.size()));
    for (const QString &percorso : percorsi)
        ore.push_back(platform::modificationTime(percorso));
    return ordineStabile(percorsi.size(), [&](qsizetype a, qsizetype b) {
        const std::optional<qint64> &oraA = ore[size_t(a)];
        const std::optional<qint64> &oraB = ore[size_t(b)];
        if (oraA.has_value() != oraB.has_value())
            return oraA.has_value();
        if (oraA != oraB)
            return oraA < oraB;
        return platform::namePart(percorsi.at(a)) < platform::namePart(percorsi.at(b));
    });
}
