// The HTTP transfer component: TCustomWinHTTP (settings, events, transfer state and transfer
// control) and TWinHTTP (the same, with its settings and events published for form files).
//
// One transfer at a time runs on the component's worker thread component (WorkerThread, owned,
// created by the constructor and never replaced). Read starts it, Abort stops it, Busy tells
// whether a run is under way. The transfer procedure ExecuteTransfer runs on the worker and leaves
// its results in the transfer state; FinishTransfer turns that state into the end events on the
// main thread. Every event that reports progress, asks a question or ends a transfer runs on the
// main thread; OnBeforeSendRequest, OnStatus and OnRedirected run on the worker.
//
// Ownership: the component owns its settings sub-objects, AddHeaders, WorkerThread and, during a
// transfer, the internet handles, the transfer buffer and the data stream. A stream handed to an
// end event or OnProgress belongs to the component: copy what you need during the event.
//
// Threads: create, configure, start, stop and destroy the component on the main thread. No lock
// guards the settings: change them only while Busy is false, except Username and Password from
// OnPasswordRequest and the Proxy credentials from OnProxyAuthenticationRequest (the worker waits
// for those handlers). The transfer state is handed between the threads by the start of a run,
// the synchronised calls and the end of the run before FinishTransfer.
//
// Failures: no operation lets a transfer failure reach the caller: every outcome is an event, and
// every failure event is followed by OnAnyError, except a stop (OnAborted only) and a stop from
// the header event (OnDoneInterrupted only). Read, Abort and Busy never throw for a transfer;
// exceptions of the caller's own event handlers run inside them propagate (Read with a wait runs
// handlers). Writing TransferBufferSize outside 255..2147483647 throws vcl::ERangeError.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "inet/wininet.h"
#include "kernel/files.h"
#include "vcl/component.h"
#include "vcl/properties.h"
#include "vcl/streams.h"
#include "vcl/strings.h"
#include "winhttp/date_time.h"
#include "winhttp/events.h"
#include "winhttp/login_component.h"
#include "winhttp/settings.h"
#include "winthread/win_thread.h"

namespace winhttp {

using winthread::TThreadPriority;
using winthread::TWinThreadWaitTimeoutExpired;

// The default user agent: this component's name and version.
inline constexpr const char* kDefaultAgent = "WinHTTP component/1.0";
inline constexpr const char* kDefaultAcceptTypes = "text/html, */*";
inline constexpr std::int32_t kDefaultTransferBufferSize = 4096;
inline constexpr TCacheOptions kDefaultCacheOptions{
    coReloadIfNoExpireInformation, coReloadUpdatedObjects, coCreateTempFilesIfCantCache};
inline constexpr TInternetOptions kDefaultInternetOptions{ioKeepConnection};

class TCustomWinHTTP : public TWinLoginComponent {
 public:
  VCL_CLASS(TCustomWinHTTP)

  // Builds the component with its defaults: the output-file attributes, the worker thread
  // component (owned by this component) with the four transfer handlers installed, AddHeaders,
  // Proxy, Range and Timeouts, then the default AcceptTypes, Agent, TransferBufferSize,
  // CacheOptions and InternetOptions. Everything else is empty, zero or False.
  explicit TCustomWinHTTP(vcl::TComponent* owner);
  // Marks the component as being destroyed, stops a running worker where it stands, frees the
  // sub-objects, the worker thread component (which ends the run), then closes the handles and
  // releases the transfer (an output file being written gets its Incomplete attributes).
  ~TCustomWinHTTP() override;

  // ---- transfer control (main thread)

