// The internet functions: a synchronous HTTP client API with the names, numbers and calling
// conventions of the Windows Internet functions, built on libcurl's multi interface.
//
// Everything lives in namespace `inet` (constants are `inline constexpr`, never macros), so code
// that uses it writes `using namespace inet;` or qualifies the names. Windows integer types map to
// plain C++ types: DWORD is std::uint32_t, DWORD_PTR is std::uintptr_t, BOOL is bool,
// INTERNET_PORT is std::uint16_t. Strings are 8-bit, NUL-terminated unless a length is given.
//
// Model
// - Three kinds of handle form a tree: a session (InternetOpenA) owns connections
//   (InternetConnectA), a connection owns requests (HttpOpenRequestA). A handle is an opaque key
//   into a process-wide table of reference-counted objects: it is never dereferenced, a closed or
//   unknown handle is detected (ERROR_INVALID_HANDLE), and closing a parent closes its children.
// - A handle closed while another thread is inside a call on it stays valid until that call
//   returns; the call wakes up at once and fails with ERROR_INTERNET_OPERATION_CANCELLED.
// - Pull model: HttpSendRequestA runs the transfer until the final response's status line and
//   headers are in (redirects and credential round trips happen inside it); InternetReadFile then
//   returns body bytes as soon as at least one is there. Body bytes that arrive before anyone
//   asks for them wait in a buffer of at most 256 KiB per request (plus libcurl's own 100 KiB
//   receive buffer); beyond that the transfer is paused until the caller reads, so memory stays
//   bounded whatever the body size. Chunked bodies come back decoded; content encodings (gzip,
//   ...) come back untouched.
// - Nothing is asynchronous: the status callback runs on the calling thread, inside the call whose
//   progress it reports, never inside a libcurl frame.
//
// Threads
// - Every function may be called on any thread. Calls on different requests run in parallel.
// - Transfer calls on one request (HttpAddRequestHeadersA, HttpSendRequestA, HttpSendRequestExA,
//   InternetWriteFile, HttpEndRequestA, HttpQueryInfoA, InternetReadFile) must not overlap: a call
//   made while another is running on the same request (another thread, or the status callback
//   re-entering) fails at once with ERROR_INTERNET_INCORRECT_HANDLE_STATE. InternetSetOptionA,
//   InternetQueryOptionA, InternetSetStatusCallback and InternetCloseHandle never wait for a
//   running transfer call and may be used from anywhere, including the status callback.
//
// Failures
// - Every function reports failure through its result (false or null) and sets the calling
//   thread's last error (kernel/last_error.h) to one of the codes below; on success the last error
//   is left as it was unless the function says otherwise.
// - No C++ exception leaves a function, except kernel::ThreadKilled from a blocking wait when the
//   calling thread is ended forcibly (kernel/interrupt.h), and whatever the caller's own status
//   callback throws (the call then stops where it stands; the handle stays usable and can be
//   closed). Running out of memory fails the call with ERROR_NOT_ENOUGH_MEMORY.
// - Blocking waits never last forever: connect, send and receive each have a time-out (options
//   2, 5 and 6; 0 or unset means the layer's default of kDefaultTimeoutMs). The send and receive
//   time-outs bound the time without any progress (no byte sent or received). Every wait wakes on
//   InternetCloseHandle from another thread and on the forced end or suspension of the caller
//   (kernel/interrupt.h: a suspended caller parks inside the wait until it is resumed).
//
// Limits that protect against hostile servers: a response's header block (status line and all
// header lines) may hold at most kMaxResponseHeaderBytes, at most 32 interim (1xx) blocks may
// precede it, the whole head must arrive within three times the longer of the connect and receive
// time-outs (however slowly it drips), at most kMaxRedirects redirects are followed per send, and
// only http and https are ever spoken or redirected to.
#pragma once

#include <cstdint>

