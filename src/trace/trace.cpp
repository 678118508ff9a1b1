#include "trace/trace.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "udpclient.h"

namespace {
// Formats the whole line, however long; false when the format cannot be applied.
bool FormatLine(std::string& line, const char* format, va_list args) {
  va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length < 0) return false;
  const std::size_t start = line.size();
  line.resize(start + static_cast<std::size_t>(length) + 1);
  std::vsnprintf(line.data() + start, static_cast<std::size_t>(length) + 1, format, args);
  line.resize(start + static_cast<std::size_t>(length));
  return true;
}

void Send(const std::string& line) { UdpSendTo(kTraceHost, kTracePort, line.data(), line.size()); }
}  // namespace

void TraceObject(const char* format, const void* object, ...) {
  try {
    if (!format) return;
    // The prefix "%08X : " printed from the low 32 bits of the address, then the caller's
    // format with the caller's values: the same line as one printf over the joined format.
    char prefix[16];
    const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(object));
    std::snprintf(prefix, sizeof prefix, "%08X : ", static_cast<unsigned>(address));
    std::string line(prefix);
    va_list args;
    va_start(args, object);
    const bool formatted = FormatLine(line, format, args);
    va_end(args);
    if (formatted) Send(line);
  } catch (...) {
    // The channel never fails its caller.
  }
}

void TraceText(const char* format, ...) {
  try {
    if (!format) return;
    std::string line;
    va_list args;
    va_start(args, format);
    const bool formatted = FormatLine(line, format, args);
    va_end(args);
    if (formatted) Send(line);
  } catch (...) {
  }
}

std::string SevenBitText(const std::string& text) {
  std::string copy(text);
  for (char& c : copy)
    if (static_cast<unsigned char>(c) >= 0x80) c = 'X';
  return copy;
}
