// Driving a request's transfer: the wait loop shared by every blocking call, and the calls that
// move body bytes (InternetReadFile, InternetWriteFile, HttpEndRequestA).
#include <algorithm>
#include <cstring>
#include <exception>

#include "error_map.h"
#include "fail.h"
#include "kernel/interrupt.h"
#include "request.h"

namespace inet::detail {
namespace {

// The longest single wait on the sockets: time-outs and deadlines are checked at least this often.
constexpr auto kMaxPollSlice = std::chrono::milliseconds(1000);

// Clears a pointer member when a call returns, also by exception: libcurl must never see a
// caller's buffer after the call that lent it.
template <typename T>
class ClearOnExit {
 public:
  explicit ClearOnExit(T& member) : member_(member) {}
  ~ClearOnExit() { member_ = T{}; }
  ClearOnExit(const ClearOnExit&) = delete;
  ClearOnExit& operator=(const ClearOnExit&) = delete;

 private:
  T& member_;
};

}  // namespace

void Request::Detach() noexcept {
  if (attached_) {
    curl_multi_remove_handle(multi_, easy_.get());
    attached_ = false;
  }
}

void Request::Abandon(std::uint32_t error) noexcept {
  Detach();
  stage_ = Stage::kFailed;
  failure_ = error;
}

void Request::HarvestDone() {
  int remaining = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &remaining)) {
    if (message->msg == CURLMSG_DONE && message->easy_handle == easy_.get()) {
      done_ = true;
      done_code_ = message->data.result;
    }
  }
  if (done_) {
    char* url = nullptr;
    if (curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url) {
      SetUrl(url);
    }
  }
}

void Request::DeliverNotices() {
  if (notices_.empty()) return;
  std::vector<Notice> batch;
  batch.swap(notices_);
  const INTERNET_STATUS_CALLBACK deliver = callback();
  const std::uintptr_t context = NoticeContext();
  for (Notice& notice : batch) DeliverNotice(deliver, handle(), context, notice);
}

bool Request::ResponseArrived() const {
  return head_state_ != HeadState::kNone || (done_ && done_code_ == CURLE_OK);
}

bool Request::GoalReached(Goal goal) const {
  switch (goal) {
    case Goal::kHeaders:
      return head_state_ == HeadState::kFinal;
    case Goal::kBody:
      return reader_got_ > 0;
    case Goal::kUploadReady:
      return upload_left_ == 0 && (upload_wanted_ || request_sent_ || ResponseArrived());
    case Goal::kUploadConsume:
      return upload_left_ == 0 || ResponseArrived();
  }
  return false;
}

std::uint32_t Request::Outcome(Goal goal) {
  if (!done_) return ERROR_INTERNET_CONNECTION_ABORTED;  // detached earlier
  if (done_code_ == CURLE_OK) {
    if (head_state_ == HeadState::kPending) head_state_ = HeadState::kFinal;
    if (head_state_ != HeadState::kFinal) return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    return 0;  // headers in; for a read: the end of the body
  }
  if (abort_error_ != 0) return abort_error_;
  const int status = head_.status();
  if (head_state_ == HeadState::kNone && head_.empty() && connect_head_.status() == 407) {
    // The proxy refused the tunnel for lack of credentials: its 407 is the answer.
    head_ = connect_head_;
    head_state_ = HeadState::kFinal;
    done_code_ = CURLE_OK;
    return 0;
  }
  if (goal != Goal::kBody && done_code_ == CURLE_SEND_FAIL_REWIND &&
      (status == 401 || status == 407)) {
    head_state_ = HeadState::kFinal;  // libcurl wanted to resend an upload it can't rewind
    done_code_ = CURLE_OK;
    return 0;
  }
  long verify_result = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_SSL_VERIFYRESULT, &verify_result);
  return MapCurlError(done_code_, verify_result, !head_.empty());
}

std::uint32_t Request::Drive(Goal goal, std::uint32_t idle_limit_ms) {
  const auto idle_limit = std::chrono::milliseconds(idle_limit_ms);
  MarkActivity();
  for (;;) {
    if (attached_ && !done_) {
      int running = 0;
      const CURLMcode code = curl_multi_perform(multi_, &running);
      HarvestDone();
      if (callback_failure_) std::rethrow_exception(std::exchange(callback_failure_, nullptr));
      if (code != CURLM_OK && !done_) return ERROR_INTERNET_INTERNAL_ERROR;
    }
    DeliverNotices();
    if (closed()) return ERROR_INTERNET_OPERATION_CANCELLED;
    if (GoalReached(goal)) return 0;
    if (done_ || !attached_) return Outcome(goal);

    const auto now = Clock::now();
    if (goal == Goal::kHeaders && now >= head_deadline_) return ERROR_INTERNET_TIMEOUT;
    auto slice = kMaxPollSlice;
    if (!connecting_) {  // while connecting, libcurl's connect time-out rules
      const auto idle = now - last_activity_;
      if (idle >= idle_limit) return ERROR_INTERNET_TIMEOUT;
      slice = std::min(slice, std::chrono::ceil<std::chrono::milliseconds>(idle_limit - idle));
    }
    {
      kernel::InterruptibleWait wait(&Request::WakeFromInterrupt, this);
      if (!closed() && !kernel::InterruptPending()) {
        curl_multi_poll(multi_, nullptr, 0, static_cast<int>(slice.count()), nullptr);
      }
    }
    kernel::CheckPoint();
  }
}

