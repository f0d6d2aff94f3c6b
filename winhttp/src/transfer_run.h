// One run of the transfer procedure: the values that live only while it runs and its steps, split
// by phase over execute_transfer.cpp (the course of the run, the local file), request.cpp (the
// connection pass, the sends, the authentication and range answers) and response.cpp (the headers,
// the sink, the read loop and the completion test).
//
// A TransferRun lives on the worker's stack inside ExecuteTransfer and works on the component's
// transfer state directly (it is a member class). Every step runs on the worker thread. A stop
// request ends the worker inside CheckStop (kernel::ThreadKilled unwinds the run); a stop that woke
// a blocking internet call is seen right after the failed call (StopIfRequested), so a cancelled
// call is never reported as a network failure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vcl/streams.h"
#include "winhttp/file_stream.h"
#include "winhttp/settings.h"
#include "winhttp/win_http.h"

namespace winhttp {

// The integer value of a header text: a signed 32-bit decimal number (an optional sign, then
// digits only). Anything else, an out-of-range value included, gives 0. Never throws.
std::int32_t HeaderInteger(std::string_view text) noexcept;

// The open flags word of a request (HttpOpenRequestA) for the scheme and the options.
std::uint32_t OpenRequestFlags(bool https, TCacheOptions cache_options,
                               TInternetOptions internet_options) noexcept;

// The realm of a WWW-Authenticate value: the characters after the first `="` up to, not
// including, the text's last character; the whole text when it has no `="`.
std::string RealmOf(const std::string& challenge);

// A memory sink is pre-sized from Content-Length only up to this; beyond it it grows with the
// data, so a server announcing gigabytes makes us allocate nothing up front.
inline constexpr std::uint32_t kMaxMemoryPresize = 64u << 20;

class TCustomWinHTTP::TransferRun {
 public:
  explicit TransferRun(TCustomWinHTTP& http);
  // Takes the run's internet handle out of Abort's reach (only the handle this run put there).
  ~TransferRun();
  TransferRun(const TransferRun&) = delete;
  TransferRun& operator=(const TransferRun&) = delete;

  // The whole procedure; returns with the outcome in the transfer state.
  void Execute();

 private:
  // What a connection pass or a body read leads to.
  enum class Next {
    kBody,     // a response was accepted: read it
    kEnd,      // the procedure ends here
    kRestart,  // the request and connection are closed: start over with a new connection pass
  };

  // ---- execute_transfer.cpp
  void Start();
  void SplitTheURL();
  void OpenLocalFile();
  bool OpenInternet();
  // Starts the transfer over from byte 0 (a stale partial copy).
  void RestartFromZero();
  // After a failed platform call: a stop request that woke it ends the worker here.
  void StopIfRequested() { http_.CheckStop(); }
  void CloseRequestAndConnection();

  // ---- request.cpp
  Next ConnectionPass();
  bool OpenRequest();
  void SetRequestOptions();
  Next SendPass();
  bool SendOnce();
  // The upload send; sets `resend` when the platform asks for the whole upload again (12032).
  bool SendUpload(bool& resend);
  Next RangeNotSatisfiable();
  void AnswerServerAuthentication();
  void AnswerProxyAuthentication();

  // ---- response.cpp
  // Steps 1 to 6 of the response: false when OnHeaderInfo stopped the transfer.
  bool ReadResponseHeaders();
  void QueryHeaderInfo();
  Next ReceiveBody();
  // Opens the output file; kBody to read into the chosen sink, kEnd when the run ends here.
  Next OpenOutputFile();
  void UseMemorySink(bool presize);
  // Makes room in the memory sink for `needed` bytes before a write.
  void GrowMemorySink(std::uint64_t needed);
  // Compares the first block of a resumed transfer with the output file.
  bool FirstBlockMatches(std::uint32_t received);
  // The output file can't take the data: close it as it stands and end as an output-file failure.
  void AbandonOutputFile();
  void CompletionTest();

  TCustomWinHTTP& http_;
  inet::HINTERNET published_handle_ = nullptr;  // what this run put into cancel_handle_
  std::uint32_t buffer_size_ = 0;
  std::string scheme_, host_name_, user_name_, password_, url_path_, extra_info_;
  std::uint16_t port_ = 0;
  bool local_file_ = false;
  std::uint32_t local_file_size_ = 0;
  std::uint32_t method_ = 0;  // 0 GET, 1 POST
  bool verify_first_block_ = false;
  bool counter_overflow_ = false;              // more body than the 32-bit counters can tell
  vcl::TMemoryStream* memory_sink_ = nullptr;  // DataStream when the body goes to memory
  TWinHTTPFileStream* file_sink_ = nullptr;    // DataStream when it goes to the output file
};

}  // namespace winhttp
