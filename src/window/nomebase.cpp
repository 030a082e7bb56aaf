#include "engine/numerazione.h"
#include "platform/fileerror.h"
#include "window/form1.h"

#include <QKeyEvent>
#include <QLineEdit>

// Enter moves on to the next control, as Tab does, and inserts nothing.
bool Form1::NomeBase_KeyPress(const QKeyEvent *tasto)
{
    if (tasto->key() != Qt::Key_Return && tasto->key() != Qt::Key_Enter)
        return false;
    focusNextChild();
    return true;
}

// The stem is selected, so typing replaces it and keeps a trailing separator:
// with Img_ selected as Img, typing Mare gives Mare_.
void Form1::NomeBase_GotFocus()
{
    const QString testo = NomeBase->text();
    qsizetype lunghezza = testo.size();
    if (testo.endsWith(QLatin1Char('_')) || testo.endsWith(QLatin1Char('-'))
        || testo.endsWith(QLatin1Char(' ')))
        --lunghezza;
    NomeBase->setSelection(0, int(lunghezza));
}

// Every change counts as an edit, the program's own included: start-up
// filling the field makes the restored name count as edited.
void Form1::NomeBase_Change()
{
    m_stato.NomeCambiato = true;
}

// An edited name is remembered, unless it stands for no base name.
void Form1::NomeBase_LostFocus()
{
    try {
        AggiornaSuffisso();
    } catch (const platform::FileError &) {
        return;
    }
    if (!m_stato.NomeCambiato)
        return;
    m_stato.NomeCambiato = false;
    if (!nomeBaseVuoto(NomeBase->text()))
        ScriviImpostazione(QStringLiteral("NomeBase"), NomeBase->text());
}
