#include "app/form1.h"
#include "app/impostazioni.h"
#include "platform/fileops.h"

#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <numeric>

namespace {

// Puts elements 1..n of the list in the order of the given positions.
template<typename T> void riordina(QList<T> &elenco, const std::vector<qsizetype> &ordine)
{
    QList<T> ordinato;
    ordinato.reserve(elenco.size());
    ordinato.append(elenco.first());
    for (qsizetype posizione : ordine)
        ordinato.append(elenco.at(posizione));
    elenco = std::move(ordinato);
}

// The positions 1..n of a list, stably sorted by the given key comparison.
template<typename Minore> std::vector<qsizetype> ordineStabile(qsizetype n, Minore minore)
{
    std::vector<qsizetype> ordine(static_cast<size_t>(n));
    std::iota(ordine.begin(), ordine.end(), 1);
    std::stable_sort(ordine.begin(), ordine.end(), minore);
    return ordine;
}

} // namespace

void Form1::OptionData_Click()
{
    CambiaOrdine();
}

void Form1::OptionNome_Click()
{
    CambiaOrdine();
}

// Both order options save the choice first.
void Form1::CambiaOrdine()
{
    if (m_stato.InCaricamento)
        return;
    m_stato.OrdinePerNome = OptionNome->isChecked();
    ScriviImpostazione(QStringLiteral("OrdineNome"), testoBooleano(m_stato.OrdinePerNome));
    OrdinaElenco();
}

void Form1::OrdinaElenco()
{
    if (m_stato.NumFile <= 1)
        return;
    if (m_stato.OrdinePerNome)
        OrdinaNomi();
    else
        OrdinaDate();
}

// By character code, letter case included: Z.JPG before a.jpg, IMG_10 before IMG_2.
// Equal names keep their order, as they do for every ordering.
void Form1::OrdinaNomi()
{
    const QStringList &nomi = m_stato.ElencoFile;
    riordina(m_stato.ElencoFile, ordineStabile(m_stato.NumFile, [&nomi](qsizetype a, qsizetype b) {
        return nomi.at(a) < nomi.at(b);
    }));
}

// All dates are read before anything moves, once per ordering. A file whose
// date cannot be read (it vanished since it was selected) goes to the end,
// where the run stops and says so, instead of the others losing their order.
void Form1::OrdinaDate()
{
    const QString cartella = SrcPath->text();
    m_stato.ElencoDate = QList<QDateTime>(m_stato.NumFile + 1);
    for (int i = 1; i <= m_stato.NumFile; ++i) {
        try {
            m_stato.ElencoDate[i] = platform::fileTime(cartella + m_stato.ElencoFile.at(i));
        } catch (const platform::FileError &) {
            // Its date stays invalid, which sorts last.
        }
    }

    const QList<QDateTime> &date = m_stato.ElencoDate;
    const auto ordine = ordineStabile(m_stato.NumFile, [&date](qsizetype a, qsizetype b) {
        if (date.at(a).isValid() != date.at(b).isValid())
            return date.at(a).isValid();
        return date.at(a) < date.at(b);
    });
    riordina(m_stato.ElencoFile, ordine);
    riordina(m_stato.ElencoDate, ordine);
}