  // Read(0, 0, wait).
  bool Read(bool wait);
  // Starts a transfer of URL from byte start_position to end_position (0: to the end) on a fresh
  // worker thread. False at once, with no other effect, while a transfer started by Read has not
  // been released yet. With `wait` (or WaitThread) it returns only after the run has ended,
  // handling the application's messages meanwhile (so the events and FinishTransfer run inside
  // the call), and returns false when the wait limit expired and the worker was ended.
  // From an end event (OnDone after a download into the output file, or any end event after
  // Abort(..., true)) a Read is accepted and starts the new transfer at once; what was left of the
  // old transfer's end (its remaining events and clean-up) is dropped, so nothing of the new
  // transfer is released or cleared by it.
  bool Read(std::uint32_t start_position, std::uint32_t end_position, bool wait);
  // Stops a running transfer; nothing while not Busy. delete_output_file: delete an output file
  // this transfer opened. at_once false: the worker stops at its next stop check and fires
  // OnAborted through a synchronised call. at_once true: the worker is ended now and the transfer
  // released on the calling thread; OnAborted fires before Abort returns.
  void Abort(bool delete_output_file, bool at_once);
  // A run of the worker is under way (WorkerThread.Executing). After a stop seen by the worker it
  // stays true until the next Read.
  bool Busy() const noexcept;
  // Starts an upload run: a POST of a copy of `body` (all of it, whatever its position) with the
  // request header lines `headers` ("Name: value" lines separated by CR LF), to URL, on a fresh
  // worker thread; the response is read and reported like a download's. `wait` as for Read. False
  // at once, with no other effect, while a transfer started by Read or Upload has not been
  // released yet. RequestMethod rmGET sends a GET instead and drops the body. OnUploadProgress
  // reports the body as it is sent. Throws vcl::ERangeError, before anything else happens, for a
  // body of 4 GiB or more.
  bool Upload(vcl::TStream& body, const std::string& headers, bool wait);

  // ---- settings backed by owned objects or by the worker thread component

  // The component's own lists and sub-objects, never replaced. Writing copies the given object's
  // settings into them (Assign; nullptr resets them to their defaults).
  vcl::TStrings* AddHeaders() const noexcept { return add_headers_.get(); }
  void SetAddHeaders(const vcl::TStrings* lines) { add_headers_->Assign(lines); }
  TWinHTTPProxy* Proxy() const noexcept { return proxy_.get(); }
  void SetProxy(const TWinHTTPProxy* value) { proxy_->Assign(value); }
  TWinHTTPRange* Range() const noexcept { return range_.get(); }
  void SetRange(const TWinHTTPRange* value) { range_->Assign(value); }
  TWinHTTPTimeouts* Timeouts() const noexcept { return timeouts_.get(); }
  void SetTimeouts(const TWinHTTPTimeouts* value) { timeouts_->Assign(value); }
  TWinHTTPOutputFileAttributes* OutputFileAttributes() const noexcept {
    return output_file_attributes_.get();
  }
  void SetOutputFileAttributes(const TWinHTTPOutputFileAttributes* value) {
    output_file_attributes_->Assign(value);
  }

  // WorkerThread.Priority, WorkerThread.WaitThread and WorkerThread.WaitTimeout.
  TThreadPriority ThreadPriority() const { return WorkerThread->Priority(); }
  void SetThreadPriority(TThreadPriority value) { WorkerThread->SetPriority(value); }
  bool WaitThread() const noexcept { return WorkerThread->WaitThread(); }
  void SetWaitThread(bool value) noexcept { WorkerThread->SetWaitThread(value); }
  std::int32_t WaitTimeout() const noexcept { return WorkerThread->WaitTimeout(); }
  void SetWaitTimeout(std::int32_t value) noexcept { WorkerThread->SetWaitTimeout(value); }

  // ---- plain settings: reading and writing them has no side effect

  std::string AcceptTypes = kDefaultAcceptTypes;
  std::string Agent = kDefaultAgent;
  std::string OutputFileName;
  std::string URL;
  std::string POSTData;
  std::string Referer;
  TCacheOptions CacheOptions = kDefaultCacheOptions;
  TInternetOptions InternetOptions = kDefaultInternetOptions;
  TBufferSize TransferBufferSize{kDefaultTransferBufferSize};
  TWinHTTPRequestMethod RequestMethod = rmAutoDetect;
  bool ShowGoOnlineMessage = false;
  bool WorkOffline = false;

  // ---- events. Main: delivered on the main thread; worker: called on the worker thread.

