// The names that entity references in an edition's text may use: the
// built-in ISO 8859-1 and markup names, then those the edition's prolog
// declares, which override built-ins of the same name.
#pragma once

#include <cstddef>
#include <string>

// Starts the table afresh with the 105 built-in names.
void resetEntityTable();
// Registers the prolog's <!ENTITY name CDATA "value"> declarations.
void readEntityDeclarations(const char *prolog, size_t length);
// Registers one name; it replaces an earlier entry of the same name.
void registerEntity(const std::string &name, const std::string &value);
// The replacement of a name (case-sensitive); empty for an unknown one.
const std::string &lookupEntity(const std::string &name);
const std::string &lookupEntity(const char *name, size_t length);
// Empties the table (shutdown).
void clearEntityTable();

// Declared names and values longer than this are cut to it.
constexpr size_t kDeclarationLimit = 255;
