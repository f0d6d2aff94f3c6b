// Creating a request and setting up each send: the libcurl options that carry the request's
// flags, headers, credentials, proxy and certificate rules.
#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "fail.h"
#include "offline_state.h"
#include "request.h"
#include "tls_trust.h"

namespace inet::detail {
namespace {

constexpr long kReceiveBufferBytes = 100 * 1024;

std::string HostForUrl(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

// The credentials pair as one key, to tell whether they changed since a retry was signalled.
std::string CredentialsKey(int status, const std::string& user, const std::string& password) {
  return std::to_string(status) + '\n' + user + '\n' + password;
}

}  // namespace

Request::Request(std::shared_ptr<Connection> connection, RequestParams params,
                 std::uintptr_t context)
    : HandleObject(HandleKind::kRequest, connection, context),
      connection_(std::move(connection)),
      params_(std::move(params)) {}

std::shared_ptr<Request> Request::Create(std::shared_ptr<Connection> connection,
                                         RequestParams params, std::uintptr_t context) {
  std::shared_ptr<Request> request(new Request(std::move(connection), std::move(params), context));
  request->easy_.reset(curl_easy_init());
  if (!request->easy_) return nullptr;
  request->multi_ = request->connection_->session()->TakeMulti();
  if (request->multi_ == nullptr) return nullptr;

  CURL* easy = request->easy_.get();
  Request* self = request.get();
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // The curl tool's receive buffer: each chunk costs libcurl a poll and a recv, and with the
  // 16 KiB default that overhead alone kept a 1 GiB read well below curl's throughput here.
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Request::HeaderTrampoline);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, self);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Request::BodyTrampoline);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, self);
  curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Request::UploadTrampoline);
  curl_easy_setopt(easy, CURLOPT_READDATA, self);
  // The debug callback tells us about connecting and what went out; verbose only feeds it.
  curl_easy_setopt(easy, CURLOPT_DEBUGFUNCTION, &Request::DebugTrampoline);
  curl_easy_setopt(easy, CURLOPT_DEBUGDATA, self);
  curl_easy_setopt(easy, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Request::PrereqTrampoline);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, self);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Request::ProgressTrampoline);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, self);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects + 1);  // we stop at kMaxRedirects
  // Content encodings reach the caller untouched; chunked framing is removed.
  curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(easy, CURLOPT_HTTP_TRANSFER_DECODING, 1L);
  curl_easy_setopt(easy, CURLOPT_UNRESTRICTED_AUTH, 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &PrepareSslContext);
  if ((request->params_.flags & INTERNET_FLAG_NO_COOKIES) == 0) {
    curl_easy_setopt(easy, CURLOPT_SHARE, request->connection_->session()->cookie_share());
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // switches the cookie engine on, reads no file
  }

  const INTERNET_PORT port =
      request->connection_->port() != INTERNET_INVALID_PORT_NUMBER
          ? request->connection_->port()
          : ((request->params_.flags & INTERNET_FLAG_SECURE) != 0 ? INTERNET_DEFAULT_HTTPS_PORT
                                                                  : INTERNET_DEFAULT_HTTP_PORT);
  const char* scheme = (request->params_.flags & INTERNET_FLAG_SECURE) != 0 ? "https" : "http";
  request->url_ = std::string(scheme) + "://" + HostForUrl(request->connection_->host()) + ":" +
                  std::to_string(port) + request->params_.object_name;
  return request;
}

Request::~Request() {
  Detach();
  easy_.reset();
  connection_->session()->ReturnMulti(multi_);
}

void Request::WakeBlockedCall() noexcept {
  if (multi_ != nullptr) curl_multi_wakeup(multi_);
}

void Request::WakeFromInterrupt(void* self) noexcept {
  static_cast<Request*>(self)->WakeBlockedCall();
}

std::string Request::Url() const {
  std::lock_guard lock(url_lock_);
  return url_;
}

void Request::SetUrl(std::string url) {
  std::lock_guard lock(url_lock_);
  url_ = std::move(url);
}

