// The trace channel: one UDP datagram per line to 127.0.0.1:2899, for a developer's
// listener. Fire and forget: no failure ever reaches the caller.
#pragma once

#include <string>

#if defined(__GNUC__)
#define PX_PRINTF(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define PX_PRINTF(fmt, first)
#endif

constexpr const char* kTraceHost = "127.0.0.1";
constexpr unsigned short kTracePort = 2899;

// Sends "%08X : " followed by the formatted text. The prefix shows the object's address;
// where addresses are wider than 32 bits it shows their low 32 bits, which is enough to tell
// the live objects of one process apart.
void TraceObject(const char* format, const void* object, ...) PX_PRINTF(1, 3);
// Sends the formatted text without a prefix.
void TraceText(const char* format, ...) PX_PRINTF(1, 2);

// A copy of `text` with every byte of 0x80 and above replaced by 'X'.
std::string SevenBitText(const std::string& text);