namespace inet {

// ---------------------------------------------------------------------------------------------
// Types

// Opaque handle of a session, connection or request. Null means "no handle".
struct InternetObject;
using HINTERNET = InternetObject*;

using INTERNET_PORT = std::uint16_t;

// Status callback: handle the notice is about, the context value (see InternetSetStatusCallback),
// the INTERNET_STATUS_... number, a pointer to notice-specific information (may be null) and its
// length in bytes. The information is valid only during the call.
using INTERNET_STATUS_CALLBACK = void (*)(HINTERNET handle, std::uintptr_t context,
                                          std::uint32_t status, void* information,
                                          std::uint32_t information_length);

// Returned by InternetSetStatusCallback when the handle is invalid.
inline const INTERNET_STATUS_CALLBACK INTERNET_INVALID_STATUS_CALLBACK =
    reinterpret_cast<INTERNET_STATUS_CALLBACK>(static_cast<std::intptr_t>(-1));

// The URL pieces of InternetCrackUrlA. The caller zeroes the record and sets dwStructSize to
// sizeof(URL_COMPONENTSA) or to 60 (the record's size in the original 32-bit layout; both are
// accepted). For each piece it wants, it sets the pointer to a buffer of its own and the length
// field to that buffer's capacity in bytes including the NUL; on success the piece is copied there
// with its NUL and the length field holds its length without the NUL. A piece whose pointer is
// null and length is 0 is not returned. (Pointers into the URL text, asked for with a null
// pointer and a non-zero length, are not supported: ERROR_INVALID_PARAMETER.)
enum INTERNET_SCHEME : int {
  INTERNET_SCHEME_PARTIAL = -2,
  INTERNET_SCHEME_UNKNOWN = -1,
  INTERNET_SCHEME_DEFAULT = 0,
  INTERNET_SCHEME_FTP = 1,
  INTERNET_SCHEME_GOPHER = 2,
  INTERNET_SCHEME_HTTP = 3,
  INTERNET_SCHEME_HTTPS = 4,
  INTERNET_SCHEME_FILE = 5,
};

struct URL_COMPONENTSA {
  std::uint32_t dwStructSize;
  char* lpszScheme;
  std::uint32_t dwSchemeLength;
  INTERNET_SCHEME nScheme;  // out: the scheme's kind
  char* lpszHostName;
  std::uint32_t dwHostNameLength;
  INTERNET_PORT nPort;  // out: the URL's port, or the scheme's default (80, 443; 0 if none)
  char* lpszUserName;
  std::uint32_t dwUserNameLength;
  char* lpszPassword;
  std::uint32_t dwPasswordLength;
  char* lpszUrlPath;
  std::uint32_t dwUrlPathLength;
  char* lpszExtraInfo;  // the part from "?" or "#" on
  std::uint32_t dwExtraInfoLength;
};

// Size of URL_COMPONENTSA in the original 32-bit layout; accepted in dwStructSize.
inline constexpr std::uint32_t kUrlComponentsLegacySize = 60;

// Buffers record of HttpSendRequestExA. dwStructSize is sizeof(INTERNET_BUFFERSA) or 40 (the
// original 32-bit layout; both accepted). Next must be null (one record only).
struct INTERNET_BUFFERSA {
  std::uint32_t dwStructSize;
  INTERNET_BUFFERSA* Next;
  const char* lpcszHeader;        // extra request header lines (CR LF separated) or null
  std::uint32_t dwHeadersLength;  // their length; 0xFFFFFFFF = NUL-terminated
  std::uint32_t dwHeadersTotal;   // ignored
  void* lpvBuffer;                // first body bytes sent with the request, or null
  std::uint32_t dwBufferLength;   // their count
  std::uint32_t dwBufferTotal;    // total body length announced as Content-Length
  std::uint32_t dwOffsetLow;      // ignored
  std::uint32_t dwOffsetHigh;     // ignored
};

// Size of INTERNET_BUFFERSA in the original 32-bit layout; accepted in dwStructSize.
inline constexpr std::uint32_t kInternetBuffersLegacySize = 40;

// Value of option 50 (INTERNET_OPTION_CONNECTED_STATE) when set.
struct INTERNET_CONNECTED_INFO {
  std::uint32_t
      dwConnectedState;   // INTERNET_STATE_CONNECTED or INTERNET_STATE_DISCONNECTED_BY_USER
  std::uint32_t dwFlags;  // ignored
};

// ---------------------------------------------------------------------------------------------
// Layer constants

inline constexpr std::uint32_t kDefaultTimeoutMs = 60000;  // connect, send and receive
inline constexpr std::uint32_t kMaxResponseHeaderBytes = 256 * 1024;
inline constexpr long kMaxRedirects = 10;

// ---------------------------------------------------------------------------------------------
// InternetOpenA access types

inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PRECONFIG = 0;  // the environment's
                                                                  // http_proxy/https_proxy/no_proxy
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_DIRECT = 1;     // no proxy, environment ignored
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PROXY = 3;      // the named proxy and bypass list
inline constexpr std::uint32_t INTERNET_OPEN_TYPE_PRECONFIG_WITH_NO_AUTOPROXY = 4;  // as 0

// InternetConnectA
inline constexpr std::uint32_t INTERNET_SERVICE_FTP = 1;
inline constexpr std::uint32_t INTERNET_SERVICE_GOPHER = 2;
inline constexpr std::uint32_t INTERNET_SERVICE_HTTP = 3;         // the only service supported
inline constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;  // the scheme's default port
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr INTERNET_PORT INTERNET_DEFAULT_HTTPS_PORT = 443;

// ---------------------------------------------------------------------------------------------
// Flags of InternetOpenA and HttpOpenRequestA. There is no local cache, so every cache flag is
// accepted and has nothing to do, as noted.

// Session or request works offline: every send fails with ERROR_INTERNET_DISCONNECTED.
inline constexpr std::uint32_t INTERNET_FLAG_OFFLINE = 0x01000000;
inline constexpr std::uint32_t INTERNET_FLAG_FROM_CACHE = 0x01000000;  // same bit as OFFLINE
// Always fetch from the server: met by definition (no cache).
inline constexpr std::uint32_t INTERNET_FLAG_RELOAD = 0x80000000;
// Do not write the response to a cache: met by definition.
inline constexpr std::uint32_t INTERNET_FLAG_NO_CACHE_WRITE = 0x04000000;
// Use https (TLS, verified) instead of http.
inline constexpr std::uint32_t INTERNET_FLAG_SECURE = 0x00800000;
// Reuse connections of the session (keep-alive). Without it every send opens a fresh connection
// and closes it afterwards.
inline constexpr std::uint32_t INTERNET_FLAG_KEEP_CONNECTION = 0x00400000;
// Hand a 3xx response back instead of following it.
inline constexpr std::uint32_t INTERNET_FLAG_NO_AUTO_REDIRECT = 0x00200000;
// Accepted, no effect.
inline constexpr std::uint32_t INTERNET_FLAG_READ_PREFETCH = 0x00100000;
// Neither send the session's cookies nor store the response's.
inline constexpr std::uint32_t INTERNET_FLAG_NO_COOKIES = 0x00080000;
// Never answer a 401/407 with credentials: the challenge response comes back to the caller.
inline constexpr std::uint32_t INTERNET_FLAG_NO_AUTH = 0x00040000;
// Serve from cache when the network fails: nothing to serve from, so no effect.
inline constexpr std::uint32_t INTERNET_FLAG_CACHE_IF_NET_FAIL = 0x00010000;
// Allow a redirect from https to http (refused by default with
// ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR).
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;
// Allow a redirect from http to https: always allowed here, so no effect.
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
// TLS: accept a certificate whose validity dates do not cover now (other checks still apply).
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
// TLS: accept a certificate issued for another host name (other checks still apply).
inline constexpr std::uint32_t INTERNET_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
// Revalidate a cached copy: nothing cached, so no effect.
inline constexpr std::uint32_t INTERNET_FLAG_RESYNCHRONIZE = 0x00000800;
// Reload when no expiry information is cached: no effect.
inline constexpr std::uint32_t INTERNET_FLAG_HYPERLINK = 0x00000400;
// Accepted, no effect (there is never a user interface).
inline constexpr std::uint32_t INTERNET_FLAG_NO_UI = 0x00000200;
// Send "Pragma: no-cache" with the request.
inline constexpr std::uint32_t INTERNET_FLAG_PRAGMA_NOCACHE = 0x00000100;
// Create a cache file: no cache, so no effect.
inline constexpr std::uint32_t INTERNET_FLAG_NEED_FILE = 0x00000010;

// ---------------------------------------------------------------------------------------------
// Options of InternetSetOptionA / InternetQueryOptionA. Unless said otherwise an option may be set
// on a session, connection or request; a child handle copies its parent's values when it is
// created; a request reads its values at each send (the time-outs: at each blocking call).
// Numbers are 4-byte values; texts are passed as characters with their length (no NUL needed;
// the text ends at the length or at an embedded NUL, whichever comes first).

inline constexpr std::uint32_t INTERNET_OPTION_CONNECT_TIMEOUT = 2;  // ms, 0 = default
inline constexpr std::uint32_t INTERNET_OPTION_SEND_TIMEOUT = 5;     // ms, 0 = default
inline constexpr std::uint32_t INTERNET_OPTION_RECEIVE_TIMEOUT = 6;  // ms, 0 = default
// Query only: INTERNET_HANDLE_TYPE_... of the handle.
inline constexpr std::uint32_t INTERNET_OPTION_HANDLE_TYPE = 9;
inline constexpr std::uint32_t INTERNET_OPTION_USERNAME = 28;  // server credentials
inline constexpr std::uint32_t INTERNET_OPTION_PASSWORD = 29;
// SECURITY_FLAG_... bits; set on a request (or parent) to relax certificate checks; a query on a
// request returns the bits in force, including those that its open flags imply.
inline constexpr std::uint32_t INTERNET_OPTION_SECURITY_FLAGS = 31;
// Query only, request: the full URL of the request (after redirects: the final one).
inline constexpr std::uint32_t INTERNET_OPTION_URL = 34;
inline constexpr std::uint32_t INTERNET_OPTION_PROXY_USERNAME = 43;  // proxy credentials
inline constexpr std::uint32_t INTERNET_OPTION_PROXY_PASSWORD = 44;
// Process-wide, any handle or null. Query: a 4-byte INTERNET_STATE_... word. Set: an
// INTERNET_CONNECTED_INFO record (8 bytes) whose state INTERNET_STATE_DISCONNECTED_BY_USER puts the
// process offline (every send fails with ERROR_INTERNET_DISCONNECTED) and INTERNET_STATE_CONNECTED
// puts it back online. Linux has no per-user offline switch; the state starts connected.
inline constexpr std::uint32_t INTERNET_OPTION_CONNECTED_STATE = 50;

inline constexpr std::uint32_t INTERNET_STATE_CONNECTED = 0x00000001;
inline constexpr std::uint32_t INTERNET_STATE_DISCONNECTED = 0x00000002;
inline constexpr std::uint32_t INTERNET_STATE_DISCONNECTED_BY_USER = 0x00000010;
inline constexpr std::uint32_t INTERNET_STATE_IDLE = 0x00000100;
inline constexpr std::uint32_t INTERNET_STATE_BUSY = 0x00000200;

inline constexpr std::uint32_t INTERNET_HANDLE_TYPE_INTERNET = 1;
inline constexpr std::uint32_t INTERNET_HANDLE_TYPE_CONNECT_HTTP = 3;
inline constexpr std::uint32_t INTERNET_HANDLE_TYPE_HTTP_REQUEST = 13;

// Bits of option 31. Each relaxes only its own check.
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_REVOCATION = 0x00000080;  // no effect
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_UNKNOWN_CA = 0x00000100;  // unknown or
                                                                              // self-signed issuer
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_CERT_CN_INVALID = 0x00001000;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_CERT_DATE_INVALID = 0x00002000;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS = 0x00004000;
inline constexpr std::uint32_t SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP = 0x00008000;

// ---------------------------------------------------------------------------------------------
// HttpAddRequestHeadersA modifiers. Header text: one or more "Name: value" lines separated by
// CR LF (a trailing CR LF is optional); each line is applied on its own.

// Replace the value of the header of that name (names compare case-insensitively); an empty value
// removes the header. Without ADD, a missing header is added anyway (nothing is lost).
inline constexpr std::uint32_t HTTP_ADDREQ_FLAG_REPLACE = 0x80000000;
// Append the value to an existing header of that name, separated by ", ".
inline constexpr std::uint32_t HTTP_ADDREQ_FLAG_COALESCE_WITH_COMMA = 0x40000000;
inline constexpr std::uint32_t HTTP_ADDREQ_FLAG_COALESCE = 0x40000000;
// Add the line (a second header of the same name is added as well). 0 means the same.
inline constexpr std::uint32_t HTTP_ADDREQ_FLAG_ADD = 0x20000000;
// Add only when no header of that name exists; otherwise fail with
// ERROR_HTTP_HEADER_ALREADY_EXISTS.
inline constexpr std::uint32_t HTTP_ADDREQ_FLAG_ADD_IF_NEW = 0x10000000;
// Append the value to an existing header of that name, separated by "; ".
inline constexpr std::uint32_t HTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON = 0x01000000;

// HttpSendRequestExA
inline constexpr std::uint32_t HSR_INITIATE = 0x00000008;  // accepted, no effect

// ---------------------------------------------------------------------------------------------
// HttpQueryInfoA levels (low 16 bits) and modifiers (high bits). Without a modifier the level is
// read from the final response; the result is text.

inline constexpr std::uint32_t HTTP_QUERY_MIME_VERSION = 0;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_TYPE = 1;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_TRANSFER_ENCODING = 2;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_ID = 3;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_DESCRIPTION = 4;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_LENGTH = 5;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_LANGUAGE = 6;
inline constexpr std::uint32_t HTTP_QUERY_ALLOW = 7;
inline constexpr std::uint32_t HTTP_QUERY_PUBLIC = 8;
inline constexpr std::uint32_t HTTP_QUERY_DATE = 9;
inline constexpr std::uint32_t HTTP_QUERY_EXPIRES = 10;
inline constexpr std::uint32_t HTTP_QUERY_LAST_MODIFIED = 11;
inline constexpr std::uint32_t HTTP_QUERY_MESSAGE_ID = 12;
inline constexpr std::uint32_t HTTP_QUERY_URI = 13;
inline constexpr std::uint32_t HTTP_QUERY_DERIVED_FROM = 14;
inline constexpr std::uint32_t HTTP_QUERY_COST = 15;
inline constexpr std::uint32_t HTTP_QUERY_LINK = 16;
inline constexpr std::uint32_t HTTP_QUERY_PRAGMA = 17;
inline constexpr std::uint32_t HTTP_QUERY_VERSION = 18;      // "HTTP/1.1"
inline constexpr std::uint32_t HTTP_QUERY_STATUS_CODE = 19;  // "200"
inline constexpr std::uint32_t HTTP_QUERY_STATUS_TEXT = 20;  // "OK"
// Status line and header lines, each ended by a NUL, the whole ended by a second NUL.
inline constexpr std::uint32_t HTTP_QUERY_RAW_HEADERS = 21;
// Status line and header lines, each ended by CR LF, the whole ended by an empty line.
inline constexpr std::uint32_t HTTP_QUERY_RAW_HEADERS_CRLF = 22;
inline constexpr std::uint32_t HTTP_QUERY_CONNECTION = 23;
inline constexpr std::uint32_t HTTP_QUERY_ACCEPT = 24;
inline constexpr std::uint32_t HTTP_QUERY_ACCEPT_CHARSET = 25;
inline constexpr std::uint32_t HTTP_QUERY_ACCEPT_ENCODING = 26;
inline constexpr std::uint32_t HTTP_QUERY_ACCEPT_LANGUAGE = 27;
inline constexpr std::uint32_t HTTP_QUERY_AUTHORIZATION = 28;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_ENCODING = 29;
inline constexpr std::uint32_t HTTP_QUERY_FORWARDED = 30;
inline constexpr std::uint32_t HTTP_QUERY_FROM = 31;
inline constexpr std::uint32_t HTTP_QUERY_IF_MODIFIED_SINCE = 32;
inline constexpr std::uint32_t HTTP_QUERY_LOCATION = 33;
inline constexpr std::uint32_t HTTP_QUERY_ORIG_URI = 34;
inline constexpr std::uint32_t HTTP_QUERY_REFERER = 35;
inline constexpr std::uint32_t HTTP_QUERY_RETRY_AFTER = 36;
inline constexpr std::uint32_t HTTP_QUERY_SERVER = 37;
inline constexpr std::uint32_t HTTP_QUERY_TITLE = 38;
inline constexpr std::uint32_t HTTP_QUERY_USER_AGENT = 39;
inline constexpr std::uint32_t HTTP_QUERY_WWW_AUTHENTICATE = 40;
inline constexpr std::uint32_t HTTP_QUERY_PROXY_AUTHENTICATE = 41;
inline constexpr std::uint32_t HTTP_QUERY_ACCEPT_RANGES = 42;
inline constexpr std::uint32_t HTTP_QUERY_SET_COOKIE = 43;
inline constexpr std::uint32_t HTTP_QUERY_COOKIE = 44;
inline constexpr std::uint32_t HTTP_QUERY_REQUEST_METHOD = 45;
inline constexpr std::uint32_t HTTP_QUERY_REFRESH = 46;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_DISPOSITION = 47;
inline constexpr std::uint32_t HTTP_QUERY_AGE = 48;
inline constexpr std::uint32_t HTTP_QUERY_CACHE_CONTROL = 49;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_BASE = 50;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_LOCATION = 51;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_MD5 = 52;
inline constexpr std::uint32_t HTTP_QUERY_CONTENT_RANGE = 53;
inline constexpr std::uint32_t HTTP_QUERY_ETAG = 54;
inline constexpr std::uint32_t HTTP_QUERY_HOST = 55;
inline constexpr std::uint32_t HTTP_QUERY_IF_MATCH = 56;
inline constexpr std::uint32_t HTTP_QUERY_IF_NONE_MATCH = 57;
inline constexpr std::uint32_t HTTP_QUERY_IF_RANGE = 58;
inline constexpr std::uint32_t HTTP_QUERY_IF_UNMODIFIED_SINCE = 59;
inline constexpr std::uint32_t HTTP_QUERY_MAX_FORWARDS = 60;
inline constexpr std::uint32_t HTTP_QUERY_PROXY_AUTHORIZATION = 61;
inline constexpr std::uint32_t HTTP_QUERY_RANGE = 62;
inline constexpr std::uint32_t HTTP_QUERY_TRANSFER_ENCODING = 63;
inline constexpr std::uint32_t HTTP_QUERY_UPGRADE = 64;
inline constexpr std::uint32_t HTTP_QUERY_VARY = 65;
inline constexpr std::uint32_t HTTP_QUERY_VIA = 66;
inline constexpr std::uint32_t HTTP_QUERY_WARNING = 67;
inline constexpr std::uint32_t HTTP_QUERY_EXPECT = 68;
inline constexpr std::uint32_t HTTP_QUERY_PROXY_CONNECTION = 69;
inline constexpr std::uint32_t HTTP_QUERY_UNLESS_MODIFIED_SINCE = 70;
// The header named by the NUL-terminated text the caller puts in the buffer.
inline constexpr std::uint32_t HTTP_QUERY_CUSTOM = 65535;

// Read the request's headers instead of the response's: after a send, the header lines of the last
// request sent (with the request line as status line); before, the lines added so far.
inline constexpr std::uint32_t HTTP_QUERY_FLAG_REQUEST_HEADERS = 0x80000000;
// Not supported: fails with ERROR_HTTP_INVALID_QUERY_REQUEST.
inline constexpr std::uint32_t HTTP_QUERY_FLAG_SYSTEMTIME = 0x40000000;
// Return the value as a 4-byte unsigned number (decimal text read up to its first non-digit).
inline constexpr std::uint32_t HTTP_QUERY_FLAG_NUMBER = 0x20000000;
// Join all headers of the name with ", " instead of returning one by index.
inline constexpr std::uint32_t HTTP_QUERY_FLAG_COALESCE = 0x10000000;

// ---------------------------------------------------------------------------------------------
// Status notices (the callback's status argument), what the information argument holds, and when
// they come. "Text" means a NUL-terminated text whose length counts the NUL.

inline constexpr std::uint32_t INTERNET_STATUS_RESOLVING_NAME = 10;  // text: host name; at the
                                                                     // start of every send
inline constexpr std::uint32_t INTERNET_STATUS_NAME_RESOLVED = 11;   // text: IP address
inline constexpr std::uint32_t INTERNET_STATUS_CONNECTING_TO_SERVER = 20;  // text: IP address
inline constexpr std::uint32_t INTERNET_STATUS_CONNECTED_TO_SERVER = 21;   // text: IP address
inline constexpr std::uint32_t INTERNET_STATUS_SENDING_REQUEST = 30;       // no information
inline constexpr std::uint32_t INTERNET_STATUS_REQUEST_SENT = 31;  // std::uint32_t: bytes sent
inline constexpr std::uint32_t INTERNET_STATUS_RECEIVING_RESPONSE = 40;     // no information
inline constexpr std::uint32_t INTERNET_STATUS_RESPONSE_RECEIVED = 41;      // std::uint32_t: bytes
inline constexpr std::uint32_t INTERNET_STATUS_CTL_RESPONSE_RECEIVED = 42;  // never sent
inline constexpr std::uint32_t INTERNET_STATUS_PREFETCH = 43;               // never sent
inline constexpr std::uint32_t INTERNET_STATUS_CLOSING_CONNECTION = 50;     // no information
inline constexpr std::uint32_t INTERNET_STATUS_CONNECTION_CLOSED = 51;      // no information
inline constexpr std::uint32_t INTERNET_STATUS_HANDLE_CREATED = 60;     // HINTERNET: the new handle
inline constexpr std::uint32_t INTERNET_STATUS_HANDLE_CLOSING = 70;     // HINTERNET: the handle
inline constexpr std::uint32_t INTERNET_STATUS_REQUEST_COMPLETE = 100;  // never sent (no async)
inline constexpr std::uint32_t INTERNET_STATUS_REDIRECT = 110;  // text: the new absolute URL
inline constexpr std::uint32_t INTERNET_STATUS_INTERMEDIATE_RESPONSE = 120;  // never sent
inline constexpr std::uint32_t INTERNET_STATUS_STATE_CHANGE = 200;           // never sent

// ---------------------------------------------------------------------------------------------
// InternetCrackUrlA flags

// Decode %xx escapes while copying the pieces out (needs caller-supplied buffers).
inline constexpr std::uint32_t ICU_ESCAPE = 0x80000000;
// Same as ICU_ESCAPE here.
inline constexpr std::uint32_t ICU_DECODE = 0x10000000;

// ---------------------------------------------------------------------------------------------
// Error codes set as the thread's last error. General codes come from kernel/last_error.h
// (ERROR_INVALID_HANDLE 6, ERROR_NOT_ENOUGH_MEMORY 8, ERROR_INVALID_PARAMETER 87,
// ERROR_INSUFFICIENT_BUFFER 122); these are the layer's own.

inline constexpr std::uint32_t INTERNET_ERROR_BASE = 12000;
inline constexpr std::uint32_t ERROR_INTERNET_OUT_OF_HANDLES = 12001;
inline constexpr std::uint32_t ERROR_INTERNET_TIMEOUT = 12002;  // a connect, send or receive
                                                                // time-out expired
inline constexpr std::uint32_t ERROR_INTERNET_INTERNAL_ERROR = 12004;
inline constexpr std::uint32_t ERROR_INTERNET_INVALID_URL = 12005;  // URL or host name malformed
inline constexpr std::uint32_t ERROR_INTERNET_UNRECOGNIZED_SCHEME = 12006;
inline constexpr std::uint32_t ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;  // host or proxy name
inline constexpr std::uint32_t ERROR_INTERNET_INVALID_OPTION = 12009;     // unknown option number
inline constexpr std::uint32_t ERROR_INTERNET_BAD_OPTION_LENGTH = 12010;
inline constexpr std::uint32_t ERROR_INTERNET_OPTION_NOT_SETTABLE = 12011;
inline constexpr std::uint32_t ERROR_INTERNET_INVALID_OPERATION = 12016;
// The handle was closed while the call was using it.
inline constexpr std::uint32_t ERROR_INTERNET_OPERATION_CANCELLED = 12017;
// A handle of another kind was passed (for example a session where a request is expected).
inline constexpr std::uint32_t ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
// The call does not fit the request's state (read before send, overlapping calls, ...).
inline constexpr std::uint32_t ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
inline constexpr std::uint32_t ERROR_INTERNET_CANNOT_CONNECT = 12029;  // refused or unreachable
// The connection broke during the transfer (for example a body cut short).
inline constexpr std::uint32_t ERROR_INTERNET_CONNECTION_ABORTED = 12030;
inline constexpr std::uint32_t ERROR_INTERNET_CONNECTION_RESET = 12031;
// HttpEndRequestA: the server answered the upload with an authentication challenge that the
// request's credentials can answer; send the request again with the whole body.
inline constexpr std::uint32_t ERROR_INTERNET_FORCE_RETRY = 12032;
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_DATE_INVALID = 12037;   // expired / not yet
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_CN_INVALID = 12038;     // wrong host name
inline constexpr std::uint32_t ERROR_INTERNET_HTTP_TO_HTTPS_ON_REDIR = 12039;  // never set
// A redirect from https to http was refused (see INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP).
inline constexpr std::uint32_t ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR = 12040;
inline constexpr std::uint32_t ERROR_INTERNET_INVALID_CA = 12045;  // unknown or self-signed issuer
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_ERRORS = 12055;  // other certificate fault
inline constexpr std::uint32_t ERROR_INTERNET_SEC_CERT_REV_FAILED = 12057;
inline constexpr std::uint32_t ERROR_HTTP_HEADER_NOT_FOUND = 12150;
// The server's answer is not valid HTTP (garbage, oversized header block, nothing at all).
inline constexpr std::uint32_t ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
inline constexpr std::uint32_t ERROR_HTTP_INVALID_HEADER =
    12153;  // bad HttpAddRequestHeadersA text
inline constexpr std::uint32_t ERROR_HTTP_INVALID_QUERY_REQUEST = 12154;
inline constexpr std::uint32_t ERROR_HTTP_HEADER_ALREADY_EXISTS = 12155;
// A redirect was refused: too many, to a scheme other than http or https, or malformed.
inline constexpr std::uint32_t ERROR_HTTP_REDIRECT_FAILED = 12156;
inline constexpr std::uint32_t ERROR_INTERNET_SECURITY_CHANNEL_ERROR = 12157;  // TLS handshake
// The session, request or process is offline (INTERNET_FLAG_OFFLINE, option 50).
inline constexpr std::uint32_t ERROR_INTERNET_DISCONNECTED = 12163;

// ---------------------------------------------------------------------------------------------
// Functions

// Opens a session. `agent` is sent as User-Agent (null: none). With INTERNET_OPEN_TYPE_PROXY,
// `proxy` names the proxy as "host:port", "http://host:port" or a list of "scheme=host:port"
// entries separated by spaces or ";" (the entry for the request's scheme wins, else an entry
// without scheme); `proxy_bypass` (null or empty: none) lists hosts separated by spaces, ";" or
// ",", each possibly with "*" wildcards, and "<local>" for host names without a dot; a request to
// a listed host goes direct. `flags`: INTERNET_FLAG_OFFLINE or 0.
// Owns: the session's cookie store and connection pool, kept until the handle is closed.
// Fails (null) with ERROR_INVALID_PARAMETER for an unknown access type or a missing proxy name.
HINTERNET InternetOpenA(const char* agent, std::uint32_t access_type, const char* proxy,
                        const char* proxy_bypass, std::uint32_t flags);

// Registers `callback` on `handle` (any kind; null callback: none) and returns the one it
// replaces. Handles created later under it inherit the callback of their parent at creation.
// Notices about a request carry the request's context value, or its connection's when the
// request's is 0. Returns INTERNET_INVALID_STATUS_CALLBACK for an invalid handle.
INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET handle,
                                                   INTERNET_STATUS_CALLBACK callback);

