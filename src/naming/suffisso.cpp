#include "naming/suffisso.h"

#include "app/form1.h"
#include "platform/background.h"
#include "platform/folderlisting.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include <algorithm>
#include <limits>

namespace {

bool soloCifre(QStringView testo)
{
    return std::all_of(testo.begin(), testo.end(),
        [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

} // namespace

QString numeroSuffisso(qint64 numero)
{
    return QString::number(numero).rightJustified(3, QLatin1Char('0'));
}

bool nomeBaseVuoto(const QString &nome)
{
    return nome.isEmpty() || nome == QLatin1String("_") || nome == QLatin1String("*");
}

void Form1::AggiornaSuffisso()
{
    const QString nome = NomeBase->text();
    const QString cartella = DestPath->text();
    if (nome.isEmpty() || cartella.isEmpty())
        Suffisso->setText(QStringLiteral("000"));
    else if (nome == QLatin1String("*"))
        Suffisso->clear();
    else if (m_trasferimentoInCorso)
        Suffisso->setText(UltimoNumeroAParte(cartella, nome));
    else
        Suffisso->setText(UltimoNumero(cartella, nome));
    m_stato.OrdinePerNome = OptionNome->isChecked();
}

// During a run a large or slow destination is read aside, so that the window
// stays alive while it is listed.
QString Form1::UltimoNumeroAParte(const QString &cartella, const QString &nomeBase)
{
    QString numero;
    platform::runInBackground(
        [&](const platform::Progress &) { numero = UltimoNumero(cartella, nomeBase); });
    return numero;
}

// The highest running number that the folder's files of this base name carry:
// the three or more digits that follow the base name, up to the next "." or
// the end of the name. The base name is taken as it is, letter case aside: a
// "*" or "?" in it is a character like any other, not a wildcard.
QString Form1::UltimoNumero(const QString &cartella, const QString &nomeBase)
{
    qint64 massimo = 0;
    platform::FolderListing elenco(cartella + QLatin1Char('*'));
    for (QString nome = elenco.next(); !nome.isEmpty(); nome = elenco.next()) {
        if (!nome.startsWith(nomeBase, Qt::CaseInsensitive))
            continue;
        const QStringView resto = QStringView(nome).sliced(nomeBase.size());
        const qsizetype punto = resto.indexOf(QLatin1Char('.'));
        const QStringView cifre = punto < 0 ? resto : resto.first(punto);
        if (cifre.size() < 3 || !soloCifre(cifre))
            continue;
        // A number too large to hold is the largest there can be.
        bool numerico = false;
        const qint64 numero = cifre.toLongLong(&numerico);
        massimo = std::max(massimo, numerico ? numero : std::numeric_limits<qint64>::max());
    }
    return numeroSuffisso(massimo);
}
