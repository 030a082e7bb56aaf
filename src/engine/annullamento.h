#pragma once

#include "engine/completamento.h"

// The start-up finishing, then takes back the last run, if it is not still
// going: a copy is deleted if it is still what the run made and its
// original is still in place, whole; a moved file goes back to its original
// name and folder with its original time, if that name is free. A run
// counts as undone only once all of it is; the next undo comes back to it.
// With prova, only says what it would do, line for line. With tieni, what
// the undo must leave is kept and the run closed with it, so that the next
// undo takes the run before.
EsitoAnnulla annullaUltimaCorsa(bool prova, bool tieni = false);
