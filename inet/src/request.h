// A request (HttpOpenRequestA) and its transfer: one libcurl easy handle driven through a multi
// handle borrowed from the session, in a pull model.
//
// - Send/SendEx/End drive libcurl until the final response's header block is in. libcurl follows
//   redirects and answers 401/407 itself; the header callback sees every block and decides which
//   one is final (a block that libcurl may still act on is final once body bytes or the end of
//   the transfer show that it did not).
// - Read drives libcurl only until at least one body byte is in the caller's buffer. Bytes that
//   do not fit wait in a staging buffer of bounded size (a few libcurl chunks); a chunk arriving
//   while it is full pauses the transfer until someone reads. So memory stays bounded.
// - Write hands the caller's bytes to libcurl's read callback and drives until all are taken.
// - Callbacks never run caller code and never let an exception out: they stash it and abort the
//   transfer; the drive loop rethrows it once libcurl has returned. Status notices are queued in
//   callbacks and delivered by the drive loop.
//
// Threads: transfer calls run on the caller's thread with the call guard held (one at a time).
// WakeBlockedCall (InternetCloseHandle) and the interrupt waker may run on any thread: they only
// call curl_multi_wakeup. Url() and SecurityFlags() may be called from any thread.
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "curl_global.h"
#include "handle_object.h"
#include "header_block.h"
#include "header_text.h"
#include "notices.h"
#include "session.h"

namespace inet::detail {

struct RequestParams {
  std::string verb;         // "GET", "POST", ...
  std::string object_name;  // escaped path and query, starting with "/"
  bool http10 = false;
  std::string referrer;      // empty: none
  std::string accept_types;  // joined Accept value
  std::uint32_t flags = 0;   // INTERNET_FLAG_...
};

class Request final : public HandleObject {
 public:
  // Null when libcurl can't provide its handles.
  static std::shared_ptr<Request> Create(std::shared_ptr<Connection> connection,
                                         RequestParams params, std::uintptr_t context);
  ~Request() override;

  // The call guard: true when the caller may run a transfer call now.
  bool TryEnter() noexcept { return !busy_.exchange(true, std::memory_order_acquire); }
  void Leave() noexcept { busy_.store(false, std::memory_order_release); }

  // Transfer calls (guard held). Each returns true, or false with the thread's last error set.
  // They may throw kernel::ThreadKilled, std::bad_alloc and whatever the status callback throws.
  bool AddHeaders(std::string_view text, std::uint32_t modifiers);
  bool Send(std::string_view headers, const void* body, std::uint32_t length);
  bool SendEx(std::string_view headers, const void* first, std::uint32_t first_length,
              std::uint64_t total);
  bool Write(const void* data, std::uint32_t count, std::uint32_t* written);
  bool End();
  bool Query(std::uint32_t info_level, void* buffer, std::uint32_t* length, std::uint32_t* index);
  bool Read(void* buffer, std::uint32_t count, std::uint32_t* read);

  // Any thread.
  std::string Url() const;
  std::uint32_t SecurityFlags() const;
  std::uintptr_t NoticeContext() const noexcept;
  const RequestParams& params() const noexcept { return params_; }

 protected:
  void WakeBlockedCall() noexcept override;

 private:
  using Clock = std::chrono::steady_clock;
  enum class Stage { kIdle, kUploading, kResponse, kFailed };
  enum class HeadState { kNone, kPending, kFinal };
  enum class Goal { kHeaders, kBody, kUploadReady, kUploadConsume };
  enum class BodyKind { kNone, kBuffer, kUpload };

  Request(std::shared_ptr<Connection> connection, RequestParams params, std::uintptr_t context);

  // Setting up a send (request_setup.cpp).
  void ResetTransfer();
  bool Configure(const HeaderList& send_headers, BodyKind body_kind, const void* body,
                 std::uint32_t length, std::uint64_t upload_total);
  std::uint32_t CheckOnline() const;
  bool Start(Goal goal);

