#include "testsupport/scripted_server.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    text.push_back(kDigits[c >> 4]);
    text.push_back(kDigits[c & 0xF]);
  }
  return text;
}

std::string Unhex(const std::string& text) {
  std::string bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

std::string Python() {
  // The distribution's interpreter: a user's pyenv or virtualenv is not part of the build.
  return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

Step Send(std::string bytes) {
  Step step;
  step.op = Step::Op::kSend;
  step.data = std::move(bytes);
  return step;
}

Step Repeat(std::string bytes, std::uint64_t count) {
  Step step;
  step.op = Step::Op::kRepeat;
  step.data = std::move(bytes);
  step.count = count;
  return step;
}

Step Pattern(std::uint64_t offset, std::uint64_t count) {
  Step step;
  step.op = Step::Op::kPattern;
  step.offset = offset;
  step.count = count;
  return step;
}

Step Sleep(std::chrono::milliseconds duration) {
  Step step;
  step.op = Step::Op::kSleep;
  step.ms = static_cast<int>(duration.count());
  return step;
}

Step Close() {
  Step step;
  step.op = Step::Op::kClose;
  return step;
}

Step Respond(int status, const std::vector<std::string>& headers, const std::string& body) {
  std::string text = "HTTP/1.1 " + std::to_string(status) + " Scripted\r\n";
  for (const std::string& header : headers) text += header + "\r\n";
  text += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  return Send(std::move(text));
}

std::string ChunkedBody(const std::vector<std::string>& chunks) {
  std::ostringstream text;
  for (const std::string& chunk : chunks) {
    if (chunk.empty()) continue;  // an empty chunk would end the body
    text << std::hex << chunk.size() << "\r\n" << chunk << "\r\n";
  }
  text << "0\r\n\r\n";
  return text.str();
}

std::optional<std::string> RecordedRequest::Header(const std::string& name) const {
  for (const auto& [field, value] : headers) {
    if (EqualsIgnoreCase(field, name)) return value;
  }
  return std::nullopt;
}

ScriptedServer::ScriptedServer(std::vector<Route> routes) {
  SetRoutes(routes);
  dir_.Write("record.txt", "");
  const std::string ready = dir_.File("ready");
  process_ = std::make_unique<ChildProcess>(
      std::vector<std::string>{Python(), TESTSUPPORT_SCRIPTED_SERVER, "--routes",
                               dir_.File("routes.json"), "--record", dir_.File("record.txt"),
                               "--ready", ready},
      dir_.File("server.log"));
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline && process_->Running()) {
    const std::string text = ReadFile(ready);
    if (!text.empty()) {
      port_ = static_cast<std::uint16_t>(std::stoi(text));
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  throw std::runtime_error("scripted server did not start:\n" + Log());
}

ScriptedServer::~ScriptedServer() = default;

void ScriptedServer::SetRoutes(const std::vector<Route>& routes) {
  std::ostringstream json;
  json << "{\"routes\": [";
  for (std::size_t r = 0; r < routes.size(); ++r) {
    const Route& route = routes[r];
    json << (r == 0 ? "" : ", ") << "{\"path\": \"" << Hex(route.path) << "\", \"method\": \""
         << Hex(route.method) << "\", \"read_body\": " << (route.read_body ? "true" : "false");
    if (!route.auth_scheme.empty()) {
      json << ", \"auth\": {\"scheme\": \"" << route.auth_scheme << "\", \"user\": \""
           << Hex(route.user) << "\", \"password\": \"" << Hex(route.password)
           << "\", \"realm\": \"" << Hex(route.realm) << "\"}";
    }
    json << ", \"steps\": [";
    for (std::size_t s = 0; s < route.steps.size(); ++s) {
      const Step& step = route.steps[s];
      json << (s == 0 ? "" : ", ");
      switch (step.op) {
        case Step::Op::kSend:
          json << "{\"op\": \"send\", \"data\": \"" << Hex(step.data) << "\"}";
          break;
        case Step::Op::kRepeat:
          json << "{\"op\": \"repeat\", \"data\": \"" << Hex(step.data)
               << "\", \"count\": " << step.count << "}";
          break;
        case Step::Op::kPattern:
          json << "{\"op\": \"pattern\", \"offset\": " << step.offset
               << ", \"count\": " << step.count << "}";
          break;
        case Step::Op::kSleep:
          json << "{\"op\": \"sleep\", \"ms\": " << step.ms << "}";
          break;
        case Step::Op::kClose:
          json << "{\"op\": \"close\"}";
          break;
      }
    }
    json << "]}";
  }
  json << "]}";
  // Written aside and renamed, so the server never reads half a file.
  dir_.Write("routes.json.tmp", json.str());
  std::filesystem::rename(dir_.File("routes.json.tmp"), dir_.File("routes.json"));
}

std::string ScriptedServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<RecordedRequest> ScriptedServer::Requests() const {
  std::vector<RecordedRequest> requests;
  std::istringstream in(ReadFile(dir_.File("record.txt")));
  std::string line;
  RecordedRequest current;
  bool open = false;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "REQUEST") {
      std::string method, target, version;
      fields >> current.connection >> method >> target >> version;
      current.method = Unhex(method);
      current.target = Unhex(target);
      current.version = Unhex(version);
      current.headers.clear();
      current.body.clear();
      open = true;
    } else if (kind == "HEADER" && open) {
      std::string name, value;
      fields >> name >> value;
      current.headers.emplace_back(Unhex(name), Unhex(value));
    } else if (kind == "BODY" && open) {
      std::string body;
      fields >> body;
      current.body = Unhex(body);
    } else if (kind == "END" && open) {
      requests.push_back(current);
      open = false;  // a record still being written is left for the next call
    }
  }
  return requests;
}

bool ScriptedServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Requests().size() < count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::string ScriptedServer::Log() const {
  return ReadFile(dir_.File("server.log"));
}

}  // namespace testsupport
