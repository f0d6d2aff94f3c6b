#include "testsupport/nginx_server.h"

#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace testsupport {
namespace {
constexpr int kStartAttempts = 4;
constexpr auto kStartTimeout = std::chrono::seconds(10);
}  // namespace

NginxServer::NginxServer(NginxOptions options) : options_(std::move(options)) {
  docroot_ = dir_.File("docroot");
  std::filesystem::create_directories(docroot_);
  std::filesystem::create_directories(dir_.File("temp"));
  for (std::size_t i = 0; i < options_.basic_auth.size(); ++i) {
    const auto& area = options_.basic_auth[i];
    // nginx reads "{PLAIN}" passwords, so no hashing tool is needed.
    dir_.Write("htpasswd" + std::to_string(i), area.user + ":{PLAIN}" + area.password + "\n");
  }
  std::string last_log;
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    port_ = PickFreePort();
    WriteConfig();
    process_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"nginx", "-p", dir_.path(), "-c", dir_.File("nginx.conf"), "-e",
                                 dir_.File("error.log")},
        dir_.File("stdout.log"));
    if (WaitForPort(port_, kStartTimeout, process_.get())) return;
    process_->Stop();
    last_log = ErrorLog() + process_->Log();
  }
  throw std::runtime_error("nginx did not start:\n" + last_log);
}

NginxServer::~NginxServer() = default;

void NginxServer::WriteConfig() const {
  std::ostringstream conf;
  const std::string& d = dir_.path();
  conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
       << "pid " << d << "/nginx.pid;\nerror_log " << d << "/error.log info;\n"
       << "events { worker_connections 256; }\n"
       << "http {\n"
       << "  access_log " << d << "/access.log;\n"
       << "  client_body_temp_path " << d << "/temp/body;\n"
       << "  proxy_temp_path " << d << "/temp/proxy;\n"
       << "  fastcgi_temp_path " << d << "/temp/fastcgi;\n"
       << "  uwsgi_temp_path " << d << "/temp/uwsgi;\n"
       << "  scgi_temp_path " << d << "/temp/scgi;\n"
       << "  types { text/plain txt; text/html html; application/octet-stream bin exe; }\n"
       << "  default_type application/octet-stream;\n"
       << "  sendfile on;\n  keepalive_timeout 30;\n"
       << "  server {\n"
       << "    listen 127.0.0.1:" << port_ << (options_.tls ? " ssl" : "") << ";\n"
       << "    server_name localhost;\n"
       << "    root " << docroot_ << ";\n";
  if (options_.tls) {
    conf << "    ssl_certificate " << options_.tls->certificate << ";\n"
         << "    ssl_certificate_key " << options_.tls->key << ";\n";
  }
  for (const auto& redirect : options_.redirects) {
    conf << "    location = " << redirect.path << " { return " << redirect.status << " \""
         << redirect.target << "\"; }\n";
  }
  for (std::size_t i = 0; i < options_.basic_auth.size(); ++i) {
    const auto& area = options_.basic_auth[i];
    conf << "    location " << area.location << " { auth_basic \"" << area.realm
         << "\"; auth_basic_user_file " << d << "/htpasswd" << i << "; }\n";
  }
  conf << options_.extra_server_config << "\n  }\n}\n";
  dir_.Write("nginx.conf", conf.str());
}

std::string NginxServer::base_url() const {
  return std::string(options_.tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::string NginxServer::WriteFile(const std::string& relative, const std::string& content) const {
  return dir_.Write("docroot/" + relative, content);
}

std::string NginxServer::AccessLog() const {
  return ReadFile(dir_.File("access.log"));
}
std::string NginxServer::ErrorLog() const {
  return ReadFile(dir_.File("error.log"));
}

}  // namespace testsupport