std::uint32_t Request::SecurityFlags() const {
  std::uint32_t flags = GetSettings().security_flags;
  flags |= params_.flags &
           (INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID |
            INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTP | INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
  return flags;
}

std::uintptr_t Request::NoticeContext() const noexcept {
  return context() != 0 ? context() : connection_->context();
}

void Request::Queue(Notice notice) {
  // Nobody listens: don't spend anything on it.
  if (callback() == nullptr) return;
  notices_.push_back(std::move(notice));
}

bool Request::AddHeaders(std::string_view text, std::uint32_t modifiers) {
  if (std::uint32_t error = headers_.ApplyText(text, modifiers); error != 0) return Fail(error);
  return true;
}

std::uint32_t Request::CheckOnline() const {
  if (ProcessOffline() || connection_->session()->offline() ||
      (params_.flags & INTERNET_FLAG_OFFLINE) != 0) {
    return ERROR_INTERNET_DISCONNECTED;
  }
  return 0;
}

void Request::ResetTransfer() {
  Detach();
  block_.Clear();
  block_open_ = false;
  block_bytes_ = 0;
  interim_blocks_ = 0;
  head_.Clear();
  head_state_ = HeadState::kNone;
  connect_head_.Clear();
  awaiting_request_ = true;
  redirects_ = 0;
  sent_head_.Clear();
  request_sent_ = false;
  staging_.clear();
  staging_pos_ = 0;
  reader_ = nullptr;
  reader_room_ = 0;
  reader_got_ = 0;
  write_paused_ = false;
  body_error_ = 0;
  upload_src_ = nullptr;
  upload_left_ = 0;
  upload_total_ = 0;
  upload_taken_ = 0;
  upload_wanted_ = false;
  upload_ended_ = false;
  read_paused_ = false;
  done_ = false;
  done_code_ = CURLE_OK;
  abort_error_ = 0;
  callback_failure_ = nullptr;
  connecting_ = true;
  last_downloaded_ = 0;
  last_uploaded_ = 0;
  notices_.clear();
  stage_ = Stage::kIdle;
  failure_ = 0;
}

bool Request::Configure(const HeaderList& send_headers, BodyKind body_kind, const void* body,
                        std::uint32_t length, std::uint64_t upload_total) {
  CURL* easy = easy_.get();
  const Settings settings = GetSettings();
  const Session& session = *connection_->session();
  const std::uint32_t flags = params_.flags;
  const bool secure = (flags & INTERNET_FLAG_SECURE) != 0;

  // Every send starts from the request's own URL, whatever an earlier send was redirected to.
  const INTERNET_PORT port =
      connection_->port() != INTERNET_INVALID_PORT_NUMBER
          ? connection_->port()
          : (secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
  std::string url = std::string(secure ? "https" : "http") + "://" +
                    HostForUrl(connection_->host()) + ":" + std::to_string(port) +
                    params_.object_name;
  if (curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) != CURLE_OK) {
    return Fail(ERROR_INTERNET_INVALID_URL);
  }
  SetUrl(std::move(url));

  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION,
                   params_.http10 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
  following_ = (flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, following_ ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_USERAGENT, session.agent());
  curl_easy_setopt(easy, CURLOPT_REFERER,
                   params_.referrer.empty() ? nullptr : params_.referrer.c_str());

  // Method and body. HTTPGET first clears whatever an earlier send left.
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
  const bool has_body = body_kind != BodyKind::kNone;
  if (body_kind == BodyKind::kUpload) {
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(upload_total));
  } else if (body_kind == BodyKind::kBuffer) {
    // A copy: libcurl may need the body again for an authentication round trip or a 307.
    curl_easy_setopt(easy, CURLOPT_POST, 1L);
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(length));
    curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, body != nullptr ? body : "");
  } else if (params_.verb == "HEAD") {
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  }
  const bool standard_verb = ((params_.verb == "GET" || params_.verb == "HEAD") && !has_body) ||
                             (params_.verb == "POST" && has_body);
  curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, standard_verb ? nullptr : params_.verb.c_str());

  // Headers: the request's, overridden by this send's, plus what the flags ask for.
  const HeaderList merged = headers_.OverriddenBy(send_headers);
  SlistPtr owner;
  auto append = [&](const std::string& line) {
    curl_slist* head = curl_slist_append(owner.get(), line.c_str());
    if (head == nullptr) throw std::bad_alloc();
    if (!owner) owner.reset(head);  // later appends keep the same head
  };
  for (const auto& [name, value] : merged.entries()) {
    // libcurl reads "Name:" as "remove this header"; "Name;" sends it empty.
    append(value.empty() ? name + ";" : name + ": " + value);
  }
  if ((flags & INTERNET_FLAG_PRAGMA_NOCACHE) != 0 && !merged.Has("Pragma")) {
    append("Pragma: no-cache");
  }
  if (!merged.Has("Accept")) append("Accept: " + params_.accept_types);
  // No default form type and no 100-continue round trip: only what the caller asked for.
  if (has_body && !merged.Has("Content-Type")) append("Content-Type:");
  if (!merged.Has("Expect")) append("Expect:");
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, owner.get());
  header_slist_ = std::move(owner);

  // Proxy: unset lets libcurl read the environment; empty goes direct.
  const auto proxy = session.proxy().ProxyFor(secure ? "https" : "http", connection_->host());
  curl_easy_setopt(easy, CURLOPT_PROXY, proxy ? proxy->c_str() : nullptr);

  // Certificates: verified unless a flag relaxes one specific check.
  const std::uint32_t security = SecurityFlags();
  std::uintptr_t relax = 0;
  if ((security & SECURITY_FLAG_IGNORE_CERT_DATE_INVALID) != 0) relax |= kRelaxDates;
  if ((security & SECURITY_FLAG_IGNORE_UNKNOWN_CA) != 0) relax |= kRelaxUnknownIssuer;
  const bool ignore_name = (security & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) != 0;
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, ignore_name ? 0L : 2L);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, reinterpret_cast<void*>(relax));

  // Connections: reused within the session only with KEEP_CONNECTION, and never when a check
  // was relaxed (libcurl can't tell such a connection from a fully verified one).
  const bool reuse = (flags & INTERNET_FLAG_KEEP_CONNECTION) != 0 && relax == 0 && !ignore_name;
  curl_easy_setopt(easy, CURLOPT_FORBID_REUSE, reuse ? 0L : 1L);
  curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, reuse ? 0L : 1L);

  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(EffectiveTimeout(settings.connect_timeout_ms)));

  // Credentials. An upload can't be sent twice by libcurl (its body comes from the caller), so
  // it carries them only once a challenge told us the scheme (see HttpEndRequestA).
  const bool may_authenticate = (flags & INTERNET_FLAG_NO_AUTH) == 0;
  long server_scheme = CURLAUTH_BASIC | CURLAUTH_DIGEST;
  long proxy_scheme = CURLAUTH_BASIC | CURLAUTH_DIGEST;
  if (body_kind == BodyKind::kUpload) {
    server_scheme = upload_server_scheme_;
    proxy_scheme = upload_proxy_scheme_;
  }
  server_credentials_ = may_authenticate && !settings.user_name.empty() && server_scheme != 0;
  proxy_credentials_ = may_authenticate && !settings.proxy_user_name.empty() && proxy_scheme != 0;
  curl_easy_setopt(easy, CURLOPT_USERNAME,
                   server_credentials_ ? settings.user_name.c_str() : nullptr);
  curl_easy_setopt(easy, CURLOPT_PASSWORD,
                   server_credentials_ ? settings.password.c_str() : nullptr);
  curl_easy_setopt(easy, CURLOPT_HTTPAUTH, server_credentials_ ? server_scheme : CURLAUTH_BASIC);
  curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME,
                   proxy_credentials_ ? settings.proxy_user_name.c_str() : nullptr);
  curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD,
                   proxy_credentials_ ? settings.proxy_password.c_str() : nullptr);
  curl_easy_setopt(easy, CURLOPT_PROXYAUTH, proxy_credentials_ ? proxy_scheme : CURLAUTH_BASIC);
  return true;
}

