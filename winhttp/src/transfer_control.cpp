// Transfer control: starting and stopping transfers, releasing what they hold, the progress
// figures and the delivery of events on the main thread.
#include <utility>

#include "inet/wininet.h"
#include "kernel/files.h"
#include "kernel/interrupt.h"
#include "kernel/ticks.h"
#include "winhttp/file_stream.h"
#include "winhttp/statistics.h"
#include "winhttp/win_http.h"

namespace winhttp {

// Taken when FinishTransfer begins. A handler of an end event may free the component or start a
// new transfer (Read from OnDone, after Abort from any of them); either way the rest of
// FinishTransfer belongs to a transfer that no longer exists and must not touch the component.
class TCustomWinHTTP::RunGuard {
 public:
  explicit RunGuard(const TCustomWinHTTP& http)
      : http_(http), alive_(http.alive_), serial_(http.run_serial_) {}
  bool Left() const noexcept { return !*alive_ || http_.run_serial_ != serial_; }

 private:
  const TCustomWinHTTP& http_;
  std::shared_ptr<const bool> alive_;
  std::uint64_t serial_;
};

namespace {

const TWinHTTPFileAttributes kArchiveOnly{atrArchive};

// RAII: puts WaitThread back however Read's wait ends.
class WaitThreadRestorer {
 public:
  WaitThreadRestorer(winthread::TCustomWinThread& thread, const std::shared_ptr<bool>& alive)
      : thread_(thread), alive_(alive), saved_(thread.WaitThread()) {
    thread_.SetWaitThread(true);
  }
  ~WaitThreadRestorer() {
    if (*alive_) thread_.SetWaitThread(saved_);
  }
  WaitThreadRestorer(const WaitThreadRestorer&) = delete;
  WaitThreadRestorer& operator=(const WaitThreadRestorer&) = delete;

