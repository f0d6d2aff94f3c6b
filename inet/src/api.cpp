// The exported functions: argument checks, handle look-up, the per-request call guard and the
// conversion of std::bad_alloc into ERROR_NOT_ENOUGH_MEMORY. The work is done by the objects.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "fail.h"
#include "handle_table.h"
#include "inet/wininet.h"
#include "offline_state.h"
#include "options.h"
#include "request.h"
#include "session.h"

namespace inet {
namespace {

using detail::Fail;
using detail::FailNull;
using detail::HandleKind;
using detail::HandleObject;

constexpr std::uint32_t kNulTerminated = 0xFFFFFFFF;

std::string_view TextArgument(const char* text, std::uint32_t length) {
  if (text == nullptr) return {};
  if (length == kNulTerminated) return text;
  return std::string_view(text, length);
}

template <typename T>
std::shared_ptr<T> FindAs(HINTERNET handle, HandleKind kind) {
  auto object = detail::FindHandle(handle);
  if (!object) {
    kernel::SetLastError(kernel::ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (object->kind() != kind) {
    kernel::SetLastError(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return std::static_pointer_cast<T>(object);
}

// Runs `call` on the request of `handle` with the call guard held.
template <typename Call>
bool WithRequest(HINTERNET handle, Call&& call) {
  auto request = FindAs<detail::Request>(handle, HandleKind::kRequest);
  if (!request) return false;
  if (!request->TryEnter()) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  struct Guard {
    detail::Request& request;
    ~Guard() { request.Leave(); }
  } guard{*request};
  try {
    return call(*request);
  } catch (const std::bad_alloc&) {
    return Fail(kernel::ERROR_NOT_ENOUGH_MEMORY);
  }
}

void NotifyCreated(const HandleObject& parent, HINTERNET handle, std::uintptr_t context) {
  detail::Notice notice = detail::HandleNotice(INTERNET_STATUS_HANDLE_CREATED, handle);
  detail::DeliverNotice(parent.callback(), handle, context, notice);
}

bool IsValidHostName(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || std::strchr("/\\?#@[]", c) != nullptr) return false;
  }
  return true;
}

bool IsToken(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || std::strchr("()<>@,;:\\\"/[]?={}", c) != nullptr) {
      return false;
    }
  }
  return true;
}

// Percent-escapes what may not stand in a request line; "%" stays (it starts escapes).
std::string EscapeObjectName(std::string_view object) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  if (object.empty() || object.front() != '/') escaped.push_back('/');
  for (char c : object) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || std::strchr("\"<>\\^`{|}#", c) != nullptr) {
      escaped.push_back('%');
      escaped.push_back(kHex[byte >> 4]);
      escaped.push_back(kHex[byte & 0xF]);
    } else {
      escaped.push_back(c);
    }
  }
  return escaped;
}

std::string JoinAcceptTypes(const char** accept_types) {
  std::string joined;
  for (const char** type = accept_types; type != nullptr && *type != nullptr; ++type) {
    if (**type == '\0') continue;
    if (!joined.empty()) joined += ", ";
    joined += *type;
  }
  return joined.empty() ? "*/*" : joined;
}

// The handle and everything under it, children before their parent.
void CollectTree(const std::shared_ptr<HandleObject>& object,
                 std::vector<std::shared_ptr<HandleObject>>& tree) {
  for (const auto& child : object->Children()) CollectTree(child, tree);
  tree.push_back(object);
}

}  // namespace

HINTERNET InternetOpenA(const char* agent, std::uint32_t access_type, const char* proxy,
                        const char* proxy_bypass, std::uint32_t flags) {
  if (!detail::EnsureCurlInitialised()) return FailNull(ERROR_INTERNET_INTERNAL_ERROR);
  try {
    auto config = detail::ProxyConfig::Parse(access_type, proxy, proxy_bypass);
    if (!config) return FailNull(kernel::ERROR_INVALID_PARAMETER);
    auto session =
        detail::Session::Create(agent, std::move(*config), (flags & INTERNET_FLAG_OFFLINE) != 0);
    if (!session) return FailNull(kernel::ERROR_NOT_ENOUGH_MEMORY);
    return detail::RegisterHandle(session);
  } catch (const std::bad_alloc&) {
    return FailNull(kernel::ERROR_NOT_ENOUGH_MEMORY);
  }
}

INTERNET_STATUS_CALLBACK InternetSetStatusCallback(HINTERNET handle,
                                                   INTERNET_STATUS_CALLBACK callback) {
  auto object = detail::FindHandle(handle);
  if (!object) {
    kernel::SetLastError(kernel::ERROR_INVALID_HANDLE);
    return INTERNET_INVALID_STATUS_CALLBACK;
  }
  return object->SetCallback(callback);
}