// Opens a connection (no network traffic yet) to `server_name` (a host name, IPv4 address or
// IPv6 address with or without brackets) on `port` (0: 80, or 443 for requests with
// INTERNET_FLAG_SECURE). `user_name`/`password` (null or empty: none) answer a server's 401.
// `service` must be INTERNET_SERVICE_HTTP; `flags` are ignored; `context` is the value handed to
// the status callback for this connection and its requests. Sends INTERNET_STATUS_HANDLE_CREATED.
// Fails (null): ERROR_INVALID_HANDLE / ERROR_INTERNET_INCORRECT_HANDLE_TYPE for a bad session,
// ERROR_INTERNET_INVALID_URL for an empty or malformed host name, ERROR_INVALID_PARAMETER for
// another service.
HINTERNET InternetConnectA(HINTERNET internet, const char* server_name, INTERNET_PORT port,
                           const char* user_name, const char* password, std::uint32_t service,
                           std::uint32_t flags, std::uintptr_t context);

// Opens a request (no network traffic yet). `verb`: "GET" (null: GET), "POST", "HEAD" or any
// other token. `object_name`: path and query (null or empty: "/"); characters that may not appear
// in a request line (space, controls, bytes from 128, and "\"<>\\^`{|}#") are sent %-escaped.
// `version`: null or "HTTP/1.1", or "HTTP/1.0". `referrer`: Referer header (null/empty: none).
// `accept_types`: null-terminated list joined into the Accept header (null or no non-empty entry:
// "*/*"). `flags`: INTERNET_FLAG_... above. `context`: see InternetSetStatusCallback.
// Sends INTERNET_STATUS_HANDLE_CREATED.
// Fails (null): bad connection handle; ERROR_INVALID_PARAMETER for a malformed verb or version.
HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* object_name,
                           const char* version, const char* referrer, const char** accept_types,
                           std::uint32_t flags, std::uintptr_t context);

