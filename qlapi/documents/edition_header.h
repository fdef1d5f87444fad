// An edition's entry in a list of editions: read from the header of the
// edition parsed last, and freed with the texts it owns.
#pragma once

#include <cstdint>

#include "qlapi.h"

// Reads the header of the edition parsed last: the title, the date and the
// country code. Gives a new entry (texts and record owned by it, fileSize,
// parsed and path left to the caller) or null when the header is broken.
EditionEntry *readEditionHeader();

// Forms the date text of a record: "d.m.yyyy" for country 49, else
// "m/d/yyyy"; at most 11 characters.
void formatEditionDate(char (&out)[12], int32_t countryCode, int32_t year, int32_t month,
                       int32_t day);

// Frees one entry with the texts it owns (not its successors).
void freeEditionEntry(EditionEntry *entry);
