#include "engine/numerazione.h"

#include "platform/folderlisting.h"

#include <QDir>

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

QString motivoNomeBase(const QString &nome)
{
    if (!nome.contains(QDir::separator()))
        return {};
    return QStringLiteral("Il nome base «%1» contiene «%2»: i file finirebbero fuori dalla "
                          "cartella di destinazione.\n\nNessun file è stato copiato o spostato.")
        .arg(nome, QDir::separator());
}

qint64 ultimoNumero(const QString &cartella, const QString &nomeBase)
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
        bool numerico = false;
        const qint64 numero = cifre.toLongLong(&numerico);
        massimo = std::max(massimo, numerico ? numero : std::numeric_limits<qint64>::max());
    }
    return massimo;
}

bool eSidecar(const QString &nomeFile)
{
    return nomeFile.size() > Sidecar.size() && nomeFile.endsWith(Sidecar, Qt::CaseInsensitive);
}

QString estensioneNuova(const QString &nomeFile, bool senzaEstensione)
{
    if (senzaEstensione)
        return eSidecar(nomeFile) ? QString(Sidecar) : QString();
    const qsizetype punto = nomeFile.indexOf(QLatin1Char('.'));
    return punto < 0 ? QString() : nomeFile.sliced(punto).toLower();
}

QString nuovoNome(
    const QString &nomeFile, const QString &nomeBase, qint64 numero, bool senzaEstensione)
{
    return nomeBase + numeroSuffisso(numero) + estensioneNuova(nomeFile, senzaEstensione);
}
