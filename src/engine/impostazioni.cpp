#include "engine/impostazioni.h"

#include "engine/correzione.h"
#include "platform/settingsstore.h"

#include <QFileInfo>

namespace {

const QString Applicazione = QStringLiteral("Vobi");
const QString Correzioni = QStringLiteral("Correzioni");

} // namespace

QString nomeSezione(const QString &eseguibile)
{
    QString nome = QFileInfo(eseguibile).completeBaseName().toLower();
    if (!nome.isEmpty())
        nome[0] = nome[0].toUpper();
    return nome;
}

QString testoBooleano(bool valore)
{
    return valore ? QStringLiteral("True") : QStringLiteral("False");
}

bool booleanoDaTesto(const QString &testo)
{
    return testo.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0;
}

bool impostazioniLeggibili()
{
    return platform::canReadSettings(Applicazione);
}

QString leggiImpostazione(const QString &sezione, const QString &chiave, const QString &predefinito)
{
    return platform::readSetting(Applicazione, sezione, chiave, predefinito);
}

void scriviImpostazione(const QString &sezione, const QString &chiave, const QString &valore)
{
    platform::writeSetting(Applicazione, sezione, chiave, valore);
}

QHash<QString, qint64> correzioniRicordate(const QString &sezione)
{
    QHash<QString, qint64> correzioni;
    const QHash<QString, QString> testi =
        platform::readSettingsGroup(Applicazione, sezione, Correzioni);
    for (auto testo = testi.cbegin(); testo != testi.cend(); ++testo) {
        if (const std::optional<qint64> correzione = correzioneDaTesto(testo.value()))
            correzioni.insert(testo.key(), *correzione);
    }
    return correzioni;
}

void ricordaCorrezione(const QString &sezione, const QString &modello, qint64 correzione)
{
    const QString chiave = Correzioni + QLatin1Char('/') + modello;
    if (correzione == 0)
        platform::removeSetting(Applicazione, sezione, chiave);
    else
        platform::writeSetting(Applicazione, sezione, chiave, testoCorrezione(correzione));
}
