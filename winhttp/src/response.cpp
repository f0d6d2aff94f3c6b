// The second half of the transfer: the response headers and OnHeaderInfo, the choice of the sink
// (output file or memory), the output file with its positioning and marking, the read loop with
// the check of a resumed transfer's first block, and the completion test.
#include <algorithm>
#include <limits>
#include <memory>
#include <string>

#include "inet/wininet.h"
#include "kernel/files.h"
#include "kernel/interrupt.h"
#include "transfer_run.h"
#include "winhttp/file_stream.h"
#include "winhttp/http_date.h"
#include "winhttp/win_http.h"

namespace winhttp {
namespace {

const TWinHTTPFileAttributes kArchiveOnly{atrArchive};

}  // namespace

bool TCustomWinHTTP::TransferRun::ReadResponseHeaders() {
  http_.DataStream.reset();  // the upload body, or the output file of an earlier pass
  http_.CheckStop();
  std::string text;
  if (http_.QueryHeader(inet::HTTP_QUERY_CONTENT_TYPE, text)) http_.ContentType = text;
  // From here to the sink choice Succeeded means "the server announced a length".
  http_.Succeeded = http_.QueryHeader(inet::HTTP_QUERY_CONTENT_LENGTH, text);
  http_.DataLength = http_.Succeeded ? static_cast<std::uint32_t>(HeaderInteger(text)) : 0;
  // Without Content-Range the response carries the whole entity from byte 0.
  if (!http_.QueryHeader(inet::HTTP_QUERY_CONTENT_RANGE, text)) http_.StartPosition = 0;
  if (!http_.OnHeaderInfo.Assigned()) return true;
  QueryHeaderInfo();
  http_.WorkerThread->Synchronize(&http_, &TCustomWinHTTP::SyncHeaderInfo);
  return http_.ContinueDownload;
}

void TCustomWinHTTP::TransferRun::QueryHeaderInfo() {
  const auto text_header = [this](std::uint32_t level, std::string& field) {
    std::string text;
    field = http_.QueryHeader(level, text) ? text : std::string();
  };
  const auto date_header = [this](std::uint32_t level, TDateTime& field) {
    std::string text;
    field = http_.QueryHeader(level, text) ? HTTPDateToDateTime(text) : 0.0;
  };
  text_header(inet::HTTP_QUERY_RAW_HEADERS_CRLF, http_.RawHeadersCRLF);
  text_header(inet::HTTP_QUERY_CONTENT_LANGUAGE, http_.ContentLanguage);
  text_header(inet::HTTP_QUERY_CONTENT_ENCODING, http_.ContentEncoding);
  text_header(inet::HTTP_QUERY_LOCATION, http_.Location);
  text_header(inet::HTTP_QUERY_ETAG, http_.ETag);
  date_header(inet::HTTP_QUERY_DATE, http_.Date);
  date_header(inet::HTTP_QUERY_LAST_MODIFIED, http_.LastModified);
  date_header(inet::HTTP_QUERY_EXPIRES, http_.Expires);
}

TCustomWinHTTP::TransferRun::Next TCustomWinHTTP::TransferRun::ReceiveBody() {
  http_.CheckStop();
  memory_sink_ = nullptr;
  file_sink_ = nullptr;
  const bool ok_status = http_.HttpStatus == 200 || http_.HttpStatus == 206;
  if (ok_status && !http_.OutputFileName.empty()) {
    if (OpenOutputFile() == Next::kEnd) return Next::kEnd;
  } else {
    UseMemorySink(http_.Succeeded);
  }

  verify_first_block_ = http_.StartPosition != 0 && http_.OutputFileOpen;
  http_.BytesTransferred = 0;
  http_.TransferBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(buffer_size_);
  std::uint8_t* const buffer = http_.TransferBuffer.get();
  for (;;) {
    http_.CheckStop();
    std::uint32_t received = 0;
    const bool read =
        local_file_ ? kernel::ReadFile(http_.FileHandle, buffer, buffer_size_, &received, nullptr)
                    : inet::InternetReadFile(http_.RequestHandle, buffer, buffer_size_, &received);
    if (!read) {
      StopIfRequested();  // a stop that woke the read is not a lost connection
      break;
    }
    if (received == 0) break;
    if (received > std::numeric_limits<std::uint32_t>::max() - http_.BytesTransferred) {
      counter_overflow_ = true;  // 4 GiB and more can't be counted: never report it complete
      break;
    }
    http_.BytesTransferred += received;
    if (verify_first_block_) {
      verify_first_block_ = false;
      if (FirstBlockMatches(received)) continue;
      http_.TransferBuffer.reset();
      return Next::kRestart;
    }
    if (memory_sink_ != nullptr) GrowMemorySink(http_.BytesTransferred);
    if (http_.DataStream->Write(buffer, received) != received) {
      // A full disk: the partial file stays, marked incomplete, and the run is an output-file
      // failure instead of a short file reported as done.
      AbandonOutputFile();
      return Next::kEnd;
    }
    if (http_.OnProgress.Assigned())
      http_.WorkerThread->Synchronize(&http_, &TCustomWinHTTP::SyncProgress);
  }
  // The stream may still hold the last blocks: only once they are in is the file whole.
  if (file_sink_ != nullptr && !file_sink_->Flush()) {
    AbandonOutputFile();
    return Next::kEnd;
  }
  CompletionTest();
  return Next::kEnd;
}

TCustomWinHTTP::TransferRun::Next TCustomWinHTTP::TransferRun::OpenOutputFile() {
  try {
    auto file =
        std::make_unique<TWinHTTPFileStream>(http_.OutputFileName, http_.StartPosition == 0);
    file_sink_ = file.get();
    http_.DataStream = std::move(file);
  } catch (const kernel::ThreadKilled&) {
    throw;
  } catch (...) {
    // The file can be neither created nor opened. With an announced length that ends the run
    // (an output-file failure); without one the body goes to memory.
    if (http_.Succeeded) {
      http_.DataStream.reset();
      return Next::kEnd;
    }
    UseMemorySink(false);
    return Next::kBody;
  }
  if (http_.StartPosition != 0 &&
      http_.DataStream->Seek(http_.StartPosition, vcl::TSeekOrigin::soBeginning) !=
          static_cast<std::int64_t>(http_.StartPosition)) {
    // The partial copy can't be positioned: retrying would fail the same way for ever.
    AbandonOutputFile();
    return Next::kEnd;
  }
  const TWinHTTPFileAttributes incomplete = http_.OutputFileAttributes()->Incomplete();
  if (incomplete != kArchiveOnly) ApplyFileAttributes(http_.OutputFileName, incomplete);
  http_.OutputFileOpen = true;
  return Next::kBody;
}

void TCustomWinHTTP::TransferRun::UseMemorySink(bool presize) {
  auto stream = std::make_unique<vcl::TMemoryStream>();
  // Sized at once (writing still starts at 0), but only up to a cap: the announced length is the
  // server's word, and a lie must not cost gigabytes before the first byte.
  if (presize) stream->SetSize(std::min(http_.DataLength, kMaxMemoryPresize));
  memory_sink_ = stream.get();
  http_.DataStream = std::move(stream);
}

void TCustomWinHTTP::TransferRun::GrowMemorySink(std::uint64_t needed) {
  const auto capacity = static_cast<std::uint64_t>(memory_sink_->Capacity());
  if (needed <= capacity) return;
  // Doubling keeps the room reserved within twice what has arrived, whatever the server
  // announced, and copies each byte about once; an announced end that is near is taken at once.
  std::uint64_t room = std::max(needed, 2 * capacity);
  if (http_.DataLength >= needed) room = std::min<std::uint64_t>(room, http_.DataLength);
  memory_sink_->SetCapacity(static_cast<std::int64_t>(room));
}

bool TCustomWinHTTP::TransferRun::FirstBlockMatches(std::uint32_t received) {
  auto local = std::make_unique_for_overwrite<std::uint8_t[]>(buffer_size_);
  const std::int64_t got = http_.DataStream->Read(local.get(), buffer_size_);
  return got == buffer_size_ && received == buffer_size_ &&
         std::equal(local.get(), local.get() + buffer_size_, http_.TransferBuffer.get());
}

void TCustomWinHTTP::TransferRun::AbandonOutputFile() {
  // FinishTransfer reports "succeeded without a stream" as an output-file failure and releases
  // nothing in that case, so the file is closed and marked here.
  http_.TransferBuffer.reset();
  http_.DataStream.reset();
  file_sink_ = nullptr;
  const TWinHTTPFileAttributes incomplete = http_.OutputFileAttributes()->Incomplete();
  if (http_.OutputFileOpen && incomplete != kArchiveOnly)
    ApplyFileAttributes(http_.OutputFileName, incomplete);
  http_.OutputFileOpen = false;
  http_.Succeeded = true;
}

void TCustomWinHTTP::TransferRun::CompletionTest() {
  http_.TransferBuffer.reset();
  http_.Succeeded = (http_.HttpStatus == 200 || http_.HttpStatus == 206) && !counter_overflow_;
  if (http_.Succeeded && http_.DataLength != 0 && http_.DataStream != nullptr)
    http_.Succeeded = http_.DataLength == http_.BytesTransferred;
}

}  // namespace winhttp
