// The settings sub-objects: defaults, Assign rules and their property tables.
#include "winhttp/settings.h"

#include <string>

#include "vcl/exceptions.h"

namespace winhttp {

TBufferSize::TBufferSize(std::int64_t value) {
  if (value < kMin || value > kMax) {
    throw vcl::ERangeError("TBufferSize " + std::to_string(value) + " is out of range (" +
                           std::to_string(kMin) + ".." + std::to_string(kMax) + ")");
  }
  value_ = static_cast<std::int32_t>(value);
}

// ---- TWinHTTPProxy

TWinHTTPProxy::TWinHTTPProxy() = default;

void TWinHTTPProxy::Assign(const vcl::TPersistent* source) {
  if (source == nullptr) {
    AccessType = atPreconfig;
    ProxyPort = kDefaultPort;
    ProxyBypass = kDefaultBypass;
    ProxyServer.clear();
    ProxyUsername.clear();
    ProxyPassword.clear();
    return;
  }
  if (const auto* proxy = dynamic_cast<const TWinHTTPProxy*>(source)) {
    AccessType = proxy->AccessType;
    ProxyPort = proxy->ProxyPort;
    ProxyBypass = proxy->ProxyBypass;
    ProxyServer = proxy->ProxyServer;
    ProxyUsername = proxy->ProxyUsername;
    ProxyPassword = proxy->ProxyPassword;
    return;
  }
  vcl::TPersistent::Assign(source);
}

const vcl::ClassInfo& TWinHTTPProxy::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TWinHTTPProxy, vcl::TPersistent>("TWinHTTPProxy", [](auto& t) {
        using T = TWinHTTPProxy;
        const auto uses_proxy = [](const T& p) { return p.AccessType == atUseProxy; };
        t.Enum("AccessType", &T::AccessType, kAccessTypeNames).Default(atPreconfig);
        t.Integer("ProxyPort", &T::ProxyPort).Default(kDefaultPort);
        t.String("ProxyServer", &T::ProxyServer).Stored(uses_proxy);
        t.String("ProxyBypass", &T::ProxyBypass).Stored(uses_proxy);
        t.String("ProxyUsername", &T::ProxyUsername);
        t.String("ProxyPassword", &T::ProxyPassword);
      });
  return info;
}

// ---- TWinHTTPRange

void TWinHTTPRange::Assign(const vcl::TPersistent* source) {
  if (source == nullptr) {
    StartRange = 0;
    EndRange = 0;
    return;
  }
  if (const auto* range = dynamic_cast<const TWinHTTPRange*>(source)) {
    StartRange = range->StartRange;
    EndRange = range->EndRange;
    return;
  }
  vcl::TPersistent::Assign(source);
}

const vcl::ClassInfo& TWinHTTPRange::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TWinHTTPRange, vcl::TPersistent>("TWinHTTPRange", [](auto& t) {
        using T = TWinHTTPRange;
        t.Cardinal("StartRange", &T::StartRange).Default(0u);
        t.Cardinal("EndRange", &T::EndRange).Default(0u);
      });
  return info;
}

// ---- TWinHTTPTimeouts

void TWinHTTPTimeouts::Assign(const vcl::TPersistent* source) {
  if (source == nullptr) {
    ConnectTimeout = 0;
    ReceiveTimeout = 0;
    SendTimeout = 0;
    return;
  }
  if (const auto* timeouts = dynamic_cast<const TWinHTTPTimeouts*>(source)) {
    ConnectTimeout = timeouts->ConnectTimeout;
    ReceiveTimeout = timeouts->ReceiveTimeout;
    SendTimeout = timeouts->SendTimeout;
    return;
  }
  vcl::TPersistent::Assign(source);
}

const vcl::ClassInfo& TWinHTTPTimeouts::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TWinHTTPTimeouts, vcl::TPersistent>("TWinHTTPTimeouts", [](auto& t) {
        using T = TWinHTTPTimeouts;
        t.Cardinal("ConnectTimeout", &T::ConnectTimeout).Default(0u);
        t.Cardinal("ReceiveTimeout", &T::ReceiveTimeout).Default(0u);
        t.Cardinal("SendTimeout", &T::SendTimeout).Default(0u);
      });
  return info;
}

// ---- TWinHTTPOutputFileAttributes

void TWinHTTPOutputFileAttributes::SetComplete(TWinHTTPFileAttributes value) {
  if (value == complete_) return;
  complete_ = value;
  Changed();
}

void TWinHTTPOutputFileAttributes::SetIncomplete(TWinHTTPFileAttributes value) {
  if (value == incomplete_) return;
  incomplete_ = value;
  Changed();
}

void TWinHTTPOutputFileAttributes::Assign(const vcl::TPersistent* source) {
  if (source == nullptr) {
    complete_ = kDefaultComplete;
    incomplete_ = kDefaultIncomplete;
    return;
  }
  if (const auto* attributes = dynamic_cast<const TWinHTTPOutputFileAttributes*>(source)) {
    complete_ = attributes->complete_;
    incomplete_ = attributes->incomplete_;
    return;
  }
  vcl::TPersistent::Assign(source);
}

const vcl::ClassInfo& TWinHTTPOutputFileAttributes::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TWinHTTPOutputFileAttributes, vcl::TPersistent>(
          "TWinHTTPOutputFileAttributes", [](auto& t) {
            using T = TWinHTTPOutputFileAttributes;
            t.SetOf("Complete", &T::Complete, &T::SetComplete, kFileAttributeNames)
                .Default(kDefaultComplete);
            t.SetOf("Incomplete", &T::Incomplete, &T::SetIncomplete, kFileAttributeNames)
                .Default(kDefaultIncomplete);
          });
  return info;
}

}  // namespace winhttp