bool Request::Read(void* buffer, std::uint32_t count, std::uint32_t* read) {
  *read = 0;
  if (stage_ != Stage::kResponse) {
    return Fail(stage_ == Stage::kFailed ? failure_ : ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  if (count == 0) return true;
  auto* out = static_cast<char*>(buffer);
  if (staging_pos_ < staging_.size()) {
    const std::size_t n = std::min<std::size_t>(count, staging_.size() - staging_pos_);
    std::memcpy(out, staging_.data() + staging_pos_, n);
    staging_pos_ += n;
    if (staging_pos_ == staging_.size()) {
      staging_.clear();
      staging_pos_ = 0;
    }
    *read = static_cast<std::uint32_t>(n);
    return true;
  }
  if (body_error_ != 0) return Fail(body_error_);
  if (done_) {
    // The transfer ended while the staged bytes were being handed out: how did it end?
    if (const std::uint32_t error = Outcome(Goal::kBody); error != 0) {
      body_error_ = error;
      Detach();
      return Fail(error);
    }
    return true;  // end of the body
  }
  if (!attached_) return true;  // dropped after a retry request: nothing more to read

  reader_ = out;
  reader_room_ = count;
  reader_got_ = 0;
  ClearOnExit clear_reader(reader_);
  ClearOnExit clear_room(reader_room_);
  if (write_paused_) {
    write_paused_ = false;
    curl_easy_pause(easy_.get(), CURLPAUSE_CONT);  // may hand over the held chunk right here
  }
  if (reader_got_ == 0) {
    Queue(PlainNotice(INTERNET_STATUS_RECEIVING_RESPONSE));
    const std::uint32_t error =
        Drive(Goal::kBody, EffectiveTimeout(GetSettings().receive_timeout_ms));
    if (error != 0) {
      body_error_ = error;
      Detach();
      return Fail(error);
    }
    Queue(NumberNotice(INTERNET_STATUS_RESPONSE_RECEIVED, static_cast<std::uint32_t>(reader_got_)));
    DeliverNotices();
  }
  *read = static_cast<std::uint32_t>(reader_got_);
  return true;
}

bool Request::Write(const void* data, std::uint32_t count, std::uint32_t* written) {
  *written = 0;
  if (stage_ != Stage::kUploading || upload_ended_) {
    return Fail(stage_ == Stage::kFailed ? failure_ : ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  if (count == 0) return true;
  if (upload_taken_ + count > upload_total_) return Fail(kernel::ERROR_INVALID_PARAMETER);
  if (!ResponseArrived()) {
    if (done_) {
      const std::uint32_t error = Outcome(Goal::kUploadConsume);
      if (error != 0) {
        Abandon(error);
        return Fail(error);
      }
    } else {
      upload_src_ = static_cast<const char*>(data);
      upload_left_ = count;
      ClearOnExit clear_src(upload_src_);
      ClearOnExit clear_left(upload_left_);
      if (read_paused_) {
        read_paused_ = false;
        curl_easy_pause(easy_.get(), CURLPAUSE_CONT);  // may take bytes right here
      }
      const std::uint32_t error =
          Drive(Goal::kUploadConsume, EffectiveTimeout(GetSettings().send_timeout_ms));
      if (error != 0) {
        Abandon(error);
        return Fail(error);
      }
    }
  }
  // Taken by libcurl, or dropped because the server has answered already.
  upload_taken_ += count;
  *written = count;
  return true;
}

bool Request::End() {
  if (stage_ != Stage::kUploading || upload_ended_) {
    return Fail(stage_ == Stage::kFailed ? failure_ : ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  upload_ended_ = true;
  if (upload_taken_ < upload_total_ && !ResponseArrived()) {
    Abandon(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
    return Fail(ERROR_INTERNET_INCORRECT_HANDLE_STATE);
  }
  if (read_paused_) {
    read_paused_ = false;
    curl_easy_pause(easy_.get(), CURLPAUSE_CONT);
  }
  const Settings settings = GetSettings();
  const std::uint32_t receive_ms = EffectiveTimeout(settings.receive_timeout_ms);
  head_deadline_ =
      Clock::now() + 3 * std::chrono::milliseconds(
                             std::max(EffectiveTimeout(settings.connect_timeout_ms), receive_ms));
  const std::uint32_t error = Drive(Goal::kHeaders, receive_ms);
  if (error != 0) {
    Abandon(error);
    return Fail(error);
  }
  stage_ = Stage::kResponse;
  if (AuthRetryWanted()) {
    Detach();  // the caller sends everything again
    return Fail(ERROR_INTERNET_FORCE_RETRY);
  }
  return true;
}

}  // namespace inet::detail
