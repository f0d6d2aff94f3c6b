#include "error_map.h"

#include <openssl/x509_vfy.h>

#include "inet/wininet.h"
#include "kernel/last_error.h"

namespace inet::detail {
namespace {

std::uint32_t MapVerifyResult(long verify_result) {
  switch (verify_result) {
    case X509_V_OK:
    case X509_V_ERR_UNSPECIFIED:
      // libcurl checks the host name before it records the chain's result, so a name
      // mismatch leaves the result at "OK" or "unspecified".
      return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      return ERROR_INTERNET_INVALID_CA;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    default:
      return ERROR_INTERNET_SEC_CERT_ERRORS;
  }
}

}  // namespace

std::uint32_t MapCurlError(CURLcode code, long verify_result, bool headers_seen) {
  switch (code) {
    case CURLE_OK:
      return 0;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_PEER_FAILED_VERIFICATION:
      return MapVerifyResult(verify_result);
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CLIENTCERT:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_TOO_MANY_REDIRECTS:
      return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_UNSUPPORTED_PROTOCOL:
      // Before any header: the server's answer was not HTTP at all (HTTP/0.9 is refused).
      return headers_seen ? ERROR_HTTP_REDIRECT_FAILED : ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_URL_MALFORMAT:
      return ERROR_INTERNET_INVALID_URL;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_GOT_NOTHING:
    case CURLE_BAD_CONTENT_ENCODING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
      return headers_seen ? ERROR_INTERNET_CONNECTION_ABORTED : ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_OUT_OF_MEMORY:
      return kernel::ERROR_NOT_ENOUGH_MEMORY;
    case CURLE_ABORTED_BY_CALLBACK:
      return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_PROXY:
      return ERROR_INTERNET_CANNOT_CONNECT;
    default:
      return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

}  // namespace inet::detail