// Sets an option (INTERNET_OPTION_...) on `handle`; some options take a null handle (see above).
// Fails: ERROR_INVALID_HANDLE, ERROR_INTERNET_INVALID_OPTION (unknown number, or not valid for
// that kind of handle), ERROR_INTERNET_OPTION_NOT_SETTABLE (query-only option),
// ERROR_INTERNET_BAD_OPTION_LENGTH (a number shorter than 4 bytes), ERROR_INVALID_PARAMETER
// (null buffer with a non-zero length).
bool InternetSetOptionA(HINTERNET handle, std::uint32_t option, const void* buffer,
                        std::uint32_t length);

// Reads an option into `buffer` of `*length` bytes. Numbers need 4 bytes; texts are written with
// their NUL and `*length` becomes the text's length without it. When the buffer is too small it
// fails with ERROR_INSUFFICIENT_BUFFER and `*length` becomes the size needed (with the NUL).
// Other failures as InternetSetOptionA.
bool InternetQueryOptionA(HINTERNET handle, std::uint32_t option, void* buffer,
                          std::uint32_t* length);

// Puts the process back online (clears INTERNET_STATE_DISCONNECTED_BY_USER). Linux has no dialog
// that asks the user: the call succeeds at once; `url` and `window` are not used, `reserved` must
// be 0 (else ERROR_INVALID_PARAMETER). Sessions opened with INTERNET_FLAG_OFFLINE stay offline.
// Any thread.
bool InternetGoOnline(const char* url, std::uintptr_t window, std::uint32_t reserved);

