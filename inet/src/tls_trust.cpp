#include "tls_trust.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>
#include <mutex>
#include <vector>

#include "inet/trust.h"

namespace inet {
namespace {

struct X509Deleter {
  void operator()(X509* cert) const noexcept { X509_free(cert); }
};
using X509Ptr = std::unique_ptr<X509, X509Deleter>;

struct ExtraAuthorities {
  std::mutex lock;
  std::vector<X509Ptr> certificates;
};

ExtraAuthorities& Extra() {
  static ExtraAuthorities* extra = new ExtraAuthorities;  // outlives every handshake
  return *extra;
}

int RelaxIndex() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

bool IsDateFault(int error) {
  return error == X509_V_ERR_CERT_HAS_EXPIRED || error == X509_V_ERR_CERT_NOT_YET_VALID;
}

bool IsIssuerFault(int error) {
  switch (error) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      return true;
    default:
      return false;
  }
}

int VerifyCertificate(int preverify_ok, X509_STORE_CTX* store) {
  if (preverify_ok == 1) return 1;
  auto* ssl =
      static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  if (ssl == nullptr) return preverify_ok;
  const auto relax =
      reinterpret_cast<std::uintptr_t>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), RelaxIndex()));
  const int error = X509_STORE_CTX_get_error(store);
  const bool forgiven = ((relax & detail::kRelaxDates) != 0 && IsDateFault(error)) ||
                        ((relax & detail::kRelaxUnknownIssuer) != 0 && IsIssuerFault(error));
  if (!forgiven) return preverify_ok;
  // Clear the fault so that the connection's final verification result stays clean unless
  // another, unforgiven fault follows.
  X509_STORE_CTX_set_error(store, X509_V_OK);
  return 1;
}

}  // namespace

bool AddTrustedCertificateAuthorities(const std::string& pem_path) {
  std::unique_ptr<BIO, decltype(&BIO_free)> file(BIO_new_file(pem_path.c_str(), "r"), &BIO_free);
  if (!file) {
    ERR_clear_error();
    return false;
  }
  std::vector<X509Ptr> loaded;
  while (X509* cert = PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr)) {
    loaded.emplace_back(cert);
  }
  ERR_clear_error();  // the loop ends on an "end of file" error
  if (loaded.empty()) return false;
  ExtraAuthorities& extra = Extra();
  std::lock_guard lock(extra.lock);
  for (auto& cert : loaded) extra.certificates.push_back(std::move(cert));
  return true;
}

void ClearTrustedCertificateAuthorities() {
  ExtraAuthorities& extra = Extra();
  std::lock_guard lock(extra.lock);
  extra.certificates.clear();
}

namespace detail {

CURLcode PrepareSslContext(CURL*, void* ssl_ctx, void* relax_bits) noexcept {
  auto* context = static_cast<SSL_CTX*>(ssl_ctx);
  {
    ExtraAuthorities& extra = Extra();
    std::lock_guard lock(extra.lock);
    X509_STORE* store = SSL_CTX_get_cert_store(context);
    for (const auto& cert : extra.certificates) X509_STORE_add_cert(store, cert.get());
  }
  ERR_clear_error();  // a certificate already in the store is not a fault worth reporting
  if (SSL_CTX_set_ex_data(context, RelaxIndex(), relax_bits) != 1) return CURLE_OUT_OF_MEMORY;
  SSL_CTX_set_verify(context, SSL_CTX_get_verify_mode(context), &VerifyCertificate);
  return CURLE_OK;
}

}  // namespace detail
}  // namespace inet
