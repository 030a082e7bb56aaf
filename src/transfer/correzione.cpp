#include "transfer/correzione.h"

#include "app/form1.h"

#include <QCheckBox>
#include <QLineEdit>

#include <cstdlib>

QDateTime oraCorretta(const QDateTime &ora, int ore, int minuti, int secondi)
{
    const qint64 scarto = ore * 3600LL + minuti * 60LL + secondi;
    // Count on the clock face, as a camera does, free of any zone rule.
    const QDateTime orologio = QDateTime(ora.date(), ora.time(), Qt::UTC).addSecs(scarto);
    return QDateTime(orologio.date(), orologio.time(), Qt::LocalTime);
}

namespace {

// "+00;-00;00": a sign before positive and negative hours, none for zero.
QString testoOre(int ore)
{
    const QString cifre = QStringLiteral("%1").arg(std::abs(ore), 2, 10, QLatin1Char('0'));
    return ore > 0 ? QLatin1Char('+') + cifre : ore < 0 ? QLatin1Char('-') + cifre : cifre;
}

QString testoMinuti(int valore)
{
    return QStringLiteral("%1").arg(valore, 2, 10, QLatin1Char('0'));
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

// One step up; hours wrap from +12 to 0, minutes and seconds from 59 to 0.
void Form1::OraPiu_Click(int indice)
{
    if (!CorrOra->isChecked())
        return;
    switch (indice) {
    case 0:
        m_stato.CorrOre = m_stato.CorrOre < 12 ? m_stato.CorrOre + 1 : 0;
        break;
    case 1:
        m_stato.CorrMin = m_stato.CorrMin < 59 ? m_stato.CorrMin + 1 : 0;
        break;
    case 2:
        m_stato.CorrSec = m_stato.CorrSec < 59 ? m_stato.CorrSec + 1 : 0;
        break;
    }
    MostraCorrezione();
}

// One step down; hours wrap from -12 to +12, minutes and seconds from 0 to 59.
void Form1::OraMeno_Click(int indice)
{
    if (!CorrOra->isChecked())
        return;
    switch (indice) {
    case 0:
        m_stato.CorrOre = m_stato.CorrOre > -12 ? m_stato.CorrOre - 1 : 12;
        break;
    case 1:
        m_stato.CorrMin = m_stato.CorrMin > 0 ? m_stato.CorrMin - 1 : 59;
        break;
    case 2:
        m_stato.CorrSec = m_stato.CorrSec > 0 ? m_stato.CorrSec - 1 : 59;
        break;
    }
    MostraCorrezione();
}

void Form1::MostraCorrezione()
{
    DiffOra->setText(testoOre(m_stato.CorrOre));
    DiffMin->setText(testoMinuti(m_stato.CorrMin));
    DiffSec->setText(testoMinuti(m_stato.CorrSec));
}
