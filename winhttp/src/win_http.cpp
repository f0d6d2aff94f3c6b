// The transfer component's construction, destruction, property table and registration.
#include "winhttp/win_http.h"

#include <array>

#include "winhttp/file_stream.h"

namespace winhttp {
namespace {

constexpr std::array<const char*, 7> kThreadPriorityNames = {
    "tpIdle", "tpLowest", "tpLower", "tpNormal", "tpHigher", "tpHighest", "tpTimeCritical",
};

// A field of a base class as a field of TWinHTTP, the class whose table publishes it.
template <typename M, typename Base>
constexpr M TWinHTTP::*Published(M Base::*member) {
  return member;
}

}  // namespace

TCustomWinHTTP::TCustomWinHTTP(vcl::TComponent* owner) : TWinLoginComponent(owner) {
  output_file_attributes_ = std::make_unique<TWinHTTPOutputFileAttributes>();
  WorkerThread = new winthread::TCustomWinThread(this);
  WorkerThread->SetOnExecute(vcl::TNotifyEvent::Bind(this, &TCustomWinHTTP::ExecuteTransfer));
  WorkerThread->SetOnException(
      vcl::TNotifyEvent::Bind(this, &TCustomWinHTTP::HandleTransferException));
  WorkerThread->SetOnFinish(vcl::TNotifyEvent::Bind(this, &TCustomWinHTTP::FinishTransfer));
  WorkerThread->OnWaitTimeoutExpired =
      TWinThreadWaitTimeoutExpired::Bind(this, &TCustomWinHTTP::HandleWaitTimeout);
  add_headers_ = std::make_unique<vcl::TStringList>();
  proxy_ = std::make_unique<TWinHTTPProxy>();
  range_ = std::make_unique<TWinHTTPRange>();
  timeouts_ = std::make_unique<TWinHTTPTimeouts>();
}

TCustomWinHTTP::~TCustomWinHTTP() {
  // From here on the worker runs no handler and no synchronised call, and events that are under
  // way (a handler that frees the component) find the component gone.
  Destroying();
  *alive_ = false;
  // A thread object that was never resumed runs nothing and needs no stop; suspending it would
  // only leave its thread parked for ever (its destructor resumes it once, to let it end).
  if (!WorkerThread->Suspended()) WorkerThread->Suspend();
  timeouts_.reset();
  range_.reset();
  proxy_.reset();
  add_headers_.reset();
  vcl::Free(WorkerThread);  // ends a run still in progress
  WorkerThread = nullptr;
  CloseHandles();
  ReleaseTransfer();
  output_file_attributes_.reset();
}

bool TCustomWinHTTP::Busy() const noexcept {
  return WorkerThread->Executing();
}

const vcl::ClassInfo& TCustomWinHTTP::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TCustomWinHTTP, TWinLoginComponent>("TCustomWinHTTP", [](auto&) {});
  return info;
}

const vcl::ClassInfo& TWinHTTP::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TWinHTTP, TCustomWinHTTP>("TWinHTTP", [](auto& t) {
        using T = TWinHTTP;
        t.String("AcceptTypes", Published(&T::AcceptTypes))
            .Default(std::string(kDefaultAcceptTypes));
        t.Object("AddHeaders", &T::AddHeaders);
        t.String("Agent", Published(&T::Agent));
        t.Object("Proxy", &T::Proxy);
        t.String("URL", Published(&T::URL));
        t.String("Username", Published(&T::Username)).NeverStored();  // carried by LInfo
        t.SetOf("CacheOptions", Published(&T::CacheOptions), kCacheOptionNames)
            .Default(kDefaultCacheOptions);
        t.SetOf("InternetOptions", Published(&T::InternetOptions), kInternetOptionNames)
            .Default(kDefaultInternetOptions);
        t.String("OutputFileName", Published(&T::OutputFileName));
        t.Object("OutputFileAttributes", &T::OutputFileAttributes);
        t.String("Password", Published(&T::Password)).NeverStored();  // carried by LInfo
        t.String("POSTData", Published(&T::POSTData));
        t.Object("Range", &T::Range);
        t.String("Referer", Published(&T::Referer));
        t.Boolean("ShowGoOnlineMessage", Published(&T::ShowGoOnlineMessage)).Default(false);
        t.Enum("RequestMethod", Published(&T::RequestMethod), kRequestMethodNames)
            .Default(rmAutoDetect);
        t.Object("Timeouts", &T::Timeouts);
        t.Enum("ThreadPriority", &T::ThreadPriority, &T::SetThreadPriority, kThreadPriorityNames)
            .Default(winthread::tpNormal);
        t.Integer(
             "TransferBufferSize", [](const T& c) { return c.TransferBufferSize.Value(); },
             [](T& c, std::int32_t value) { c.TransferBufferSize = value; })
            .Default(kDefaultTransferBufferSize);
        t.Boolean("WaitThread", &T::WaitThread, &T::SetWaitThread).Default(false);
        t.Integer("WaitTimeout", &T::WaitTimeout, &T::SetWaitTimeout).Default(0);
        t.Boolean("WorkOffline", Published(&T::WorkOffline)).Default(false);
        t.Event("OnBeforeSendRequest", Published(&T::OnBeforeSendRequest));
        t.Event("OnHeaderInfo", Published(&T::OnHeaderInfo));
        t.Event("OnDone", Published(&T::OnDone));
        t.Event("OnDoneInterrupted", Published(&T::OnDoneInterrupted));
        t.Event("OnOutputFileError", Published(&T::OnOutputFileError));
        t.Event("OnProgress", Published(&T::OnProgress));
        t.Event("OnRedirected", Published(&T::OnRedirected));
        t.Event("OnUploadProgress", Published(&T::OnUploadProgress));
        t.Event("OnUploadFieldRequest", Published(&T::OnUploadFieldRequest));
        t.Event("OnUploadCGITimeoutFailed", Published(&T::OnUploadCGITimeoutFailed));
        t.Event("OnAnyError", Published(&T::OnAnyError));
        t.Event("OnAborted", Published(&T::OnAborted));
        t.Event("OnConnLost", Published(&T::OnConnLost));
        t.Event("OnHTTPError", Published(&T::OnHTTPError));
        t.Event("OnHostUnreachable", Published(&T::OnHostUnreachable));
        t.Event("OnPasswordRequest", Published(&T::OnPasswordRequest));
        t.Event("OnProxyAuthenticationRequest", Published(&T::OnProxyAuthenticationRequest));
        t.Event("OnWaitTimeoutExpired", Published(&T::OnWaitTimeoutExpired));
      });
  return info;
}

void RegisterWinHTTP() {
  vcl::RegisterClass<TWinHTTP>();
}

}  // namespace winhttp
