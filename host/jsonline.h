// JSON lines of byte texts for pxab: one flat object of string members per line.
//
// Texts are byte strings; valid UTF-8 is written as it stands and every byte that is not part
// of valid UTF-8 as the escape \uDC80..\uDCFF (the lone low surrogate U+DC00 + byte), which no
// valid text can contain, so any byte string survives the trip and ordinary JSON keeps its
// ordinary meaning. Library JSON parsers refuse lone surrogates, hence this small codec.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// `bytes` as a quoted JSON string.
std::string JsonString(std::string_view bytes);

using JsonMembers = std::vector<std::pair<std::string, std::string>>;
// Parses one line holding one object whose members are all strings; on failure returns false
// with a message naming the column.
bool ParseJsonObject(std::string_view line, JsonMembers& members, std::string& error);
