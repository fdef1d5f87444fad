// What the store did on its own that the reader should hear of: editions
// removed to keep the configured number, downloads that did not read.
// Kept until the host takes them (QL_TakeNewspaperReport).
#pragma once

#include "qlapi.h"

// Remembers one event of kind (QL_REPORT_*) about the file path; edition,
// when given, supplies the title and date told with it. Called with the
// library lock held. Memory running out loses the event, never more.
void reportEvent(int kind, const char *path, const EditionEntry *edition);

// Forgets every event (for the tests' fresh start).
void clearStoreReport();
