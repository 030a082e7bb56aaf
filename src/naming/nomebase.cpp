#include "app/form1.h"

// Every change counts as an edit, the program's own included: start-up
// filling the field makes the restored name count as edited.
void Form1::NomeBase_Change()
{
    m_stato.NomeCambiato = true;
}
