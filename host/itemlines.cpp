#include "itemlines.h"

#include "jsonline.h"

std::string ItemJsonLine(const LDAPItem& item) {
  std::string line = "{";
  std::size_t n = 0;
  for (const std::string* field : item.Fields()) {
    if (n) line += ", ";
    line += JsonString(LDAPItem::kFieldNames[n++]);
    line += ": ";
    line += JsonString(*field);
  }
  line += "}\n";
  return line;
}

bool WriteItemLines(const std::vector<LDAPItem>& items, std::FILE* out) {
  for (const LDAPItem& item : items) {
    const std::string line = ItemJsonLine(item);
    if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) break;
  }
  return std::fflush(out) == 0 && !std::ferror(out);
}
