// The transfer component's settings types: the enumerations and sets of its properties, the buffer
// size type, and the four settings sub-objects (proxy, byte range, time-outs, output-file
// attributes) that the component owns for its whole life.
//
// Element order fixes each element's ordinal and its bit in a set (from 0); form files spell the
// elements by name (`CacheOptions = [coAlwaysReload]`).
//
// Ownership and threads: the sub-objects are plain persistent objects owned by their component;
// they are created, changed and destroyed on the main thread and read by the worker thread during
// a transfer (change them only while the component is not Busy, except the proxy credentials that
// OnProxyAuthenticationRequest answers in place). Nothing here locks.
//
// Failures: Assign from an object of another class throws vcl::EConvertError "Cannot assign a %s
// to a %s"; TBufferSize refuses values outside 255..2147483647 with vcl::ERangeError. Nothing else
// throws except std::bad_alloc.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "vcl/component.h"
#include "vcl/properties.h"
#include "vcl/set.h"

namespace winhttp {

// ---- enumerations and sets

enum TWinHTTPRequestMethod : std::uint8_t { rmAutoDetect, rmGET, rmPOST };
inline constexpr std::array<const char*, 3> kRequestMethodNames = {"rmAutoDetect", "rmGET",
                                                                   "rmPOST"};

enum TWinHTTPAccessType : std::uint8_t { atPreconfig, atDirect, atUseProxy };
inline constexpr std::array<const char*, 3> kAccessTypeNames = {"atPreconfig", "atDirect",
                                                                "atUseProxy"};

enum TCacheOption : std::uint8_t {
  coAlwaysReload,
  coReloadIfNoExpireInformation,
  coReloadUpdatedObjects,
  coPragmaNoCache,
  coNoCacheWrite,
  coCreateTempFilesIfCantCache,
  coUseCacheIfNetFail,
};
using TCacheOptions = vcl::Set<TCacheOption, std::uint8_t>;
inline constexpr std::array<const char*, 7> kCacheOptionNames = {
    "coAlwaysReload", "coReloadIfNoExpireInformation", "coReloadUpdatedObjects", "coPragmaNoCache",
    "coNoCacheWrite", "coCreateTempFilesIfCantCache",  "coUseCacheIfNetFail",
};

enum TInternetOption : std::uint8_t {
  ioIgnoreCertificateInvalid,
  ioIgnoreCertificateDateInvalid,
  ioIgnoreUnknownCertificateAuthority,
  ioIgnoreRedirectToHTTP,
  ioIgnoreRedirectToHTTPS,
  ioKeepConnection,
  ioNoAuthentication,
  ioNoAutoRedirect,
  ioNoCookies,
};
using TInternetOptions = vcl::Set<TInternetOption, std::uint16_t>;
inline constexpr std::array<const char*, 9> kInternetOptionNames = {
    "ioIgnoreCertificateInvalid",
    "ioIgnoreCertificateDateInvalid",
    "ioIgnoreUnknownCertificateAuthority",
    "ioIgnoreRedirectToHTTP",
    "ioIgnoreRedirectToHTTPS",
    "ioKeepConnection",
    "ioNoAuthentication",
    "ioNoAutoRedirect",
    "ioNoCookies",
};

enum TWinHTTPFileAttribute : std::uint8_t {
  atrArchive,
  atrHidden,
  atrReadOnly,
  atrSystem,
  atrTemporary,
  atrOffline,
};
using TWinHTTPFileAttributes = vcl::Set<TWinHTTPFileAttribute, std::uint8_t>;
inline constexpr std::array<const char*, 6> kFileAttributeNames = {
    "atrArchive", "atrHidden", "atrReadOnly", "atrSystem", "atrTemporary", "atrOffline",
};

// ---- the transfer buffer size

// An integer from 255 to 2147483647: the size in bytes of one read or write block of a transfer.
// Converts implicitly from and to integers; constructing one from a value outside the range throws
// vcl::ERangeError ("TBufferSize 100 is out of range (255..2147483647)"), so an assignment of a
// bad value leaves the target unchanged. Value type.
class TBufferSize {
 public:
  static constexpr std::int64_t kMin = 255;
  static constexpr std::int64_t kMax = 2147483647;

