// A small UDP client: the socket facility the trace channel sends through.
#pragma once

#include <cstddef>

// Sends `size` bytes as one datagram to the IPv4 address `host` and `port` from a new
// socket that lives only for this call. Returns false on any failure; never throws.
bool UdpSendTo(const char* host, unsigned short port, const void* data, std::size_t size) noexcept;
