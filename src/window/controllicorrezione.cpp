#include "window/form1.h"

#include <QCheckBox>
#include <QLineEdit>

#include <cstdlib>

namespace {

// "00": at least two digits.
QString dueCifre(int valore)
{
    return QStringLiteral("%1").arg(valore, 2, 10, QLatin1Char('0'));
}

// "+00;-00;00": a sign before positive and negative hours, none for zero.
QString testoOre(int ore)
{
    const QString cifre = dueCifre(std::abs(ore));
    return ore > 0 ? QLatin1Char('+') + cifre : ore < 0 ? QLatin1Char('-') + cifre : cifre;
}

} // namespace

// Switching the correction off clears it, seconds included, so the boxes
// always show what the next run applies.
void Form1::CorrOra_Click()
{
    if (CorrOra->isChecked())
        return;
    m_stato.CorrOre = 0;
    m_stato.CorrMin = 0;
    m_stato.CorrSec = 0;
    MostraCorrezione();
}

// The field that an offset button steps, and how it wraps: hours go from +12
// up to 0 and from -12 down to +12; minutes and seconds wrap within 0..59.
Form1::PassoCorrezione Form1::passoCorrezione(int indice)
{
    switch (indice) {
    case 0:
        return { &m_stato.CorrOre, -12, 12, 0, 12 };
    case 1:
        return { &m_stato.CorrMin, 0, 59, 0, 59 };
    case 2:
        return { &m_stato.CorrSec, 0, 59, 0, 59 };
    }
    return {};
}

void Form1::OraPiu_Click(int indice)
{
    const PassoCorrezione passo = passoCorrezione(indice);
    if (!CorrOra->isChecked() || !passo.campo)
        return;
    *passo.campo = *passo.campo < passo.massimo ? *passo.campo + 1 : passo.oltreIlMassimo;
    MostraCorrezione();
    RicordaCorrezione();
}

void Form1::OraMeno_Click(int indice)
{
    const PassoCorrezione passo = passoCorrezione(indice);
    if (!CorrOra->isChecked() || !passo.campo)
        return;
    *passo.campo = *passo.campo > passo.minimo ? *passo.campo - 1 : passo.oltreIlMinimo;
    MostraCorrezione();
    RicordaCorrezione();
}

void Form1::MostraCorrezione()
{
    DiffOra->setText(testoOre(m_stato.CorrOre));
    DiffMin->setText(dueCifre(m_stato.CorrMin));
    DiffSec->setText(dueCifre(m_stato.CorrSec));
    MostraCorrezioniNellaLista();
}
