// State the SGML reader keeps between editions.
#include <cstdlib>

#include "documents/store.h"

// The attribute reader hands out its last name and value until the next call.
static char *g_attributeName = nullptr;
static char *g_attributeValue = nullptr;

void releaseAttributeReader() {
    free(g_attributeName);
    free(g_attributeValue);
    g_attributeName = nullptr;
    g_attributeValue = nullptr;
}

// The entity table is built when the first edition is read.
void clearEntityTable() {}