 private:
  winthread::TCustomWinThread& thread_;
  std::shared_ptr<const bool> alive_;
  bool saved_;
};

}  // namespace

// ---- Read, Abort

bool TCustomWinHTTP::Read(bool wait) {
  return Read(0, 0, wait);
}

bool TCustomWinHTTP::Read(std::uint32_t start_position, std::uint32_t end_position, bool wait) {
  if (Reading.load()) return false;
  Reading.store(true);
  TransferRate = -1.0f;
  StartPosition = start_position;
  EndPosition = end_position;
  UploadRequested = std::exchange(upload_pending_, false);  // only Upload sets it
  ++run_serial_;

  // A handler run inside the wait may free this component: nothing of it is touched afterwards
  // unless it is still alive.
  const std::shared_ptr<const bool> alive = alive_;
  try {
    if (!wait) return WorkerThread->Execute();
    WaitThreadRestorer restore(*WorkerThread, alive_);
    return WorkerThread->Execute();
  } catch (const kernel::ThreadKilled&) {
    throw;
  } catch (...) {
    // The run could not be started (no thread object, no memory) or a handler of the
    // application's messages raised during the wait. A run that never started leaves nothing to
    // release, and Read must not stay refused for ever.
    if (*alive && !Busy() && Reading.load()) Reading.store(false);
    throw;
  }
}

void TCustomWinHTTP::Abort(bool delete_output_file, bool at_once) {
  if (!Busy()) return;
  DeleteOnAbort.store(delete_output_file);
  WorkerThread->Terminate(at_once);
  // Wakes a worker that waits inside an internet call; it sees the stop request right after.
  if (!at_once) CancelBlockingCall();
  // The worker has been ended and its thread object replaced: nothing runs concurrently.
  if (at_once) AbortTransfer();
}

// ---- releasing

void TCustomWinHTTP::CheckStop() {
  if (!WorkerThread->Terminated()) return;
  AbortTransfer();
  WorkerThread->Terminate(true);  // on the worker: ends it here
}

void TCustomWinHTTP::CloseHandles() {
  // Each field is cleared before its handle is closed: a status handler that raises during the
  // close leaves no closed handle behind in the state.
  if (FileHandle != 0) {
    const kernel::HANDLE file = std::exchange(FileHandle, 0);
    kernel::CloseHandle(file);
  }
  if (RequestHandle != nullptr) inet::InternetCloseHandle(std::exchange(RequestHandle, nullptr));
  if (ConnectionHandle != nullptr)
    inet::InternetCloseHandle(std::exchange(ConnectionHandle, nullptr));
  if (InternetHandle != nullptr) inet::InternetCloseHandle(std::exchange(InternetHandle, nullptr));
}

void TCustomWinHTTP::ReleaseTransfer() {
  TransferBuffer.reset();
  if (DataStream != nullptr) {
    DataStream.reset();  // closes an output file
    if (OutputFileOpen && OutputFileAttributes()->Incomplete() != kArchiveOnly)
      ApplyFileAttributes(OutputFileName, OutputFileAttributes()->Incomplete());
    OutputFileOpen = false;
  }
  // Last: a Read waiting for this on the main thread may start the next transfer at once.
  Reading.store(false);
}

void TCustomWinHTTP::AbortTransfer() {
  CloseHandles();
  const bool was_open = OutputFileOpen;
  ReleaseTransfer();
  if (was_open && DeleteOnAbort.load()) kernel::DeleteFileA(OutputFileName.c_str());
  if (IsDestroying() || !OnAborted.Assigned()) return;
  // After a forced end the thread object is a fresh replacement that has not run; otherwise this
  // runs on the worker, which hands the event to the main thread.
  if (WorkerThread->Suspended()) {
    OnAborted(this);
  } else {
    WorkerThread->Synchronize(this, &TCustomWinHTTP::SyncAborted);
  }
}

// ---- the end of a run

void TCustomWinHTTP::FinishTransfer(vcl::TObject* /*sender*/) {
  const RunGuard guard(*this);
  try {
    CloseHandles();
    if (DataStream != nullptr) DataStream->SetPosition(0);
    bool delete_mark = false;
    if (ContinueDownload) {
      if (Succeeded) {
        if (DataStream == nullptr) {
          DoAnyError();
          if (guard.Left()) return;
          OnOutputFileError.Fire(this);
          if (guard.Left()) return;
          Reading.store(false);
          return;
        }
        if (OutputFileOpen) {
          ReleaseTransfer();
          const TWinHTTPOutputFileAttributes& attributes = *OutputFileAttributes();
          if (attributes.Complete() != attributes.Incomplete())
            ApplyFileAttributes(OutputFileName, attributes.Complete());
        }
        OnDone.Fire(this, ContentType, static_cast<std::int32_t>(BytesTransferred + StartPosition),
                    DataStream.get());
        if (guard.Left()) return;
      } else {
        if (HttpStatus == 200 || HttpStatus == 206) {
          OnConnLost.Fire(this, ContentType, static_cast<std::int32_t>(DataLength),
                          static_cast<std::int32_t>(BytesTransferred), DataStream.get());
        } else if (HttpStatus == -1) {
          if (UploadSent) {
            OnUploadCGITimeoutFailed.Fire(this);
          } else {
            OnHostUnreachable.Fire(this);
          }
        } else {
          OnHTTPError.Fire(this, HttpStatus, DataStream.get());
          delete_mark = OutputFileOpen;
        }
        if (guard.Left()) return;
        DoAnyError();
        if (guard.Left()) return;
      }
    }
    ReleaseTransfer();
    if (delete_mark) kernel::DeleteFileA(OutputFileName.c_str());
    if (!ContinueDownload) OnDoneInterrupted.Fire(this);
  } catch (const kernel::ThreadKilled&) {
    throw;
  } catch (...) {
    // A handler raised: the worker thread component reports it through OnException. The
    // transfer is still released, so that the next Read is accepted.
    if (!guard.Left()) ReleaseTransfer();
    throw;
  }
}

void TCustomWinHTTP::HandleTransferException(vcl::TObject* /*sender*/) {
  DoAnyError();
}

void TCustomWinHTTP::DoAnyError() {
  OnAnyError.Fire(this);
}

void TCustomWinHTTP::HandleWaitTimeout(vcl::TObject* /*sender*/, bool& terminate_thread) {
  const std::shared_ptr<const bool> alive = alive_;
  OnWaitTimeoutExpired.Fire(this, terminate_thread);
  if (!*alive || !terminate_thread) return;
  WorkerThread->Terminate(true);
  CloseHandles();
  ReleaseTransfer();
}

// ---- progress and synchronised steps

void TCustomWinHTTP::UpdateStatistics() {
  const TransferStatistics s = ComputeStatistics(StartPosition, DataLength, BytesTransferred,
                                                 StartTick, kernel::GetTickCount());
  PercentsDone = s.percents_done;
  ElapsedTime = s.elapsed_time;
  EstimatedTimeLeft = s.estimated_time_left;
  TransferRate = s.transfer_rate;
}

void TCustomWinHTTP::SyncHeaderInfo() {
  OnHeaderInfo.Fire(this, HttpStatus, RawHeadersCRLF, ContentType, ContentLanguage, ContentEncoding,
                    static_cast<std::int32_t>(DataLength + StartPosition), Location, Date,
                    LastModified, Expires, ETag, ContinueDownload);
}

void TCustomWinHTTP::SyncProgress() {
  UpdateStatistics();
  OnProgress.Fire(this, ContentType, static_cast<std::int32_t>(DataLength + StartPosition),
                  static_cast<std::int32_t>(BytesTransferred + StartPosition),
                  static_cast<std::int32_t>(ElapsedTime), EstimatedTimeLeft, PercentsDone,
                  TransferRate, DataStream.get());
}

void TCustomWinHTTP::SyncUploadProgress() {
  UpdateStatistics();
  OnUploadProgress.Fire(
      this, static_cast<std::int32_t>(DataLength), static_cast<std::int32_t>(BytesTransferred),
      static_cast<std::int32_t>(ElapsedTime), EstimatedTimeLeft, PercentsDone, TransferRate);
}

void TCustomWinHTTP::SyncPasswordRequest() {
  OnPasswordRequest.Fire(this, ContentType, TryAgain);
}

void TCustomWinHTTP::SyncProxyAuthentication() {
  OnProxyAuthenticationRequest.Fire(this, Proxy()->ProxyUsername, Proxy()->ProxyPassword, TryAgain);
}

void TCustomWinHTTP::SyncAborted() {
  OnAborted.Fire(this);
}

}  // namespace winhttp