  TWinHTTPBeforeSendRequest OnBeforeSendRequest;  // worker: request opened, before it is sent
  TWinHTTPHeaderInfoEvent OnHeaderInfo;           // main: response headers read
  TWinHTTPDoneEvent OnDone;                       // main: transfer succeeded
  TNotifyEvent OnDoneInterrupted;                 // main: OnHeaderInfo stopped the transfer
  TWinHTTPProgressEvent OnProgress;               // main: a block of the body was stored
  TWinHTTPStatusEvent OnStatus;     // worker: a status notice (public, never stored in a form file)
  TWinHTTPRedirected OnRedirected;  // worker: a redirect was reported
  TWinHTTPUploadProgressEvent OnUploadProgress;     // main: a block of an upload was sent
  TWinHTTPUploadFieldRequest OnUploadFieldRequest;  // stored, never fired
  TNotifyEvent OnUploadCGITimeoutFailed;            // main: upload without a status
  TNotifyEvent OnAnyError;                          // main: after every failure event
  TNotifyEvent OnAborted;                           // main: the transfer was stopped
  TWinHTTPConnLostEvent OnConnLost;                 // main: 200/206 body cut short
  TNotifyEvent OnHostUnreachable;                   // main: no response status
  TWinHTTPErrorEvent OnHTTPError;                   // main: any other status
  TNotifyEvent OnOutputFileError;                   // main: success without a stream
  TWinHTTPPasswordRequestEvent OnPasswordRequest;   // main: status 401
  TWinHTTPProxyAuthenticationEvent OnProxyAuthenticationRequest;  // main: status 407
  TWinThreadWaitTimeoutExpired OnWaitTimeoutExpired;  // main: the wait limit of Read expired

 protected:
  // ---- the transfer procedure (worker thread; its body lives in its own source files)
  void ExecuteTransfer(vcl::TObject* sender);

  // ---- steps of the transfer control

  // The stop check (worker): when a stop was requested, AbortTransfer, then end the worker thread
  // here (kernel::ThreadKilled unwinds it; nothing of the transfer runs afterwards).
  void CheckStop();
  // Closes the local file handle, then the request, connection and internet handles (each only
  // when set, each cleared). Either thread, never both at once.
  void CloseHandles();
  // Frees the transfer buffer and the data stream (an output file is closed and, unless
  // Incomplete is exactly [atrArchive], given the Incomplete attributes), then clears Reading.
  void ReleaseTransfer();
  // The stop path: close, release, delete the output file when asked to, and fire OnAborted
  // (directly after a forced end, through a synchronised call on the worker); no OnAborted while
  // the component is being destroyed. Worker or main thread.
  void AbortTransfer();
  // WorkerThread.OnFinish (main thread): turns the state the run left into the end events.
  void FinishTransfer(vcl::TObject* sender);
  // WorkerThread.OnException (main thread): the transfer procedure raised.
  void HandleTransferException(vcl::TObject* sender);
  // OnAnyError when assigned.
  void DoAnyError();
  // WorkerThread.OnWaitTimeoutExpired (main thread, inside Read's wait).
  void HandleWaitTimeout(vcl::TObject* sender, bool& terminate_thread);
  // Progress figures from the transfer state and the tick count (main thread).
  void UpdateStatistics();

  // Synchronised steps, run on the main thread through WorkerThread->Synchronize(this, &Step)
  // while the worker waits; each fires its event only when assigned.
  void SyncHeaderInfo();
  void SyncProgress();
  void SyncUploadProgress();
  void SyncPasswordRequest();
  void SyncProxyAuthentication();
  void SyncAborted();

  // ---- steps shared by the two halves of the transfer procedure (worker thread)

  // HttpQueryInfoA(RequestHandle, info_level) through a 4096-byte buffer: true and the header's
  // text, or false (missing, or 4096 characters or more) leaving `text` unchanged.
  bool QueryHeader(std::uint32_t info_level, std::string& text);
  // InternetSetOptionA on RequestHandle with a text / a 32-bit number; the result is ignored.
  void SetStringOption(std::uint32_t option, const std::string& text);
  void SetNumberOption(std::uint32_t option, std::uint32_t value);
  // The user has put the process offline (option 50 holds INTERNET_STATE_DISCONNECTED_BY_USER).
  static bool IsGlobalOffline() noexcept;
  // Zeroes `size` bytes of a platform record and stores `size` in its first 32-bit field.
  static void InitSizedRecord(void* record, std::uint32_t size) noexcept;
  // Adds the AddHeaders lines and the range line (with_range) or "RANGE: bytes=0-" (without) to
  // RequestHandle, replacing after a 416; true without any call when there is nothing to add.
  bool AddRequestHeaders(bool with_range);
  // Appends "RANGE: bytes=<first>-[<last>]" and CR LF to `headers` (no last when it is 0).
  static void AppendRange(std::string& headers, std::uint32_t first, std::uint32_t last);
  // After a 416: sends the same request again for the whole entity and returns its length (0 when
  // that fails or the answer has none); HttpStatus becomes the new answer's status.
  std::int32_t QueryFullLength();
  // Abort's wake-up (main thread): closes the running transfer's internet handle, so that a
  // blocking internet call of the worker fails at once as cancelled. Nothing when no run has one.
  void CancelBlockingCall() noexcept;

