#include "slapd.h"
#include "tempdir.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {
constexpr const char* kSlapd = "/usr/sbin/slapd";
constexpr const char* kSlapadd = "/usr/sbin/slapadd";
constexpr const char* kSchemaDir = "/etc/ldap/schema";
constexpr const char* kModuleDir = "/usr/lib/ldap";

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

// Starts `argv` with stdin from /dev/null and stdout and stderr to `log`; the child dies with
// the thread that started it, so a crashed test leaves no server behind.
pid_t Spawn(const std::vector<std::string>& argv, const fs::path& log) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const std::string logPath = log.string();
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (in < 0 || out < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(out, 2);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a tool to its end; throws with its output when it fails.
void Run(const std::vector<std::string>& argv, const fs::path& log) {
  fs::remove(log);
  if (Wait(Spawn(argv, log)) != 0) throw std::runtime_error(argv[0] + " failed:\n" + ReadAll(log));
}

bool Accepts(unsigned short port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

const char* BaseEntry() {
  return "dn: dc=example,dc=com\n"
         "objectClass: dcObject\n"
         "objectClass: organization\n"
         "dc: example\n"
         "o: Example\n\n";
}
}  // namespace

unsigned short SlapdServer::UnusedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd);
    throw std::system_error(errno, std::generic_category(), "bind");
  }
  close(fd);
  return ntohs(address.sin_port);
}

SlapdServer::SlapdServer(SlapdOptions options) {
  std::string pattern = (fs::temp_directory_path() / "pxslapd-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  dir_ = pattern;
  try {
    WriteCertificates();
    WriteConfig(options.sizeLimit);
    fs::create_directory(dir_ / "db");
    WriteFile(dir_ / "seed.ldif", BaseEntry() + options.ldif);
    Run({kSlapadd, "-q", "-f", (dir_ / "slapd.conf").string(), "-l", (dir_ / "seed.ldif").string()},
        dir_ / "slapadd.log");
    // Another process may take a port between our pick and slapd's bind; pick again then.
    bool started = false;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) started = Start();
    if (!started) throw std::runtime_error("slapd did not start:\n" + ReadAll(dir_ / "slapd.log"));
  } catch (...) {
    Stop();
    throw;
  }
}

SlapdServer::~SlapdServer() { Stop(); }

void SlapdServer::WriteCertificates() {
  const std::string ca = (dir_ / "ca.pem").string();
  const std::string caKey = (dir_ / "ca.key").string();
  const std::vector<std::string> ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
  std::vector<std::string> caArgs = {"/usr/bin/openssl", "req", "-x509"};
  caArgs.insert(caArgs.end(), ec.begin(), ec.end());
  caArgs.insert(caArgs.end(),
                {"-keyout", caKey, "-out", ca, "-days", "2", "-subj", "/CN=Pernix Test CA", "-addext",
                 "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
  Run(caArgs, dir_ / "openssl.log");
  std::vector<std::string> serverArgs = {"/usr/bin/openssl", "req", "-x509"};
  serverArgs.insert(serverArgs.end(), ec.begin(), ec.end());
  serverArgs.insert(serverArgs.end(),
                    {"-keyout", (dir_ / "server.key").string(), "-out", (dir_ / "server.pem").string(), "-days", "2",
                     "-subj", "/CN=127.0.0.1", "-CA", ca, "-CAkey", caKey, "-addext", "subjectAltName=IP:127.0.0.1",
                     "-addext", "basicConstraints=critical,CA:FALSE", "-addext", "extendedKeyUsage=serverAuth"});
  Run(serverArgs, dir_ / "openssl.log");
}

void SlapdServer::WriteConfig(int sizeLimit) {
  const std::string dir = dir_.string();
  std::ostringstream conf;
  conf << "include " << kSchemaDir << "/core.schema\n"
       << "include " << kSchemaDir << "/cosine.schema\n"
       << "include " << kSchemaDir << "/inetorgperson.schema\n"
       << "modulepath " << kModuleDir << "\n"
       << "moduleload back_mdb\n"
       << "pidfile " << dir << "/slapd.pid\n"
       << "sizelimit " << sizeLimit << "\n"
       << "TLSCACertificateFile " << dir << "/ca.pem\n"
       << "TLSCertificateFile " << dir << "/server.pem\n"
       << "TLSCertificateKeyFile " << dir << "/server.key\n"
       << "database mdb\n"
       << "maxsize 1073741824\n"  // room for benchmark directories; the file grows as used
       << "suffix \"" << kBaseDN << "\"\n"
       << "rootdn \"" << kAdminDN << "\"\n"
       << "rootpw " << kAdminPassword << "\n"
       << "directory " << dir << "/db\n";
  WriteFile(dir_ / "slapd.conf", conf.str());
}

bool SlapdServer::Start() {
  port_ = UnusedPort();
  do sslPort_ = UnusedPort();
  while (sslPort_ == port_);
  const std::string urls =
      "ldap://127.0.0.1:" + std::to_string(port_) + "/ ldaps://127.0.0.1:" + std::to_string(sslPort_) + "/";
  fs::remove(dir_ / "slapd.log");
  // -d keeps slapd in the foreground as our child; level 0 logs only what goes wrong.
  pid_ = Spawn({kSlapd, "-f", (dir_ / "slapd.conf").string(), "-h", urls, "-d", "0"}, dir_ / "slapd.log");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    if (Accepts(port_) && Accepts(sslPort_)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  throw std::runtime_error("slapd did not answer within 20 s:\n" + ReadAll(dir_ / "slapd.log"));
}

void SlapdServer::AddLdif(const std::string& ldif) {
  const fs::path file = dir_ / "add.ldif";
  WriteFile(file, ldif);
  Run({"/usr/bin/ldapadd", "-x", "-H", Url(), "-D", kAdminDN, "-w", kAdminPassword, "-f", file.string()},
      dir_ / "ldapadd.log");
}

void SlapdServer::Stop() {
  if (pid_ > 0) {
    // The database goes with the folder, so there is nothing for a graceful stop to save.
    kill(pid_, SIGKILL);
    Wait(pid_);
    pid_ = -1;
  }
  if (!dir_.empty()) {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
    dir_.clear();
  }
}

std::string SlapdServer::HostPort() const { return std::string(kHost) + ":" + std::to_string(port_); }
std::string SlapdServer::SslHostPort() const { return std::string(kHost) + ":" + std::to_string(sslPort_); }
std::string SlapdServer::Url() const { return "ldap://" + HostPort(); }
std::string SlapdServer::SslUrl() const { return "ldaps://" + SslHostPort(); }
