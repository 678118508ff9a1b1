// Listens on a UDP port of 127.0.0.1 for a test and hands back the datagrams it receives.
#pragma once

#include <chrono>
#include <optional>
#include <string>

// How a trace line shows an object's address: eight upper-case hex digits of its low 32 bits.
std::string TraceAddress(const void* object);

class UdpListener {
 public:
  explicit UdpListener(unsigned short port);
  ~UdpListener();
  UdpListener(const UdpListener&) = delete;
  UdpListener& operator=(const UdpListener&) = delete;

  // The next datagram, or nothing when none arrives in time.
  std::optional<std::string> Receive(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

 private:
  int fd_ = -1;
};