bool Request::Start(Goal goal) {
  const Settings settings = GetSettings();
  const std::uint32_t connect_ms = EffectiveTimeout(settings.connect_timeout_ms);
  const std::uint32_t receive_ms = EffectiveTimeout(settings.receive_timeout_ms);
  // The whole response head must arrive within this, however slowly a server drips it.
  head_deadline_ = Clock::now() + 3 * std::chrono::milliseconds(std::max(connect_ms, receive_ms));
  if (curl_multi_add_handle(multi_, easy_.get()) != CURLM_OK) {
    stage_ = Stage::kFailed;
    failure_ = ERROR_INTERNET_INTERNAL_ERROR;
    return Fail(failure_);
  }
  attached_ = true;
  Queue(TextNotice(INTERNET_STATUS_RESOLVING_NAME, connection_->host()));
  const std::uint32_t idle_ms =
      goal == Goal::kUploadReady ? EffectiveTimeout(settings.send_timeout_ms) : receive_ms;
  if (std::uint32_t error = Drive(goal, idle_ms); error != 0) {
    Abandon(error);
    return Fail(error);
  }
  stage_ = goal == Goal::kHeaders ? Stage::kResponse : Stage::kUploading;
  return true;
}

bool Request::Send(std::string_view headers, const void* body, std::uint32_t length) {
  HeaderList send_headers;
  if (std::uint32_t error = send_headers.ApplyText(headers, HTTP_ADDREQ_FLAG_ADD); error != 0) {
    return Fail(error);
  }
  ResetTransfer();
  if (std::uint32_t error = CheckOnline(); error != 0) {
    stage_ = Stage::kFailed;
    failure_ = error;
    return Fail(error);
  }
  const bool has_body = body != nullptr || length != 0 || params_.verb == "POST";
  if (!Configure(send_headers, has_body ? BodyKind::kBuffer : BodyKind::kNone, body, length, 0)) {
    stage_ = Stage::kFailed;
    failure_ = kernel::GetLastError();
    return false;
  }
  return Start(Goal::kHeaders);
}