// The same for any kind of window handle (the user layer's HWND, a pointer, nullptr): the window
// is not used, so its type does not matter and this layer does not depend on the user layer.
template <typename Window>
bool InternetGoOnline(const char* url, Window, std::uint32_t reserved) {
  return InternetGoOnline(url, std::uintptr_t{0}, reserved);
}

// Adds, replaces or removes request header lines of `request` (modifiers: HTTP_ADDREQ_FLAG_...).
// `length` is the text's length, or 0xFFFFFFFF for a NUL-terminated text. The headers are kept for
// every later send of the request. Applied line by line; on the first failing line the call stops
// and fails (earlier lines stay applied). A line without ":" or with a name that is not an HTTP
// token fails with ERROR_HTTP_INVALID_HEADER. An empty text succeeds and changes nothing.
bool HttpAddRequestHeadersA(HINTERNET request, const char* headers, std::uint32_t length,
                            std::uint32_t modifiers);

// Sends the request and waits for the final response's status line and headers. `headers`
// (length as in HttpAddRequestHeadersA; null/0: none) are added for this send only, replacing
// request headers of the same name. `optional` (null/0: none) is the body; a POST without one
// sends an empty body with "Content-Length: 0". Redirects are followed inside (unless
// INTERNET_FLAG_NO_AUTO_REDIRECT), each with INTERNET_STATUS_REDIRECT; a 401/407 is answered once
// with the request's credentials (Basic or Digest) when it has some and INTERNET_FLAG_NO_AUTH is
// off; credentials never go to another host, port or scheme after a redirect. Any status the
// server gives back (401, 404, 500, ...) is a success of this call. The same request may be sent
// again (after 401, 407, 416, or any other response): the previous response and its unread body
// are dropped. Blocks; wakes as described at the top.
// Fails: ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_CANNOT_CONNECT, ERROR_INTERNET_TIMEOUT,
// ERROR_INTERNET_OPERATION_CANCELLED, ERROR_INTERNET_DISCONNECTED (offline), the TLS errors
// (12037, 12038, 12045, 12055, 12157), ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR,
// ERROR_HTTP_REDIRECT_FAILED, ERROR_HTTP_INVALID_SERVER_RESPONSE,
// ERROR_INTERNET_CONNECTION_ABORTED/RESET, ERROR_INTERNET_INCORRECT_HANDLE_STATE.
bool HttpSendRequestA(HINTERNET request, const char* headers, std::uint32_t headers_length,
                      const void* optional, std::uint32_t optional_length);