  // The context value of the connection that StatusCallback reads back as this component.
  std::uintptr_t StatusContext() noexcept { return reinterpret_cast<std::uintptr_t>(this); }

  // ---- the transfer state. Zero, False, none or empty until a transfer sets it.

  bool UploadSent = false;       // an upload was started and no status read since
  bool UploadRequested = false;  // the transfer is an upload; Read clears it

  std::atomic<bool> Reading{false};  // a Read's transfer is not released yet (worker clears it)
  std::unique_ptr<vcl::TStream> DataStream;  // upload body, then the sink of the received data
  bool Succeeded = false;
  bool TryAgain = false;  // var TryAgain of the authentication events
  bool OutputFileOpen = false;
  bool ContinueDownload = false;           // var ContinueDownload of OnHeaderInfo
  std::atomic<bool> DeleteOnAbort{false};  // written by Abort while the worker may read it
  std::unique_ptr<std::uint8_t[]> TransferBuffer;
  std::uint32_t DataLength = 0;
  std::uint32_t BytesTransferred = 0;
  std::uint32_t StartTick = 0;
  std::uint32_t StartPosition = 0;
  std::uint32_t EndPosition = 0;
  std::string UploadHeaders;
  inet::HINTERNET InternetHandle = nullptr;
  inet::HINTERNET ConnectionHandle = nullptr;
  inet::HINTERNET RequestHandle = nullptr;
  kernel::HANDLE FileHandle = 0;
  std::string RawHeadersCRLF;
  std::string ContentType;
  std::string ContentLanguage;
  std::string ContentEncoding;
  std::string Location;
  std::string ETag;
  TDateTime Date = 0.0;
  TDateTime LastModified = 0.0;
  TDateTime Expires = 0.0;
  std::uint8_t PercentsDone = 0;
  std::uint32_t ElapsedTime = 0;
  std::int32_t EstimatedTimeLeft = 0;
  float TransferRate = 0.0f;
  std::int32_t HttpStatus = 0;

  // Owned by this component (the component ownership model); never replaced.
  winthread::TCustomWinThread* WorkerThread = nullptr;

 private:
  // Tells, after an event handler returned, whether FinishTransfer must stop: the component was
  // destroyed, or a new transfer was started (Read) from inside the handler.
  class RunGuard;
  // The values that live only during one run of the transfer procedure, and its steps.
  class TransferRun;

  // The running transfer's internet handle, for CancelBlockingCall; null outside a run.
  std::atomic<inet::HINTERNET> cancel_handle_{nullptr};
  // Upload has prepared DataStream and UploadHeaders: the Read it calls starts an upload run.
  bool upload_pending_ = false;

  std::unique_ptr<TWinHTTPOutputFileAttributes> output_file_attributes_;
  std::unique_ptr<vcl::TStringList> add_headers_;
  std::unique_ptr<TWinHTTPProxy> proxy_;
  std::unique_ptr<TWinHTTPRange> range_;
  std::unique_ptr<TWinHTTPTimeouts> timeouts_;
  std::uint64_t run_serial_ = 0;  // counts accepted Reads (main thread)
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);  // false once destruction began
};

// The component a form file places: every setting and event of TCustomWinHTTP published, in the
// order a form file keeps them.
class TWinHTTP : public TCustomWinHTTP {
 public:
  VCL_CLASS(TWinHTTP)
  explicit TWinHTTP(vcl::TComponent* owner) : TCustomWinHTTP(owner) {}
};

// The status callback that the transfer registers with the internet functions. `context` is the
// component (TCustomWinHTTP::StatusContext); 0 is ignored. Fires OnStatus (when assigned) with the
// status text, then, for a redirect notice, OnRedirected (when assigned) with the new URL; fires
// nothing while the component is being destroyed. Runs on the thread inside the internet call;
// exceptions of the handlers propagate to that call's caller.
void StatusCallback(inet::HINTERNET handle, std::uintptr_t context, std::uint32_t status,
                    void* information, std::uint32_t information_length);

// Registers TWinHTTP in the class registry, so that a form file can create it
// (`object WinHTTP1: TWinHTTP`). Call it before reading such a form. Idempotent; any thread.
void RegisterWinHTTP();

}  // namespace winhttp