HINTERNET InternetConnectA(HINTERNET internet, const char* server_name, INTERNET_PORT port,
                           const char* user_name, const char* password, std::uint32_t service,
                           std::uint32_t, std::uintptr_t context) {
  try {
    auto session = FindAs<detail::Session>(internet, HandleKind::kSession);
    if (!session) return nullptr;
    if (service != INTERNET_SERVICE_HTTP) return FailNull(kernel::ERROR_INVALID_PARAMETER);
    std::string host = server_name != nullptr ? server_name : "";
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
      host = host.substr(1, host.size() - 2);
    }
    if (!IsValidHostName(host)) return FailNull(ERROR_INTERNET_INVALID_URL);
    auto connection = std::make_shared<detail::Connection>(session, std::move(host), port, context);
    if (user_name != nullptr && *user_name != '\0') {
      connection->EditSettings([&](detail::Settings& settings) {
        settings.user_name = user_name;
        settings.password = password != nullptr ? password : "";
      });
    }
    session->AddChild(connection);
    HINTERNET handle = detail::RegisterHandle(connection);
    // Closed meanwhile from another thread: the new child must not outlive its parent.
    if (session->closed()) {
      detail::UnregisterHandle(handle);
      return FailNull(ERROR_INTERNET_OPERATION_CANCELLED);
    }
    NotifyCreated(*connection, handle, context);
    return handle;
  } catch (const std::bad_alloc&) {
    return FailNull(kernel::ERROR_NOT_ENOUGH_MEMORY);
  }
}

HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* object_name,
                           const char* version, const char* referrer, const char** accept_types,
                           std::uint32_t flags, std::uintptr_t context) {
  try {
    auto connection = FindAs<detail::Connection>(connect, HandleKind::kConnection);
    if (!connection) return nullptr;
    detail::RequestParams params;
    params.verb = verb != nullptr && *verb != '\0' ? verb : "GET";
    if (!IsToken(params.verb)) return FailNull(kernel::ERROR_INVALID_PARAMETER);
    const std::string_view version_text = version != nullptr ? version : "";
    if (version_text.empty() || version_text == "HTTP/1.1") {
      params.http10 = false;
    } else if (version_text == "HTTP/1.0") {
      params.http10 = true;
    } else {
      return FailNull(kernel::ERROR_INVALID_PARAMETER);
    }
    params.object_name = EscapeObjectName(object_name != nullptr ? object_name : "");
    params.referrer = referrer != nullptr ? referrer : "";
    if (params.referrer.find_first_of("\r\n") != std::string::npos) {
      return FailNull(kernel::ERROR_INVALID_PARAMETER);
    }
    params.accept_types = JoinAcceptTypes(accept_types);
    if (params.accept_types.find_first_of("\r\n") != std::string::npos) {
      return FailNull(kernel::ERROR_INVALID_PARAMETER);
    }
    params.flags = flags;
    auto request = detail::Request::Create(connection, std::move(params), context);
    if (!request) return FailNull(kernel::ERROR_NOT_ENOUGH_MEMORY);
    connection->AddChild(request);
    HINTERNET handle = detail::RegisterHandle(request);
    if (connection->closed()) {
      detail::UnregisterHandle(handle);
      return FailNull(ERROR_INTERNET_OPERATION_CANCELLED);
    }
    NotifyCreated(*request, handle, request->NoticeContext());
    return handle;
  } catch (const std::bad_alloc&) {
    return FailNull(kernel::ERROR_NOT_ENOUGH_MEMORY);
  }
}

bool InternetSetOptionA(HINTERNET handle, std::uint32_t option, const void* buffer,
                        std::uint32_t length) {
  std::shared_ptr<HandleObject> object;
  if (handle != nullptr) {
    object = detail::FindHandle(handle);
    if (!object) return Fail(kernel::ERROR_INVALID_HANDLE);
  }
  try {
    return detail::SetOption(object.get(), option, buffer, length);
  } catch (const std::bad_alloc&) {
    return Fail(kernel::ERROR_NOT_ENOUGH_MEMORY);
  }
}

bool InternetQueryOptionA(HINTERNET handle, std::uint32_t option, void* buffer,
                          std::uint32_t* length) {
  if (length == nullptr) return Fail(kernel::ERROR_INVALID_PARAMETER);
  std::shared_ptr<HandleObject> object;
  if (handle != nullptr) {
    object = detail::FindHandle(handle);
    if (!object) return Fail(kernel::ERROR_INVALID_HANDLE);
  }
  try {
    return detail::QueryOption(object.get(), option, buffer, length);
  } catch (const std::bad_alloc&) {
    return Fail(kernel::ERROR_NOT_ENOUGH_MEMORY);
  }
}

bool InternetGoOnline(const char*, std::uintptr_t, std::uint32_t reserved) {
  if (reserved != 0) return Fail(kernel::ERROR_INVALID_PARAMETER);
  detail::SetProcessOffline(false);
  return true;
}

bool HttpAddRequestHeadersA(HINTERNET request, const char* headers, std::uint32_t length,
                            std::uint32_t modifiers) {
  if (headers == nullptr && length != 0) return Fail(kernel::ERROR_INVALID_PARAMETER);
  return WithRequest(request, [&](detail::Request& r) {
    return r.AddHeaders(TextArgument(headers, length), modifiers);
  });
}