// Starts an upload: connects and sends the request line and headers, announcing
// `buffers_in->dwBufferTotal` body bytes (and sending `lpvBuffer` first, when given). The rest of
// the body follows with InternetWriteFile; HttpEndRequestA then waits for the response.
// `buffers_out` must be null, `flags` and `context` are ignored. The body is streamed: each
// InternetWriteFile's bytes are handed to the connection before it returns, nothing else is kept.
// No "Expect: 100-continue" is sent. Fails as HttpSendRequestA; ERROR_INVALID_PARAMETER for a bad
// record.
bool HttpSendRequestExA(HINTERNET request, INTERNET_BUFFERSA* buffers_in,
                        INTERNET_BUFFERSA* buffers_out, std::uint32_t flags,
                        std::uintptr_t context);

// Writes `count` body bytes of an upload started with HttpSendRequestExA; returns when all of them
// have been taken by the connection (`*written` = count), or fails (`*written` = 0). A count of 0
// succeeds at once with `*written` = 0. When the server has already answered (it may before the
// body is complete), the bytes are dropped and the call succeeds. More bytes than announced fail
// with ERROR_INVALID_PARAMETER. Failures as HttpSendRequestA (send time-out: option 5).
bool InternetWriteFile(HINTERNET request, const void* buffer, std::uint32_t count,
                       std::uint32_t* written);