  // Driving libcurl (request_drive.cpp).
  std::uint32_t Drive(Goal goal, std::uint32_t idle_limit_ms);
  bool GoalReached(Goal goal) const;
  std::uint32_t Outcome(Goal goal);
  void HarvestDone();
  void DeliverNotices();
  void Detach() noexcept;
  void Abandon(std::uint32_t error) noexcept;
  bool ResponseArrived() const;
  bool AuthRetryWanted();
  static void WakeFromInterrupt(void* self) noexcept;

  // libcurl callbacks (request_callbacks.cpp): trampolines catch everything.
  static size_t HeaderTrampoline(char* data, size_t size, size_t count, void* self);
  static size_t BodyTrampoline(char* data, size_t size, size_t count, void* self);
  static size_t UploadTrampoline(char* buffer, size_t size, size_t count, void* self);
  static int DebugTrampoline(CURL*, curl_infotype type, char* data, size_t size, void* self);
  static int PrereqTrampoline(void* self, char*, char*, int, int);
  static int ProgressTrampoline(void* self, curl_off_t, curl_off_t downloaded, curl_off_t,
                                curl_off_t uploaded);
  size_t OnHeaderLine(std::string_view line);
  void OnHeaderBlockEnd();
  bool CheckRedirect();
  size_t OnBody(const char* data, size_t size);
  size_t OnUploadRead(char* buffer, size_t size);
  void OnDebug(curl_infotype type, std::string_view data);
  void MarkActivity() { last_activity_ = Clock::now(); }
  void Queue(Notice notice);
  void SetUrl(std::string url);

  const std::shared_ptr<Connection> connection_;
  const RequestParams params_;
  std::atomic<bool> busy_{false};
  EasyPtr easy_;
  CURLM* multi_ = nullptr;  // borrowed from the session for this request's life
  bool attached_ = false;   // easy_ is in multi_
  HeaderList headers_;
  SlistPtr header_slist_;  // libcurl reads it during the transfer
  mutable std::mutex url_lock_;
  std::string url_;  // the request's URL; after redirects the current one

  Stage stage_ = Stage::kIdle;
  std::uint32_t failure_ = 0;  // error of a failed send (stage kFailed)

  // Response header blocks.
  HeaderBlock block_;  // block being received
  bool block_open_ = false;
  std::size_t block_bytes_ = 0;
  int interim_blocks_ = 0;
  HeaderBlock head_;  // last complete non-interim block
  HeadState head_state_ = HeadState::kNone;
  HeaderBlock connect_head_;      // a proxy's answer to CONNECT
  bool awaiting_request_ = true;  // no request sent since the last block: a block now is CONNECT's
  int redirects_ = 0;
  bool following_ = false;
  bool server_credentials_ = false;  // libcurl holds credentials for a 401 round trip
  bool proxy_credentials_ = false;   // ... for a 407 round trip
  Clock::time_point head_deadline_{};

  // Outgoing request as sent (request line and headers of the last request).
  HeaderBlock sent_head_;
  bool request_sent_ = false;

  // Body.
  std::vector<char> staging_;
  std::size_t staging_pos_ = 0;
  char* reader_ = nullptr;
  std::size_t reader_room_ = 0;
  std::size_t reader_got_ = 0;
  bool write_paused_ = false;
  std::uint32_t body_error_ = 0;

  // Upload.
  const char* upload_src_ = nullptr;
  std::size_t upload_left_ = 0;
  std::uint64_t upload_total_ = 0;
  std::uint64_t upload_taken_ = 0;
  bool upload_wanted_ = false;
  bool upload_ended_ = false;
  bool read_paused_ = false;
  long upload_server_scheme_ = 0;  // CURLAUTH_... to answer with on the next upload
  long upload_proxy_scheme_ = 0;
  std::string last_retry_key_;  // credentials for which 12032 was signalled

  // End of the transfer and failures seen inside callbacks.
  bool done_ = false;
  CURLcode done_code_ = CURLE_OK;
  std::uint32_t abort_error_ = 0;
  std::exception_ptr callback_failure_;

  // Time-outs.
  bool connecting_ = true;
  Clock::time_point last_activity_{};
  curl_off_t last_downloaded_ = 0;
  curl_off_t last_uploaded_ = 0;

  std::vector<Notice> notices_;
};

}  // namespace inet::detail
