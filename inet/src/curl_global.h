// libcurl's process-wide initialisation and small RAII owners of libcurl objects.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace inet::detail {

// Runs curl_global_init once per process (thread-safe). Returns false when it failed.
bool EnsureCurlInitialised() noexcept;

struct EasyDeleter {
  void operator()(CURL* easy) const noexcept { curl_easy_cleanup(easy); }
};
using EasyPtr = std::unique_ptr<CURL, EasyDeleter>;

struct SlistDeleter {
  void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using SlistPtr = std::unique_ptr<curl_slist, SlistDeleter>;

struct UrlDeleter {
  void operator()(CURLU* url) const noexcept { curl_url_cleanup(url); }
};
using UrlPtr = std::unique_ptr<CURLU, UrlDeleter>;

struct CurlStringDeleter {
  void operator()(char* text) const noexcept { curl_free(text); }
};
using CurlStringPtr = std::unique_ptr<char, CurlStringDeleter>;

}  // namespace inet::detail