  TBufferSize(std::int64_t value);  // NOLINT(google-explicit-constructor): a range-checked integer
  operator std::int32_t() const noexcept { return value_; }  // NOLINT(google-explicit-constructor)
  std::int32_t Value() const noexcept { return value_; }

 private:
  std::int32_t value_;
};

// ---- settings sub-objects

// Proxy settings. AccessType chooses the system's configured way, a direct connection, or
// ProxyServer:ProxyPort with ProxyBypass as the hosts that go direct. ProxyServer and ProxyBypass
// are stored in a form file only while AccessType is atUseProxy. The credentials are stored in
// plain text and answer a proxy's 407.
class TWinHTTPProxy : public vcl::TPersistent {
 public:
  VCL_CLASS(TWinHTTPProxy)

  static constexpr std::int32_t kDefaultPort = 8080;
  static constexpr const char* kDefaultBypass = "127.0.0.1;";

  // ProxyPort 8080, ProxyBypass "127.0.0.1;", everything else empty or atPreconfig.
  TWinHTTPProxy();

  // nullptr: back to the construction defaults. A TWinHTTPProxy: copies every field. Anything
  // else: the framework's Assign (EConvertError unless the source can assign itself).
  void Assign(const vcl::TPersistent* source) override;

  TWinHTTPAccessType AccessType = atPreconfig;
  std::int32_t ProxyPort = kDefaultPort;
  std::string ProxyServer;
  std::string ProxyBypass = kDefaultBypass;
  std::string ProxyUsername;
  std::string ProxyPassword;
};

// A byte range to request; 0 in both asks for no range, an EndRange of 0 leaves it open.
class TWinHTTPRange : public vcl::TPersistent {
 public:
  VCL_CLASS(TWinHTTPRange)

  // nullptr: both 0. A TWinHTTPRange: copies both. Anything else: the framework's Assign.
  void Assign(const vcl::TPersistent* source) override;

  std::uint32_t StartRange = 0;
  std::uint32_t EndRange = 0;
};

// Connect, receive and send time-outs in milliseconds; 0 leaves the system's time-out in force.
class TWinHTTPTimeouts : public vcl::TPersistent {
 public:
  VCL_CLASS(TWinHTTPTimeouts)

  // nullptr: all 0. A TWinHTTPTimeouts: copies all three. Anything else: the framework's Assign.
  void Assign(const vcl::TPersistent* source) override;

  std::uint32_t ConnectTimeout = 0;
  std::uint32_t ReceiveTimeout = 0;
  std::uint32_t SendTimeout = 0;
};

// The attributes the output file carries while the transfer writes it (Incomplete) and once the
// transfer has ended successfully (Complete). An Incomplete of exactly [atrArchive] means that the
// file keeps the attributes it was created with.
class TWinHTTPOutputFileAttributes : public vcl::TPersistent {
 public:
  VCL_CLASS(TWinHTTPOutputFileAttributes)

  static constexpr TWinHTTPFileAttributes kDefaultComplete{atrArchive};
  static constexpr TWinHTTPFileAttributes kDefaultIncomplete{atrArchive, atrTemporary};

  TWinHTTPOutputFileAttributes() = default;

  TWinHTTPFileAttributes Complete() const noexcept { return complete_; }
  TWinHTTPFileAttributes Incomplete() const noexcept { return incomplete_; }
  // Store the set only when it differs from the current one, then call Changed.
  void SetComplete(TWinHTTPFileAttributes value);
  void SetIncomplete(TWinHTTPFileAttributes value);

  // nullptr: back to [atrArchive] and [atrArchive, atrTemporary]. A TWinHTTPOutputFileAttributes:
  // copies both sets. Neither calls Changed. Anything else: the framework's Assign.
  void Assign(const vcl::TPersistent* source) override;

 protected:
  // The change hook of the setters; does nothing here.
  virtual void Changed() {}

 private:
  TWinHTTPFileAttributes complete_ = kDefaultComplete;
  TWinHTTPFileAttributes incomplete_ = kDefaultIncomplete;
};

}  // namespace winhttp
