// Certificates for TLS tests, made with the openssl command line tool: a test CA and server
// certificates of four kinds. EC keys (P-256), so that making them takes milliseconds.
#pragma once

#include <string>

#include "testsupport/process.h"

namespace testsupport {

struct CertificateFiles {
  std::string certificate;  // PEM
  std::string key;          // PEM, unencrypted
};

class TestCertificates {
 public:
  // Makes the CA and the four certificates in a temporary folder of its own. Throws
  // std::runtime_error when openssl fails. Any thread.
  TestCertificates();

  // One set per process, made on first use (thread-safe) and removed at exit.
  static const TestCertificates& Shared();

  // The CA certificate that signed valid(), wrong_name() and expired(); trust it with
  // inet::AddTrustedCertificateAuthorities.
  const std::string& ca_file() const noexcept { return ca_file_; }
  // For 127.0.0.1 and localhost, signed by the CA, valid now.
  const CertificateFiles& valid() const noexcept { return valid_; }
  // Signed by the CA, valid now, but for the name "wrong.example" only.
  const CertificateFiles& wrong_name() const noexcept { return wrong_name_; }
  // For 127.0.0.1 and localhost, signed by the CA, but valid only in January 2020.
  const CertificateFiles& expired() const noexcept { return expired_; }
  // For 127.0.0.1 and localhost, valid now, signed by itself (unknown issuer).
  const CertificateFiles& self_signed() const noexcept { return self_signed_; }

 private:
  TempDir dir_{"ou-certs"};
  std::string ca_file_;
  CertificateFiles valid_, wrong_name_, expired_, self_signed_;
};

}  // namespace testsupport
