// A throwaway OpenLDAP server for one test: its own slapd on 127.0.0.1 with free ports for
// plain LDAP and LDAPS, a fresh test CA and server certificate (IP subject-alternative name
// 127.0.0.1), seeded from LDIF, stopped and removed with everything in its folder when the
// object goes (and killed with the test process if that dies first).
//
//   SlapdServer server({.ldif = people, .sizeLimit = 10});
//   ldap_sslinit(server.HostPort().data(), 389, 0);           // "127.0.0.1:<port>"
//   setenv("LDAPTLS_CACERT", server.CaFile().c_str(), 1);      // trust the test CA for LDAPS
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

struct SlapdOptions {
  // Entries below the base entry, loaded before the server starts (cheaper than AddLdif).
  std::string ldif;
  // Entries a search may return to anyone but the admin; slapd's own default is 500.
  int sizeLimit = 500;
};

class SlapdServer {
 public:
  static constexpr const char* kBaseDN = "dc=example,dc=com";
  static constexpr const char* kAdminDN = "cn=admin,dc=example,dc=com";
  static constexpr const char* kAdminPassword = "secret";
  static constexpr const char* kHost = "127.0.0.1";

  explicit SlapdServer(SlapdOptions options = {});
  ~SlapdServer();
  SlapdServer(const SlapdServer&) = delete;
  SlapdServer& operator=(const SlapdServer&) = delete;

  const char* BaseDN() const { return kBaseDN; }
  const char* AdminDN() const { return kAdminDN; }
  const char* AdminPassword() const { return kAdminPassword; }
  unsigned short Port() const { return port_; }
  unsigned short SslPort() const { return sslPort_; }
  std::string HostPort() const;     // "127.0.0.1:<port>"
  std::string SslHostPort() const;  // "127.0.0.1:<ssl port>"
  std::string Url() const;          // "ldap://127.0.0.1:<port>"
  std::string SslUrl() const;       // "ldaps://127.0.0.1:<ssl port>"
  // The test CA that signed the server certificate; trust it with LDAPTLS_CACERT.
  std::filesystem::path CaFile() const { return dir_ / "ca.pem"; }
  const std::filesystem::path& Folder() const { return dir_; }

  // Adds entries to the running server as the admin (ldapadd); throws on failure.
  void AddLdif(const std::string& ldif);
  // Stops the server; it is gone when this returns. Called by the destructor.
  void Stop();

  // A loopback port on which nothing listens (at the moment of the call).
  static unsigned short UnusedPort();

 private:
  void WriteCertificates();
  void WriteConfig(int sizeLimit);
  bool Start();  // false when slapd exits at once (a port taken in the meantime)

  std::filesystem::path dir_;
  unsigned short port_ = 0;
  unsigned short sslPort_ = 0;
  pid_t pid_ = -1;
};
