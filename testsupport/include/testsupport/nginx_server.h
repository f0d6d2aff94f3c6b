// A real nginx on a loopback port, configured by the test: static files from a docroot the test
// fills, byte ranges (206, 416) as nginx does them, Basic authentication areas, redirects and
// optionally TLS. nginx runs in the foreground as a single process (no master) with sendfile on.
//
// Construction starts the server and returns once it accepts connections (within 10 s, trying a
// few ports if one is taken meanwhile); it throws std::runtime_error with nginx's error log
// otherwise. Destruction stops nginx and removes its folder. Files may be added to the docroot
// while it runs.
//
// Threads: use from one thread; requests to it may come from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "testsupport/certificates.h"
#include "testsupport/process.h"

namespace testsupport {

struct NginxOptions {
  // Serve https with this certificate instead of http.
  std::optional<CertificateFiles> tls;

  // Requests under `location` (a prefix such as "/private/") need Basic credentials.
  struct BasicAuthArea {
    std::string location;
    std::string realm = "test realm";
    std::string user;
    std::string password;
  };
  std::vector<BasicAuthArea> basic_auth;

  // A request for exactly `path` is answered with `status` (301, 302, 303, 307, 308) and a
  // Location of `target` (a path on this server or any absolute URL, also a "file:" one).
  struct Redirect {
    std::string path;
    int status = 302;
    std::string target;
  };
  std::vector<Redirect> redirects;

  // Raw directives added inside the server block (e.g. "location /x { return 500; }").
  std::string extra_server_config;
};

class NginxServer {
 public:
  explicit NginxServer(NginxOptions options = {});
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  std::uint16_t port() const noexcept { return port_; }
  // "http://127.0.0.1:<port>" or "https://...".
  std::string base_url() const;
  // base_url() + path (path starts with "/").
  std::string Url(const std::string& path) const { return base_url() + path; }
  const std::string& docroot() const noexcept { return docroot_; }
  // Writes a file below the docroot (relative path, no leading "/"); returns its full path.
  std::string WriteFile(const std::string& relative, const std::string& content) const;
  std::string AccessLog() const;
  std::string ErrorLog() const;

 private:
  void WriteConfig() const;

  NginxOptions options_;
  TempDir dir_{"ou-nginx"};
  std::string docroot_;
  std::uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace testsupport
