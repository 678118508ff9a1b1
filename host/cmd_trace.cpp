// pxab trace: the developer's listener of the trace channel.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "command.h"

namespace {
constexpr unsigned short kPort = 2899;

volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }

// One datagram as one line: control bytes are escaped so that a line end or NUL inside a
// message cannot split or cut it.
std::string Printable(const char* data, std::size_t size) {
  std::string line;
  line.reserve(size);
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char c = static_cast<unsigned char>(data[i]);
    if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", c);
      line += escape;
    } else {
      line += static_cast<char>(c);
    }
  }
  return line;
}

std::string TimeStamp() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  char text[32];
  const std::size_t n = std::strftime(text, sizeof text, "%H:%M:%S", &local);
  std::snprintf(text + n, sizeof text - n, ".%03ld", now.tv_nsec / 1000000);
  return text;
}

int RunTrace(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::printf(
          "Usage: pxab trace\n"
          "\n"
          "Listens on 127.0.0.1:%u for the provider's trace lines (one UDP datagram per\n"
          "MAPI call) and prints each as one line, prefixed with the local time, until\n"
          "interrupted with Ctrl-C.\n",
          kPort);
      return kExitOk;
    }
    std::fprintf(stderr, "pxab trace: unexpected argument '%s'\n", arg.c_str());
    return kExitUsage;
  }
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::fprintf(stderr, "pxab trace: cannot create a UDP socket: %s\n", std::strerror(errno));
    return kExitFailure;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    if (error == EADDRINUSE)
      std::fprintf(stderr, "pxab trace: 127.0.0.1:%u is already in use; is another listener running?\n", kPort);
    else
      std::fprintf(stderr, "pxab trace: cannot listen on 127.0.0.1:%u: %s\n", kPort, std::strerror(error));
    close(fd);
    return kExitFailure;
  }
  // Ctrl-C is let through only while the loop waits: one that comes between the check of the
  // flag and the wait stays pending and ends the wait as soon as it begins.
  sigset_t stops, waiting;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigprocmask(SIG_BLOCK, &stops, &waiting);
  sigdelset(&waiting, SIGINT);
  sigdelset(&waiting, SIGTERM);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::fprintf(stderr, "pxab trace: listening on 127.0.0.1:%u (Ctrl-C to stop)\n", kPort);
  std::vector<char> buffer(65536);
  while (!stopRequested) {
    pollfd ready{fd, POLLIN, 0};
    if (ppoll(&ready, 1, nullptr, &waiting) < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "pxab trace: %s\n", std::strerror(errno));
      close(fd);
      return kExitFailure;
    }
    const ssize_t n = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      std::fprintf(stderr, "pxab trace: %s\n", std::strerror(errno));
      close(fd);
      return kExitFailure;
    }
    std::printf("%s %s\n", TimeStamp().c_str(), Printable(buffer.data(), static_cast<std::size_t>(n)).c_str());
    std::fflush(stdout);
  }
  close(fd);
  return kExitOk;
}

const CommandRegistrar registrar({"trace", "listen to the provider's trace lines on 127.0.0.1:2899", RunTrace});
}  // namespace
