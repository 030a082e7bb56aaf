#include "terminal/stampa.h"

#include "engine/completamento.h"
#include "engine/esecuzione.h"
#include "engine/piano.h"
#include "engine/verifica.h"
#include "platform/console.h"
#include "platform/filenames.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <optional>

namespace {

void scriviJson(const QJsonObject &oggetto)
{
    scrivi(stdout, QJsonDocument(oggetto).toJson(QJsonDocument::Indented));
}

// A name in JSON keeps every byte, as a script reads it back.
QJsonValue nomeInJson(const QString &nome)
{
    return platform::surrogateEscapedName(nome);
}

// When a photo was taken, in local time with its offset, to the millisecond.
QJsonValue scattoInJson(const std::optional<qint64> &scatto)
{
    if (!scatto)
        return QJsonValue::Null;
    const QDateTime ora = QDateTime::fromMSecsSinceEpoch(*scatto / 1'000'000);
    return ora.toOffsetFromUtc(ora.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

// The folders the new files go to, as the user named them, and those the
// run makes, where there are any.
void cartelleInJson(QJsonObject &oggetto, const PianoTrasferimento &piano, const NomiDati &nomi)
{
    oggetto.insert(QStringLiteral("destinazione"), nomeInJson(nomi.destinazione));
    if (!nomi.riserva.isEmpty())
        oggetto.insert(QStringLiteral("riserva"), nomeInJson(nomi.riserva));
    QJsonArray nuove;
    for (const QString &cartella : piano.cartelleNuove)
        nuove.append(nomeInJson(cartella));
    if (!nuove.isEmpty())
        oggetto.insert(QStringLiteral("cartelleNuove"), nuove);
}

// Where a file's moment was read, as --json names it.
QString fonteInJson(FonteScatto fonte)
{
    switch (fonte) {
    case FonteScatto::File:
        break;
    case FonteScatto::Exif:
        return QStringLiteral("exif");
    case FonteScatto::Fuso:
        return QStringLiteral("offset");
    case FonteScatto::Utc:
        return QStringLiteral("utc");
    case FonteScatto::Compagno:
        return QStringLiteral("compagno");
    case FonteScatto::Locale:
        return QStringLiteral("locale");
    }
    return QStringLiteral("file");
}

// The files that go, then those that stay where they are, with no new name.
QJsonArray fileInJson(const PianoTrasferimento &piano, const NomiDati &nomi, int fatti = -1)
{
    QJsonArray voci;
    for (const FileDelPiano &file : piano.file + piano.restano) {
        QJsonObject voce { { QStringLiteral("origine"), nomeInJson(nomi.origine(file)) } };
        if (!piano.riserva.isEmpty())
            voce.insert(QStringLiteral("riserva"),
                file.copiaDiRiserva.isEmpty() ? QJsonValue(QJsonValue::Null)
                                              : nomeInJson(nomi.copiaDiRiserva(file)));
        if (!file.nuovoNome.isEmpty()) {
            voce.insert(QStringLiteral("nuovo"), nomeInJson(nomi.nuovo(file)));
            if (!file.cartella.isEmpty())
                voce.insert(QStringLiteral("cartella"), nomeInJson(file.cartella));
            voce.insert(QStringLiteral("scatto"), scattoInJson(file.scatto));
            voce.insert(QStringLiteral("fonte"), fonteInJson(file.fonte));
            voce.insert(QStringLiteral("corretto"), scattoInJson(file.scattoCorretto()));
            voce.insert(QStringLiteral("modello"),
                file.modello.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(file.modello));
        } else {
            voce.insert(QStringLiteral("nuovo"), QJsonValue::Null);
            if (file.doppione)
                voce.insert(QStringLiteral("doppione"), true);
        }
        if (fatti >= 0)
            voce.insert(QStringLiteral("fatto"), voci.size() < fatti);
        voci.append(voce);
    }
    return voci;
}

// A name's bytes for a line of --prova: a backslash, a tab or a newline in
// it would break the line, and are written \\, \t and \n.
QByteArray nomeInRiga(const QString &nome)
{
    QByteArray riga;
    for (const char c : platform::encodeFileName(nome)) {
        if (c == '\\')
            riga += "\\\\";
        else if (c == '\t')
            riga += "\\t";
        else if (c == '\n')
            riga += "\\n";
        else
            riga += c;
    }
    return riga;
}

// An argument as a shell reads it back: in single quotes where it holds
// anything but letters, digits and /._-+~.
QString perLaShell(const QString &argomento)
{
    static const QRegularExpression semplice(QStringLiteral("^[\\w/.+~-]+$"));
    if (semplice.match(argomento).hasMatch())
        return argomento;
    QString citato = argomento;
    citato.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + citato + QLatin1Char('\'');
}

// The command that proves the card of this copy against its copies.
QString comandoVerifica(const Argomenti &argomenti)
{
    QStringList parole { QStringLiteral("copia-e-rinomina verifica") };
    for (const QString &sorgente : argomenti.sorgenti + QStringList { argomenti.destinazione })
        parole.append(perLaShell(sorgente));
    if (!argomenti.riserva.isEmpty())
        parole << QStringLiteral("--riserva") << perLaShell(argomenti.riserva);
    if (argomenti.cartellePerData != CartellePerData::Nessuna)
        parole << QStringLiteral("--cartelle-per-data")
               << testoCartellePerData(argomenti.cartellePerData);
    if (argomenti.sottocartelle)
        parole.append(QStringLiteral("-r"));
    return parole.join(QLatin1Char(' '));
}

// What a folder holds of a file of the card, as --json says it.
QString copiaInJson(Copia copia)
{
    switch (copia) {
    case Copia::Identica:
        break;
    case Copia::Manca:
        return QStringLiteral("manca");
    case Copia::Diversa:
        return QStringLiteral("diversa");
    }
    return QStringLiteral("identica");
}

} // namespace

void scrivi(std::FILE *flusso, const QByteArray &testo)
{
    std::fwrite(testo.constData(), 1, size_t(testo.size()), flusso);
    std::fflush(flusso);
}

void scrivi(std::FILE *flusso, const QString &testo)
{
    scrivi(flusso, testo.toUtf8());
}

void segnala(const QString &testo)
{
    QString righe = testo;
    righe.replace(QStringLiteral("\n\n"), QStringLiteral("\n"));
    scrivi(stderr, righe + QLatin1Char('\n'));
}

void scriviRifiuto(const Argomenti &argomenti, const QString &motivo)
{
    segnala(motivo);
    if (argomenti.json)
        scriviJson({ { QStringLiteral("comando"), argomenti.comando },
            { QStringLiteral("prova"), argomenti.prova }, { QStringLiteral("fatti"), 0 },
            { QStringLiteral("errore"), motivo } });
}

void scriviProva(const Argomenti &argomenti, const PianoTrasferimento &piano, const NomiDati &nomi)
{
    if (argomenti.json) {
        QJsonObject prova { { QStringLiteral("comando"), argomenti.comando },
            { QStringLiteral("prova"), true },
            { QStringLiteral("file"), fileInJson(piano, nomi) } };
        cartelleInJson(prova, piano, nomi);
        scriviJson(prova);
        return;
    }
    if (const QString nuove = avvisoCartelleNuove(piano); !nuove.isEmpty())
        segnala(nuove);
    const auto colonna = [](const QString &percorso, const QString &dato) {
        return percorso.isEmpty() ? QByteArray("-") : nomeInRiga(dato);
    };
    QByteArray righe;
    for (const FileDelPiano &file : piano.file + piano.restano) {
        righe += nomeInRiga(nomi.origine(file)) + '\t' + colonna(file.nuovoNome, nomi.nuovo(file));
        if (!piano.riserva.isEmpty())
            righe += '\t' + colonna(file.copiaDiRiserva, nomi.copiaDiRiserva(file));
        righe += '\n';
    }
    scrivi(stdout, righe);
}

void scriviAvanzamento(
    const PianoTrasferimento &piano, const Avanzamento &avanzamento, qint64 millisecondi)
{
    scrivi(stderr,
        QStringLiteral("\r%1\x1b[K").arg(rigaAvanzamento(piano, avanzamento, millisecondi)));
}

void cancellaAvanzamento()
{
    scrivi(stderr, QStringLiteral("\r\x1b[K"));
}

void scriviEsitoCorsa(const Argomenti &argomenti, const PianoTrasferimento &piano,
    const NomiDati &nomi, const Avanzamento &avanzamento, const QString &errore,
    qint64 millisecondi)
{
    const int fatti = avanzamento.fatti;
    const int totale = int(piano.file.size());
    if (!errore.isEmpty())
        segnala(errore);
    const QString dateNonCorrette = avvisoDateNonCorrette(avanzamento.dateNonCorrette);
    const QString lasciati = avvisoLasciati(piano);
    for (const QString &avviso :
        { avanzamento.avvisoGiornale, dateNonCorrette, avvisoSenzaFoto(piano), lasciati }) {
        if (!avviso.isEmpty())
            segnala(avviso);
    }

    if (platform::standardErrorIsTerminal()) {
        QString riepilogo = testoFatti(piano, fatti);
        if (!piano.riserva.isEmpty() || piano.cartellePerData(fatti) > 0)
            riepilogo += QLatin1Char(' ')
                + testoDove(piano, fatti, argomenti.destinazione, argomenti.riserva);
        riepilogo += QLatin1Char(' ') + testoDurata(piano, avanzamento.byte, millisecondi);
        if (const QString avviso = avvisoDaVerificare(piano, fatti, comandoVerifica(argomenti));
            !avviso.isEmpty())
            riepilogo += QLatin1Char('\n') + avviso;
        scrivi(stderr, riepilogo + QLatin1Char('\n'));
    }
    if (const qsizetype saltate = piano.doppioni())
        scrivi(stderr,
            (saltate == 1 ? QStringLiteral("1 foto già presente, saltata\n")
                          : QStringLiteral("%1 foto già presenti, saltate\n").arg(saltate)));
    if (argomenti.json) {
        QJsonObject esito { { QStringLiteral("comando"), argomenti.comando },
            { QStringLiteral("totale"), totale }, { QStringLiteral("fatti"), fatti },
            { QStringLiteral("byte"), qint64(avanzamento.byte) },
            { QStringLiteral("secondi"), double(millisecondi) / 1000 },
            { QStringLiteral("verifica"), piano.spostare || piano.verifica },
            { QStringLiteral("file"), fileInJson(piano, nomi, fatti) } };
        cartelleInJson(esito, piano, nomi);
        if (!errore.isEmpty())
            esito.insert(QStringLiteral("errore"), errore);
        if (!avanzamento.avvisoGiornale.isEmpty())
            esito.insert(QStringLiteral("giornale"), avanzamento.avvisoGiornale);
        if (!dateNonCorrette.isEmpty())
            esito.insert(QStringLiteral("dateNonCorrette"), dateNonCorrette);
        if (!lasciati.isEmpty())
            esito.insert(QStringLiteral("lasciati"), lasciati);
        scriviJson(esito);
    }
}

void scriviEsitoVerifica(const Argomenti &argomenti, const Verifica &verifica,
    const QString &errore, qint64 millisecondi)
{
    if (!errore.isEmpty())
        segnala(errore);
    const QString verdetto = errore.isEmpty() ? verifica.verdetto() : QString();
    if (!argomenti.json) {
        if (!verdetto.isEmpty())
            scrivi(stdout, verdetto + QLatin1Char('\n'));
        return;
    }
    QJsonArray voci;
    for (const FileVerificato &file : verifica.file) {
        QJsonObject voce { { QStringLiteral("origine"), nomeInJson(file.origine) } };
        if (!file.illeggibile.isEmpty()) {
            voce.insert(QStringLiteral("illeggibile"), file.illeggibile);
        } else {
            voce.insert(QStringLiteral("destinazione"), copiaInJson(file.destinazione));
            if (!verifica.riserva.isEmpty())
                voce.insert(QStringLiteral("riserva"), copiaInJson(file.riserva));
        }
        voci.append(voce);
    }
    QJsonObject esito { { QStringLiteral("comando"), argomenti.comando },
        { QStringLiteral("totale"), verifica.piano.file.size() },
        { QStringLiteral("fatti"), verifica.file.size() },
        { QStringLiteral("secondi"), double(millisecondi) / 1000 },
        { QStringLiteral("destinazione"), nomeInJson(argomenti.destinazione) },
        { QStringLiteral("siPuoFormattare"), errore.isEmpty() && verifica.siPuoFormattare() },
        { QStringLiteral("file"), voci } };
    if (!argomenti.riserva.isEmpty())
        esito.insert(QStringLiteral("riserva"), nomeInJson(argomenti.riserva));
    if (!verdetto.isEmpty())
        esito.insert(QStringLiteral("verdetto"), verdetto);
    if (!errore.isEmpty())
        esito.insert(QStringLiteral("errore"), errore);
    scriviJson(esito);
}

void scriviEsitoAnnulla(const Argomenti &argomenti, const EsitoAnnulla &esito)
{
    if (argomenti.json) {
        scriviJson({ { QStringLiteral("comando"), QStringLiteral("annulla") },
            { QStringLiteral("prova"), argomenti.prova },
            { QStringLiteral("righe"), QJsonArray::fromStringList(esito.righe) },
            { QStringLiteral("tuttoAnnullato"), esito.tuttoAnnullato } });
    } else if (!esito.righe.isEmpty()) {
        scrivi(stdout, esito.righe.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    }
    // The run stays open for the next undo, which would stop on the same
    // files: the way on is to keep them.
    if (!esito.tuttoAnnullato && esito.fileLasciati)
        scrivi(stderr,
            QStringLiteral("Per tenere i file lasciati e passare alla corsa precedente: "
                           "copia-e-rinomina annulla --tieni\n"));
}
