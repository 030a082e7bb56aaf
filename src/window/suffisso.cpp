#include "engine/numerazione.h"
#include "platform/background.h"
#include "window/form1.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

void Form1::AggiornaSuffisso()
{
    const QString nome = NomeBase->text();
    const QString cartella = Cartella(DestPath);
    if (nome.isEmpty() || cartella.isEmpty())
        Suffisso->setText(QStringLiteral("000"));
    else if (nome == QLatin1String("*"))
        Suffisso->setText(QString()); // clear() would not tell screen readers
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

QString Form1::UltimoNumero(const QString &cartella, const QString &nomeBase)
{
    return numeroSuffisso(ultimoNumero(cartella, nomeBase));
}
