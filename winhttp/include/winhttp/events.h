// The event types of the transfer component, each a procedure of an object (vcl::Event) with the
// exact parameter list the component fires it with. Sender is always the component.
//
// Conventions: a var parameter is a non-const reference (the handler answers through it and the
// component reads it back after the call); a const string parameter is a const reference; stream
// and object parameters are references the handler does not own (the component frees a stream
// after the event). Integer widths: Integer is std::int32_t, Cardinal std::uint32_t, Word
// std::uint16_t, Byte std::uint8_t, Single float; TDateTime is the day count of
// winhttp/date_time.h.
//
// Where each event runs (main thread or worker thread) is documented at the event fields of
// TCustomWinHTTP (winhttp/win_http.h).
#pragma once

#include <cstdint>
#include <string>

#include "vcl/event.h"
#include "vcl/streams.h"
#include "winhttp/date_time.h"

namespace winhttp {

using vcl::TNotifyEvent;

// Sender, hRequest (the request handle of the internet functions).
using TWinHTTPBeforeSendRequest = vcl::Event<vcl::TObject*, void*>;

// Sender, ErrorCode, RawHeadersCRLF, ContentType, ContentLanguage, ContentEncoding, ContentLength,
// Location, Date, LastModified, Expires, ETag, var ContinueDownload.
using TWinHTTPHeaderInfoEvent =
    vcl::Event<vcl::TObject*, std::int32_t, const std::string&, const std::string&,
               const std::string&, const std::string&, std::int32_t, const std::string&, TDateTime,
               TDateTime, TDateTime, const std::string&, bool&>;

// Sender, ContentType, FileSize, Stream (none after a download into the output file).
using TWinHTTPDoneEvent =
    vcl::Event<vcl::TObject*, const std::string&, std::int32_t, vcl::TStream*>;

// Sender, ContentType, DataSize, BytesRead, ElapsedTime, EstimatedTimeLeft, PercentsDone,
// TransferRate, Stream.
using TWinHTTPProgressEvent =
    vcl::Event<vcl::TObject*, const std::string&, std::int32_t, std::int32_t, std::int32_t,
               std::int32_t, std::uint8_t, float, vcl::TStream*>;

// Sender, StatusCode, StatusText.
using TWinHTTPStatusEvent = vcl::Event<vcl::TObject*, std::uint32_t, const std::string&>;

// Sender, NewURL.
using TWinHTTPRedirected = vcl::Event<vcl::TObject*, const std::string&>;

// Sender, DataSize, BytesTransferred, ElapsedTime, EstimatedTimeLeft, PercentsDone, TransferRate.
using TWinHTTPUploadProgressEvent = vcl::Event<vcl::TObject*, std::int32_t, std::int32_t,
                                               std::int32_t, std::int32_t, std::uint8_t, float>;

// Sender, FileIndex, UploadStream, var FieldName, var FileName.
using TWinHTTPUploadFieldRequest =
    vcl::Event<vcl::TObject*, std::uint16_t, vcl::TMemoryStream*, std::string&, std::string&>;

// Sender, ContentType, FileSize, BytesRead, Stream.
using TWinHTTPConnLostEvent =
    vcl::Event<vcl::TObject*, const std::string&, std::int32_t, std::int32_t, vcl::TStream*>;

// Sender, ErrorCode, Stream.
using TWinHTTPErrorEvent = vcl::Event<vcl::TObject*, std::int32_t, vcl::TStream*>;

// Sender, Realm, var TryAgain.
using TWinHTTPPasswordRequestEvent = vcl::Event<vcl::TObject*, const std::string&, bool&>;

// Sender, var ProxyUsername, var ProxyPassword, var TryAgain.
using TWinHTTPProxyAuthenticationEvent =
    vcl::Event<vcl::TObject*, std::string&, std::string&, bool&>;

}  // namespace winhttp
