// A scripted HTTP test server (a small Python 3 program) for behaviour real servers won't show on
// demand: connections dropped mid-body, stalls, garbage or oversized headers, chunked bodies,
// Digest authentication, a 401 after an upload. It also records every request it gets, so tests
// can check request lines, headers, bodies and which connection carried them.
//
// Usage (designated initializers work: every field has a default):
//   testsupport::ScriptedServer server;
//   server.SetRoutes({{.path = "/drop",
//                      .steps = {Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n"),
//                                Pattern(0, 600), Close()}}});
//   ... fetch server.Url("/drop") ...
//   auto requests = server.Requests();
//
// Each request is matched against the routes in order (path without query, or "*"; method or
// any). Unmatched requests get 404. A route runs its steps on the connection; afterwards the
// connection stays open for the next request (keep-alive) unless a step closed it. Routes can be
// replaced while the server runs; the change applies to requests that arrive afterwards.
//
// Construction starts the server on an ephemeral loopback port chosen by the server itself (no
// port race) and waits up to 10 s for it; throws std::runtime_error otherwise. Destruction kills
// it. Threads: use the object from one thread; requests may come from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "testsupport/process.h"

namespace testsupport {

// One thing the server does on the connection.
struct Step {
  enum class Op { kSend, kRepeat, kPattern, kSleep, kClose };
  Op op = Op::kSend;
  std::string data;          // kSend, kRepeat
  std::uint64_t count = 0;   // kRepeat: times; kPattern: bytes
  std::uint64_t offset = 0;  // kPattern: pattern offset of the first byte
  int ms = 0;                // kSleep
};

// Sends these bytes as they are.
Step Send(std::string bytes);
// Sends `bytes` `count` times (for oversized headers or bodies without a huge script).
Step Repeat(std::string bytes, std::uint64_t count);
// Sends `count` bytes of the test pattern (PatternBytes) starting at `offset`.
Step Pattern(std::uint64_t offset, std::uint64_t count);
// Waits before the next step (a stall).
Step Sleep(std::chrono::milliseconds duration);
// Closes the connection at once (a drop, if the response was incomplete).
Step Close();
// A complete response with Content-Length. `headers`: "Name: value" lines without line ends.
Step Respond(int status, const std::vector<std::string>& headers, const std::string& body);
// The bytes of a chunked body: each chunk framed, then the last chunk and the empty trailer.
std::string ChunkedBody(const std::vector<std::string>& chunks);

struct Route {
  std::string path = "*";  // request path without query, or "*"
  std::string method{};    // empty: any
  std::vector<Step> steps{};
  // Read the request body before the steps (false: leave it unread, e.g. to answer early).
  bool read_body = true;
  // With a scheme, a request without valid credentials is answered 401 with a challenge
  // ("basic", or "digest": MD5, qop=auth) after its body has been read.
  std::string auth_scheme{};
  std::string user{};
  std::string password{};
  std::string realm = "scripted";
};

struct RecordedRequest {
  int connection = 0;  // 1 for the first connection the server accepted, and so on
  std::string method;
  std::string target;  // as in the request line: path and query
  std::string version;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // The first header of that name (case-insensitive).
  std::optional<std::string> Header(const std::string& name) const;
};

class ScriptedServer {
 public:
  explicit ScriptedServer(std::vector<Route> routes = {});
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  void SetRoutes(const std::vector<Route>& routes);
  std::uint16_t port() const noexcept { return port_; }
  // "http://127.0.0.1:<port>" + path.
  std::string Url(const std::string& path) const;
  // Every request received so far, in order of arrival.
  std::vector<RecordedRequest> Requests() const;
  // Waits until at least `count` requests have been recorded; false after `timeout`.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // What the server printed (Python errors, if any).
  std::string Log() const;

 private:
  TempDir dir_{"ou-scripted"};
  std::uint16_t port_ = 0;
  std::unique_ptr<ChildProcess> process_;
};

}  // namespace testsupport
