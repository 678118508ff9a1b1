#include "udpclient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool UdpSendTo(const char* host, unsigned short port, const void* data, std::size_t size) noexcept {
  if (!host || (!data && size)) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (inet_pton(AF_INET, host, &to.sin_addr) != 1) return false;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const ssize_t sent = sendto(fd, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  close(fd);
  return sent == static_cast<ssize_t>(size);
}