bool Request::SendEx(std::string_view headers, const void* first, std::uint32_t first_length,
                     std::uint64_t total) {
  HeaderList send_headers;
  if (std::uint32_t error = send_headers.ApplyText(headers, HTTP_ADDREQ_FLAG_ADD); error != 0) {
    return Fail(error);
  }
  ResetTransfer();
  if (std::uint32_t error = CheckOnline(); error != 0) {
    stage_ = Stage::kFailed;
    failure_ = error;
    return Fail(error);
  }
  if (!Configure(send_headers, BodyKind::kUpload, nullptr, 0, total)) {
    stage_ = Stage::kFailed;
    failure_ = kernel::GetLastError();
    return false;
  }
  upload_total_ = total;
  // The first bytes must be taken before we return: the caller's buffer is only lent.
  upload_src_ = static_cast<const char*>(first);
  upload_left_ = first != nullptr ? first_length : 0;
  const bool started = Start(Goal::kUploadReady);
  // Taken by libcurl, or dropped because the server answered before wanting them.
  upload_taken_ = first != nullptr ? first_length : 0;
  upload_src_ = nullptr;
  upload_left_ = 0;
  return started;
}

bool Request::AuthRetryWanted() {
  if ((params_.flags & INTERNET_FLAG_NO_AUTH) != 0) return false;
  const Settings settings = GetSettings();
  const int status = head_.status();
  const bool proxy = status == 407;
  if (status != 401 && !proxy) return false;
  const std::string& user = proxy ? settings.proxy_user_name : settings.user_name;
  const std::string& password = proxy ? settings.proxy_password : settings.password;
  if (user.empty()) return false;
  // The upload carried credentials already: they are wrong, so the answer is the caller's.
  if (sent_head_.Find(proxy ? "Proxy-Authorization" : "Authorization", 0)) return false;
  const char* challenge = proxy ? "Proxy-Authenticate" : "WWW-Authenticate";
  long scheme = 0;
  if (head_.OffersScheme(challenge, "Digest")) {
    scheme = CURLAUTH_DIGEST;
  } else if (head_.OffersScheme(challenge, "Basic")) {
    scheme = CURLAUTH_BASIC;
  }
  if (scheme == 0) return false;
  std::string key = CredentialsKey(status, user, password);
  if (key == last_retry_key_) return false;  // signalled for these credentials already
  last_retry_key_ = std::move(key);
  (proxy ? upload_proxy_scheme_ : upload_server_scheme_) = scheme;
  return true;
}

}  // namespace inet::detail
