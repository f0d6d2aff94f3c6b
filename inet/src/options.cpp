#include "options.h"

#include <cstring>
#include <string>

#include "fail.h"
#include "offline_state.h"
#include "request.h"

namespace inet::detail {
namespace {

bool IsNumberOption(std::uint32_t option) {
  return option == INTERNET_OPTION_CONNECT_TIMEOUT || option == INTERNET_OPTION_SEND_TIMEOUT ||
         option == INTERNET_OPTION_RECEIVE_TIMEOUT || option == INTERNET_OPTION_SECURITY_FLAGS;
}

bool IsTextOption(std::uint32_t option) {
  return option == INTERNET_OPTION_USERNAME || option == INTERNET_OPTION_PASSWORD ||
         option == INTERNET_OPTION_PROXY_USERNAME || option == INTERNET_OPTION_PROXY_PASSWORD;
}

std::uint32_t* NumberField(Settings& settings, std::uint32_t option) {
  switch (option) {
    case INTERNET_OPTION_CONNECT_TIMEOUT:
      return &settings.connect_timeout_ms;
    case INTERNET_OPTION_SEND_TIMEOUT:
      return &settings.send_timeout_ms;
    case INTERNET_OPTION_RECEIVE_TIMEOUT:
      return &settings.receive_timeout_ms;
    default:
      return &settings.security_flags;
  }
}

std::string* TextField(Settings& settings, std::uint32_t option) {
  switch (option) {
    case INTERNET_OPTION_USERNAME:
      return &settings.user_name;
    case INTERNET_OPTION_PASSWORD:
      return &settings.password;
    case INTERNET_OPTION_PROXY_USERNAME:
      return &settings.proxy_user_name;
    default:
      return &settings.proxy_password;
  }
}

bool WriteNumber(std::uint32_t value, void* buffer, std::uint32_t* length) {
  if (buffer == nullptr || *length < sizeof value) {
    *length = sizeof value;
    return Fail(kernel::ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, &value, sizeof value);
  *length = sizeof value;
  return true;
}

bool WriteText(const std::string& text, void* buffer, std::uint32_t* length) {
  if (buffer == nullptr || *length < text.size() + 1) {
    *length = static_cast<std::uint32_t>(text.size() + 1);
    return Fail(kernel::ERROR_INSUFFICIENT_BUFFER);
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  *length = static_cast<std::uint32_t>(text.size());
  return true;
}

}  // namespace

bool SetOption(HandleObject* object, std::uint32_t option, const void* buffer,
               std::uint32_t length) {
  if (buffer == nullptr && length != 0) return Fail(kernel::ERROR_INVALID_PARAMETER);
  if (option == INTERNET_OPTION_CONNECTED_STATE) {
    if (buffer == nullptr || length < sizeof(std::uint32_t)) {
      return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
    }
    std::uint32_t state = 0;
    std::memcpy(&state, buffer, sizeof state);
    if ((state & INTERNET_STATE_DISCONNECTED_BY_USER) != 0) {
      SetProcessOffline(true);
    } else if ((state & INTERNET_STATE_CONNECTED) != 0) {
      SetProcessOffline(false);
    } else {
      return Fail(kernel::ERROR_INVALID_PARAMETER);
    }
    return true;
  }
  if (option == INTERNET_OPTION_HANDLE_TYPE || option == INTERNET_OPTION_URL) {
    return Fail(ERROR_INTERNET_OPTION_NOT_SETTABLE);
  }
  if (!IsNumberOption(option) && !IsTextOption(option)) return Fail(ERROR_INTERNET_INVALID_OPTION);
  if (object == nullptr) return Fail(kernel::ERROR_INVALID_HANDLE);
  if (IsNumberOption(option)) {
    if (length < sizeof(std::uint32_t)) return Fail(ERROR_INTERNET_BAD_OPTION_LENGTH);
    std::uint32_t value = 0;
    std::memcpy(&value, buffer, sizeof value);
    object->EditSettings([&](Settings& settings) { *NumberField(settings, option) = value; });
    return true;
  }
  const auto* chars = static_cast<const char*>(buffer);
  std::string text = chars != nullptr ? std::string(chars, strnlen(chars, length)) : std::string();
  object->EditSettings([&](Settings& settings) { *TextField(settings, option) = std::move(text); });
  return true;
}

bool QueryOption(HandleObject* object, std::uint32_t option, void* buffer, std::uint32_t* length) {
  if (option == INTERNET_OPTION_CONNECTED_STATE) {
    return WriteNumber(
        ProcessOffline() ? INTERNET_STATE_DISCONNECTED_BY_USER : INTERNET_STATE_CONNECTED, buffer,
        length);
  }
  const bool known = IsNumberOption(option) || IsTextOption(option) ||
                     option == INTERNET_OPTION_HANDLE_TYPE || option == INTERNET_OPTION_URL;
  if (!known) return Fail(ERROR_INTERNET_INVALID_OPTION);
  if (object == nullptr) return Fail(kernel::ERROR_INVALID_HANDLE);
  auto* request = object->kind() == HandleKind::kRequest ? static_cast<Request*>(object) : nullptr;
  switch (option) {
    case INTERNET_OPTION_HANDLE_TYPE:
      return WriteNumber(object->kind() == HandleKind::kSession ? INTERNET_HANDLE_TYPE_INTERNET
                         : object->kind() == HandleKind::kConnection
                             ? INTERNET_HANDLE_TYPE_CONNECT_HTTP
                             : INTERNET_HANDLE_TYPE_HTTP_REQUEST,
                         buffer, length);
    case INTERNET_OPTION_URL:
      if (request == nullptr) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
      return WriteText(request->Url(), buffer, length);
    case INTERNET_OPTION_SECURITY_FLAGS:
      if (request != nullptr) return WriteNumber(request->SecurityFlags(), buffer, length);
      break;
    default:
      break;
  }
  Settings settings = object->GetSettings();
  if (IsNumberOption(option)) {
    std::uint32_t value = *NumberField(settings, option);
    if (option != INTERNET_OPTION_SECURITY_FLAGS) value = EffectiveTimeout(value);
    return WriteNumber(value, buffer, length);
  }
  return WriteText(*TextField(settings, option), buffer, length);
}

}  // namespace inet::detail
