#include "jsonline.h"

#include <cstdint>
#include <cstdio>

namespace {
// Length of the valid UTF-8 sequence at `at`, or 0 when the byte there does not start one.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length;
  std::uint32_t code;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  if (overlong || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class Parser {
 public:
  Parser(std::string_view line, std::string& error) : text_(line), error_(error) {}

  bool Object(JsonMembers& members) {
    members.clear();
    SkipBlanks();
    if (!Expect('{')) return false;
    SkipBlanks();
    if (Peek() == '}') {
      ++at_;
    } else {
      for (;;) {
        std::string name, value;
        SkipBlanks();
        if (!String(name)) return false;
        SkipBlanks();
        if (!Expect(':')) return false;
        SkipBlanks();
        if (Peek() != '"') return Fail("the value of \"" + name + "\" is not a string");
        if (!String(value)) return false;
        members.emplace_back(std::move(name), std::move(value));
        SkipBlanks();
        if (Peek() == ',') {
          ++at_;
          continue;
        }
        if (!Expect('}')) return false;
        break;
      }
    }
    SkipBlanks();
    if (at_ != text_.size()) return Fail("unexpected text after the object");
    return true;
  }

 private:
  int Peek() const { return at_ < text_.size() ? static_cast<unsigned char>(text_[at_]) : -1; }
  void SkipBlanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r')) ++at_;
  }
  bool Fail(const std::string& message) {
    error_ = "column " + std::to_string(at_ + 1) + ": " + message;
    return false;
  }
  bool FailAt(std::size_t at, const std::string& message) {
    at_ = at;
    return Fail(message);
  }
  bool Expect(char c) {
    if (Peek() != static_cast<unsigned char>(c)) {
      if (Peek() < 0) return Fail(std::string("expected '") + c + "' before the end of the line");
      return Fail(std::string("expected '") + c + "'");
    }
    ++at_;
    return true;
  }
  bool Hex4(std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i, ++at_) {
      const int c = Peek();
      value <<= 4;
      if (c >= '0' && c <= '9')
        value |= static_cast<std::uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        value |= static_cast<std::uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        value |= static_cast<std::uint32_t>(c - 'A' + 10);
      else
        return Fail("\\u needs four hexadecimal digits");
    }
    return true;
  }
  bool String(std::string& out) {
    if (!Expect('"')) return false;
    for (;;) {
      const int c = Peek();
      if (c < 0) return Fail("unterminated string");
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c < 0x20) return Fail("control character in a string (write it as an escape)");
      if (c != '\\') {
        out += static_cast<char>(c);  // raw bytes are taken as they are, valid UTF-8 or not
        ++at_;
        continue;
      }
      const std::size_t escapeStart = at_;
      ++at_;
      const int e = Peek();
      ++at_;
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          std::uint32_t code;
          if (!Hex4(code)) return false;
          if (code >= 0xD800 && code <= 0xDBFF) {
            std::uint32_t low;
            if (text_.substr(at_, 2) != "\\u") return FailAt(escapeStart, "high surrogate without its low half");
            at_ += 2;
            if (!Hex4(low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return FailAt(escapeStart, "high surrogate without its low half");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC80 && code <= 0xDCFF) {
            out += static_cast<char>(code - 0xDC00);  // an escaped byte
            break;
          } else if (code >= 0xDC00 && code <= 0xDFFF) {
            return FailAt(escapeStart, "lone low surrogate (only \\udc80 to \\udcff stand for bytes)");
          }
          AppendUtf8(out, code);
          break;
        }
        default: return FailAt(escapeStart, "unknown escape");
      }
    }
  }

  std::string_view text_;
  std::string& error_;
  std::size_t at_ = 0;
};
}  // namespace

std::string JsonString(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 2);
  out += '"';
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = Utf8Length(bytes, at);
    const unsigned char c = static_cast<unsigned char>(bytes[at]);
    char escape[8];
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\udc%02x", c);
      out += escape;
      ++at;
      continue;
    }
    if (length == 1) {
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
          if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
          } else {
            out += static_cast<char>(c);
          }
      }
    } else {
      out.append(bytes.substr(at, length));
    }
    at += length;
  }
  out += '"';
  return out;
}

bool ParseJsonObject(std::string_view line, JsonMembers& members, std::string& error) {
  return Parser(line, error).Object(members);
}
