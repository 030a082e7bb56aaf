#include "engine/impostazioni.h"
#include "engine/ordine.h"
#include "window/form1.h"

#include <QLineEdit>
#include <QRadioButton>

namespace {

// Puts elements 1..n of the list in the given order of positions 0..n-1:
// element 0 is the selection's scratch.
template<typename T> void riordina(QList<T> &elenco, const std::vector<qsizetype> &ordine)
{
    QList<T> ordinato;
    ordinato.reserve(elenco.size());
    ordinato.append(elenco.first());
    for (qsizetype posizione : ordine)
        ordinato.append(elenco.at(posizione + 1));
    elenco = std::move(ordinato);
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

void Form1::OrdinaNomi()
{
    riordina(m_stato.ElencoFile, ordinePerNome(m_stato.ElencoFile.mid(1, m_stato.NumFile)));
}

// All dates are read before anything moves, once per ordering.
void Form1::OrdinaDate()
{
    QStringList percorsi;
    for (int i = 1; i <= m_stato.NumFile; ++i)
        percorsi.append(SrcPath->text() + m_stato.ElencoFile.at(i));
    m_stato.ElencoDate = QList<QDateTime> { QDateTime() } + dateDeiFile(percorsi);
    const auto ordine = ordinePerData(m_stato.ElencoDate.mid(1));
    riordina(m_stato.ElencoFile, ordine);
    riordina(m_stato.ElencoDate, ordine);
}