bool HttpSendRequestA(HINTERNET request, const char* headers, std::uint32_t headers_length,
                      const void* optional, std::uint32_t optional_length) {
  if (headers == nullptr && headers_length != 0 && headers_length != kNulTerminated) {
    return Fail(kernel::ERROR_INVALID_PARAMETER);
  }
  if (optional == nullptr && optional_length != 0) return Fail(kernel::ERROR_INVALID_PARAMETER);
  return WithRequest(request, [&](detail::Request& r) {
    return r.Send(TextArgument(headers, headers_length), optional, optional_length);
  });
}

bool HttpSendRequestExA(HINTERNET request, INTERNET_BUFFERSA* buffers_in,
                        INTERNET_BUFFERSA* buffers_out, std::uint32_t, std::uintptr_t) {
  if (buffers_out != nullptr) return Fail(kernel::ERROR_INVALID_PARAMETER);
  if (buffers_in != nullptr) {
    const bool size_ok = buffers_in->dwStructSize == sizeof(INTERNET_BUFFERSA) ||
                         buffers_in->dwStructSize == kInternetBuffersLegacySize;
    if (!size_ok || buffers_in->Next != nullptr ||
        (buffers_in->lpvBuffer == nullptr && buffers_in->dwBufferLength != 0) ||
        buffers_in->dwBufferLength > buffers_in->dwBufferTotal ||
        (buffers_in->lpcszHeader == nullptr && buffers_in->dwHeadersLength != 0 &&
         buffers_in->dwHeadersLength != kNulTerminated)) {
      return Fail(kernel::ERROR_INVALID_PARAMETER);
    }
  }
  return WithRequest(request, [&](detail::Request& r) {
    if (buffers_in == nullptr) return r.SendEx({}, nullptr, 0, 0);
    return r.SendEx(TextArgument(buffers_in->lpcszHeader, buffers_in->dwHeadersLength),
                    buffers_in->lpvBuffer, buffers_in->dwBufferLength, buffers_in->dwBufferTotal);
  });
}

bool InternetWriteFile(HINTERNET request, const void* buffer, std::uint32_t count,
                       std::uint32_t* written) {
  if (written == nullptr || (buffer == nullptr && count != 0)) {
    return Fail(kernel::ERROR_INVALID_PARAMETER);
  }
  *written = 0;
  return WithRequest(request, [&](detail::Request& r) { return r.Write(buffer, count, written); });
}

bool HttpEndRequestA(HINTERNET request, INTERNET_BUFFERSA* buffers_out, std::uint32_t,
                     std::uintptr_t) {
  if (buffers_out != nullptr) return Fail(kernel::ERROR_INVALID_PARAMETER);
  return WithRequest(request, [&](detail::Request& r) { return r.End(); });
}

bool HttpQueryInfoA(HINTERNET request, std::uint32_t info_level, void* buffer,
                    std::uint32_t* length, std::uint32_t* index) {
  if (length == nullptr) return Fail(kernel::ERROR_INVALID_PARAMETER);
  return WithRequest(
      request, [&](detail::Request& r) { return r.Query(info_level, buffer, length, index); });
}

bool InternetReadFile(HINTERNET request, void* buffer, std::uint32_t count, std::uint32_t* read) {
  if (read == nullptr || (buffer == nullptr && count != 0)) {
    return Fail(kernel::ERROR_INVALID_PARAMETER);
  }
  *read = 0;
  return WithRequest(request, [&](detail::Request& r) { return r.Read(buffer, count, read); });
}

bool InternetCloseHandle(HINTERNET handle) {
  auto object = detail::FindHandle(handle);
  if (!object) return Fail(kernel::ERROR_INVALID_HANDLE);
  std::vector<std::shared_ptr<HandleObject>> tree;
  std::vector<std::shared_ptr<HandleObject>> closed;
  try {
    CollectTree(object, tree);  // allocates; nothing is closed yet if it fails
    closed.reserve(tree.size());
  } catch (const std::bad_alloc&) {
    return Fail(kernel::ERROR_NOT_ENOUGH_MEMORY);
  }
  // From here on nothing allocates.
  for (auto& item : tree) {
    if (detail::UnregisterHandle(item->handle()) && item->MarkClosed()) closed.push_back(item);
  }
  if (closed.empty() || closed.back() != object) {
    return Fail(kernel::ERROR_INVALID_HANDLE);  // closed by another thread meanwhile
  }
  // Notices go out once everything is closed, so a throwing callback can't leave half a tree.
  for (const auto& gone : closed) {
    const std::uintptr_t context = gone->kind() == HandleKind::kRequest
                                       ? static_cast<detail::Request&>(*gone).NoticeContext()
                                       : gone->context();
    detail::Notice notice = detail::HandleNotice(INTERNET_STATUS_HANDLE_CLOSING, gone->handle());
    detail::DeliverNotice(gone->callback(), gone->handle(), context, notice);
  }
  return true;
}

}  // namespace inet
