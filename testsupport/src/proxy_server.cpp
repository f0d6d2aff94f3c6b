#include "testsupport/proxy_server.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

namespace testsupport {
namespace {
constexpr int kStartAttempts = 4;
constexpr auto kStartTimeout = std::chrono::seconds(10);

// An apr1 (MD5) password line for basic_ncsa_auth, made by the openssl tool.
std::string Apr1Hash(const std::string& password) {
  const std::string command = "openssl passwd -apr1 '" + password + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run openssl passwd");
  char buffer[256] = {};
  std::string hash = fgets(buffer, sizeof buffer, pipe) != nullptr ? buffer : "";
  if (pclose(pipe) != 0 || hash.empty()) throw std::runtime_error("openssl passwd failed");
  while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r')) hash.pop_back();
  return hash;
}

template <typename Start>
std::unique_ptr<ChildProcess> StartWithRetries(std::uint16_t& port, Start&& start,
                                               const std::string& what) {
  std::string last_log;
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    port = PickFreePort();
    auto process = start();
    if (WaitForPort(port, kStartTimeout, process.get())) return process;
    process->Stop();
    last_log = process->Log();
  }
  throw std::runtime_error(what + " did not start:\n" + last_log);
}

}  // namespace

SquidProxy::SquidProxy(ProxyOptions options) : options_(std::move(options)) {
  const std::string& d = dir_.path();
  if (options_.auth == ProxyOptions::Auth::kBasic) {
    dir_.Write("passwd", options_.user + ":" + Apr1Hash(options_.password) + "\n");
  } else if (options_.auth == ProxyOptions::Auth::kDigest) {
    dir_.Write("digest_passwd", options_.user + ":" + options_.password + "\n");
  }
  process_ = StartWithRetries(
      port_,
      [&] {
        std::ostringstream conf;
        conf << "http_port 127.0.0.1:" << port_ << "\n"
             << "pid_filename " << d << "/squid.pid\ncache_log " << d << "/cache.log\n"
             << "access_log stdio:" << d << "/access.log\ncache_store_log none\n"
             << "cache deny all\ncoredump_dir " << d << "\nnetdb_filename none\n"
             << "pinger_enable off\nshutdown_lifetime 0 seconds\nvisible_hostname test-proxy\n"
             << "forwarded_for delete\nvia off\n";
        if (options_.auth == ProxyOptions::Auth::kBasic) {
          conf << "auth_param basic program /usr/lib/squid/basic_ncsa_auth " << d << "/passwd\n"
               << "auth_param basic realm " << options_.realm << "\n";
        } else if (options_.auth == ProxyOptions::Auth::kDigest) {
          conf << "auth_param digest program /usr/lib/squid/digest_file_auth " << d
               << "/digest_passwd\n"
               << "auth_param digest realm " << options_.realm << "\n";
        }
        if (options_.auth != ProxyOptions::Auth::kNone) {
          conf << "acl authed proxy_auth REQUIRED\nhttp_access allow authed\n";
        } else {
          conf << "http_access allow all\n";
        }
        conf << "http_access deny all\n";
        dir_.Write("squid.conf", conf.str());
        dir_.OpenToAll();  // squid drops to its own user when started as root
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{"squid", "-N", "-f", d + "/squid.conf"}, d + "/stdout.log",
            std::chrono::milliseconds(0));  // no state worth a graceful stop
      },
      "squid");
}

SquidProxy::~SquidProxy() = default;

std::string SquidProxy::AccessLog() const {
  return ReadFile(dir_.File("access.log"));
}

TinyProxy::TinyProxy(ProxyOptions options) : options_(std::move(options)) {
  if (options_.auth == ProxyOptions::Auth::kDigest) {
    throw std::invalid_argument("tinyproxy has no Digest authentication");
  }
  const std::string& d = dir_.path();
  process_ = StartWithRetries(
      port_,
      [&] {
        std::ostringstream conf;
        conf << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\n"
             << "LogFile \"" << d << "/tinyproxy.log\"\nLogLevel Info\n"
             << "PidFile \"" << d << "/tinyproxy.pid\"\nMaxClients 50\nDisableViaHeader Yes\n";
        if (options_.auth == ProxyOptions::Auth::kBasic) {
          conf << "BasicAuth " << options_.user << " " << options_.password << "\n";
        }
        dir_.Write("tinyproxy.conf", conf.str());
        dir_.OpenToAll();
        return std::make_unique<ChildProcess>(
            std::vector<std::string>{"tinyproxy", "-d", "-c", d + "/tinyproxy.conf"},
            d + "/stdout.log", std::chrono::milliseconds(0));
      },
      "tinyproxy");
}

TinyProxy::~TinyProxy() = default;

std::string TinyProxy::Log() const {
  return ReadFile(dir_.File("tinyproxy.log"));
}

}  // namespace testsupport
