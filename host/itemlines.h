// Directory entries as JSON lines, the form in which pxab prints snapshots and `pxab cache
// write` reads them back: one object per entry with the eleven texts in field order.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "directory/ldapitem.h"

std::string ItemJsonLine(const LDAPItem& item);
// Writes one line per item and flushes; false when the output cannot be written.
bool WriteItemLines(const std::vector<LDAPItem>& items, std::FILE* out);
