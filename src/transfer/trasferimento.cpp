#include "app/form1.h"
#include "naming/suffisso.h"
#include "platform/failurereport.h"
#include "platform/fileops.h"
#include "transfer/correzione.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>

namespace {

// The drive prefix of a folder text: up to and including its first ":".
QString unita(const QString &cartella)
{
    const qsizetype duePunti = cartella.indexOf(QLatin1Char(':'));
    return duePunti < 0 ? QString() : cartella.left(duePunti + 1);
}

} // namespace

void Form1::Copia_Click()
{
    m_stato.Spostare = false;
    EseguiTrasferimento();
}

void Form1::Sposta_Click()
{
    m_stato.Spostare = true;
    EseguiTrasferimento();
}

// A failed file operation ends the run at that file; nothing is undone.
void Form1::EseguiTrasferimento()
{
    try {
        Trasferisci();
    } catch (const platform::FileError &errore) {
        platform::reportFailure(this, errore.message());
    }
}

void Form1::Trasferisci()
{
    const QString nome = NomeBase->text();
    const QString sorgente = SrcPath->text();
    const QString destinazione = DestPath->text();
    if (nomeBaseVuoto(nome) || sorgente.isEmpty() || destinazione.isEmpty())
        return;
    if (nome.contains(QDir::separator())) {
        platform::reportFailure(this,
            QStringLiteral("Il nome base «%1» contiene «%2»: i file finirebbero fuori dalla "
                           "cartella di destinazione.\n\nNessun file è stato copiato o spostato.")
                .arg(nome, QDir::separator()));
        return;
    }

    AggiornaSuffisso();
    if (m_stato.NumFile <= 0)
        return;

    m_stato.UnitaSorgente = unita(sorgente);
    m_stato.UnitaDestinazione = unita(destinazione);
    const bool rinomina = m_stato.Spostare && m_stato.UnitaDestinazione == m_stato.UnitaSorgente;
    const bool correggi = CorrOra->isChecked()
        && (m_stato.CorrOre != 0 || m_stato.CorrMin != 0 || m_stato.CorrSec != 0);
    if (m_stato.OrdinePerNome)
        Suffisso->setText(QStringLiteral("000"));
    platform::removeStaleTemporaries(destinazione);

    QString nuovoNome;
    m_ultimoRidisegno.invalidate();
    for (m_stato.Indice = 1; m_stato.Indice <= m_stato.NumFile; ++m_stato.Indice) {
        const QString &file = m_stato.ElencoFile.at(m_stato.Indice);
        MostraSuffisso(numeroSuffisso(Suffisso->text().toLongLong() + 1));

        m_stato.PosPunto = int(file.indexOf(QLatin1Char('.'))) + 1;
        if (m_stato.PosPunto > 0 && !m_stato.RimuoviEstensione)
            m_stato.Estensione = file.mid(m_stato.PosPunto - 1).toLower();
        else
            m_stato.Estensione.clear();
        nuovoNome = destinazione + nome + Suffisso->text() + m_stato.Estensione;

        if (rinomina)
            platform::moveFile(sorgente + file, nuovoNome);
        else if (m_stato.Spostare)
            platform::moveByCopying(sorgente + file, nuovoNome);
        else
            platform::copyFile(sorgente + file, nuovoNome, platform::Durability::Normal);
        if (correggi)
            ImpostaDataFile(nuovoNome,
                oraCorretta(platform::fileTime(nuovoNome), m_stato.CorrOre, m_stato.CorrMin,
                    m_stato.CorrSec));
    }
    if (m_stato.OrdinePerNome)
        platform::makeWritable(nuovoNome);
}

void Form1::MostraSuffisso(const QString &numero)
{
    Suffisso->setText(numero);
    // The run holds the event loop, so the count is painted by hand, at most
    // once per screen frame.
    if (!m_ultimoRidisegno.isValid() || m_ultimoRidisegno.elapsed() >= 16) {
        Suffisso->repaint();
        m_ultimoRidisegno.start();
    }
}

// Writes the time as the file's last-modified time. A file that is not an
// ordinary one, or an invalid time, is left alone; a time that cannot be
// written ends the run at that file.
void Form1::ImpostaDataFile(const QString &nomeFile, const QDateTime &ora)
{
    if (!ora.isValid() || !platform::isOrdinaryFile(nomeFile))
        return;
    platform::setFileTime(nomeFile, ora);
}