// Ends an upload and waits for the final response's headers, like HttpSendRequestA.
// `buffers_out` must be null; `flags` and `context` are ignored. Fails with
// ERROR_INTERNET_FORCE_RETRY when the response is a 401 (407) whose challenge (Basic or Digest)
// the request's server (proxy) credentials can answer, INTERNET_FLAG_NO_AUTH is off and the upload
// did not already carry them: the caller then sends the whole request again
// (HttpSendRequestExA...), which carries the credentials. This is signalled at most once per
// request and set of credentials; otherwise the challenge response is handed back like any other.
// Fails with ERROR_INTERNET_INCORRECT_HANDLE_STATE when fewer bytes were written than announced.
bool HttpEndRequestA(HINTERNET request, INTERNET_BUFFERSA* buffers_out, std::uint32_t flags,
                     std::uintptr_t context);

// Copies a response (or request) header into `buffer` of `*length` bytes; see HTTP_QUERY_... for
// levels and modifiers. Text results are written with a NUL; `*length` becomes the text's length
// without it. `index` (null: 0) selects the n-th header of that name and is advanced on success.
// Fails: ERROR_INSUFFICIENT_BUFFER with `*length` = size needed (text length + 1);
// ERROR_HTTP_HEADER_NOT_FOUND (no such header, index past the last, or no response yet);
// ERROR_HTTP_INVALID_QUERY_REQUEST (unknown level or modifier); bad handle.
bool HttpQueryInfoA(HINTERNET request, std::uint32_t info_level, void* buffer,
                    std::uint32_t* length, std::uint32_t* index);

