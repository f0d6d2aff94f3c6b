#include "testsupport/certificates.h"

#include <cstdlib>
#include <stdexcept>

namespace testsupport {
namespace {

std::string Quote(const std::string& text) {
  return "'" + text + "'";
}

void Run(const TempDir& dir, const std::string& command) {
  const std::string full = "cd " + Quote(dir.path()) + " && " + command + " >>openssl.log 2>&1";
  if (std::system(full.c_str()) != 0) {
    throw std::runtime_error("openssl failed: " + command + "\n" +
                             ReadFile(dir.File("openssl.log")));
  }
}

constexpr const char* kNewKey = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
constexpr const char* kLocalNames = "subjectAltName=IP:127.0.0.1,DNS:localhost";

}  // namespace

TestCertificates::TestCertificates() {
  const TempDir& dir = dir_;
  Run(dir, std::string("openssl req -x509 ") + kNewKey +
               " -keyout ca.key -out ca.pem -days 3650 -subj '/CN=Online Update Test CA'"
               " -addext basicConstraints=critical,CA:TRUE"
               " -addext keyUsage=critical,keyCertSign,cRLSign");
  dir.Write("local.ext", std::string(kLocalNames) +
                             "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
  dir.Write("wrong.ext",
            "subjectAltName=DNS:wrong.example\nbasicConstraints=CA:FALSE\n"
            "extendedKeyUsage=serverAuth\n");
  auto signed_by_ca = [&](const std::string& name, const std::string& subject,
                          const std::string& extensions) {
    Run(dir, std::string("openssl req -new ") + kNewKey + " -keyout " + name + ".key -out " + name +
                 ".csr -subj '" + subject + "'");
    Run(dir, "openssl x509 -req -in " + name + ".csr -CA ca.pem -CAkey ca.key -CAcreateserial" +
                 " -days 825 -sha256 -extfile " + extensions + " -out " + name + ".pem");
    return CertificateFiles{dir.File(name + ".pem"), dir.File(name + ".key")};
  };
  valid_ = signed_by_ca("valid", "/CN=localhost", "local.ext");
  wrong_name_ = signed_by_ca("wrong", "/CN=wrong.example", "wrong.ext");

  // Dates in the past need "openssl ca", which wants a small database.
  dir.Write("index.txt", "");
  dir.Write("serial", "1000\n");
  dir.Write("ca.cnf",
            "[ca]\ndefault_ca=test_ca\n"
            "[test_ca]\ndatabase=index.txt\nnew_certs_dir=.\nserial=serial\n"
            "certificate=ca.pem\nprivate_key=ca.key\ndefault_md=sha256\npolicy=any\n"
            "unique_subject=no\n"
            "[any]\ncommonName=supplied\n"
            "[leaf]\n" +
                std::string(kLocalNames) +
                "\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n");
  Run(dir, std::string("openssl req -new ") + kNewKey +
               " -keyout expired.key -out expired.csr -subj '/CN=localhost'");
  Run(dir,
      "openssl ca -batch -config ca.cnf -extensions leaf -notext"
      " -startdate 20200101000000Z -enddate 20200201000000Z -in expired.csr -out expired.pem");
  expired_ = {dir.File("expired.pem"), dir.File("expired.key")};

  Run(dir, std::string("openssl req -x509 ") + kNewKey +
               " -keyout self.key -out self.pem -days 365 -subj '/CN=localhost' -addext " +
               kLocalNames);
  self_signed_ = {dir.File("self.pem"), dir.File("self.key")};
  ca_file_ = dir.File("ca.pem");
  dir.OpenToAll();
}

const TestCertificates& TestCertificates::Shared() {
  static const TestCertificates shared;
  return shared;
}

}  // namespace testsupport