// Reads up to `count` bytes of the response body; returns as soon as at least one byte is there.
// `*read` = 0 with success means the body has ended (it then stays at the end). Fails (`*read` =
// 0): a body cut short (ERROR_INTERNET_CONNECTION_ABORTED), no byte within the receive time-out
// (ERROR_INTERNET_TIMEOUT), closed (ERROR_INTERNET_OPERATION_CANCELLED), not sent yet
// (ERROR_INTERNET_INCORRECT_HANDLE_STATE). Each later call fails the same way.
bool InternetReadFile(HINTERNET request, void* buffer, std::uint32_t count, std::uint32_t* read);

// Closes `handle` and, first, every handle under it; calls running on them from other threads
// wake and fail with ERROR_INTERNET_OPERATION_CANCELLED. Sends INTERNET_STATUS_HANDLE_CLOSING for
// each on the calling thread. Never blocks on a running transfer; the libcurl resources go when
// the last call using them has returned. Fails with ERROR_INVALID_HANDLE for null, unknown or
// already closed handles.
bool InternetCloseHandle(HINTERNET handle);

// Splits `url` (`url_length` characters, or NUL-terminated when 0) into `components` (see
// URL_COMPONENTSA). Accepts any scheme ("http", "https", "file", ...); the port is the URL's, or
// the scheme's default; the extra info is the part from "?" or "#" on. With ICU_ESCAPE or
// ICU_DECODE the pieces are %-decoded while copied out.
// Fails: ERROR_INTERNET_INVALID_URL (malformed, no scheme, no host for a scheme that needs one),
// ERROR_INSUFFICIENT_BUFFER (a piece longer than its buffer), ERROR_INVALID_PARAMETER (bad
// record). On failure nothing in `components` or its buffers is written. Does not touch the
// network and needs no handle; any thread.
bool InternetCrackUrlA(const char* url, std::uint32_t url_length, std::uint32_t flags,
                       URL_COMPONENTSA* components);

}  // namespace inet
