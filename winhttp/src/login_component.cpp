// The LInfo record and the login component that streams it.
#include "winhttp/login_component.h"

#include <string>

#include "vcl/exceptions.h"

namespace winhttp {
namespace {

[[noreturn]] void Refuse(const std::string& why) {
  throw vcl::EReadError("Invalid LInfo record: " + why);
}

}  // namespace

std::vector<std::uint8_t> EncodeLoginInfo(const std::string& username,
                                          const std::string& password) {
  const std::size_t chars = username.size() + password.size();
  if (chars > kLoginInfoMaxChars) {
    throw vcl::EWriteError("Cannot store LInfo: user name and password hold " +
                           std::to_string(chars) + " characters together, at most " +
                           std::to_string(kLoginInfoMaxChars) + " fit");
  }
  const auto count = static_cast<std::uint8_t>(chars + 1);
  const auto key = static_cast<std::uint8_t>(count ^ kLoginInfoKey);
  std::vector<std::uint8_t> record;
  record.reserve(count + 1u);
  record.push_back(count);
  record.push_back(static_cast<std::uint8_t>(username.size()));
  record.insert(record.end(), username.begin(), username.end());
  record.insert(record.end(), password.begin(), password.end());
  for (std::size_t i = 1; i < record.size(); ++i) record[i] ^= key;
  return record;
}

void DecodeLoginInfo(vcl::TStream& stream, std::string& username, std::string& password) {
  std::uint8_t count = 0;
  if (stream.Read(&count, 1) != 1) Refuse("the data is empty");
  if (count == 0 || count > kLoginInfoMaxCount) {
    Refuse("count byte " + std::to_string(count) + " is outside 1.." +
           std::to_string(kLoginInfoMaxCount));
  }
  std::uint8_t body[kLoginInfoMaxCount];
  if (stream.Read(body, count) != count) {
    Refuse("the data ends before the " + std::to_string(count) + " bytes the count announces");
  }
  std::uint8_t extra = 0;
  if (stream.Read(&extra, 1) != 0) Refuse("data follows the record");
  const auto key = static_cast<std::uint8_t>(count ^ kLoginInfoKey);
  for (std::size_t i = 0; i < count; ++i) body[i] ^= key;
  const std::size_t user_length = body[0];
  if (user_length > count - 1u) {
    Refuse("user name length " + std::to_string(user_length) + " exceeds the record");
  }
  const char* chars = reinterpret_cast<const char*>(body + 1);
  std::string user(chars, user_length);
  std::string pass(chars + user_length, count - 1u - user_length);
  username = std::move(user);
  password = std::move(pass);
}

void TWinLoginComponent::DefineProperties(vcl::TFiler& filer) {
  vcl::TComponent::DefineProperties(filer);
  filer.DefineBinaryProperty(
      "LInfo", [this](vcl::TStream& stream) { ReadLInfo(stream); },
      [this](vcl::TStream& stream) { WriteLInfo(stream); }, !Username.empty() || !Password.empty());
}

void TWinLoginComponent::ReadLInfo(vcl::TStream& stream) {
  DecodeLoginInfo(stream, Username, Password);
}

void TWinLoginComponent::WriteLInfo(vcl::TStream& stream) {
  const std::vector<std::uint8_t> record = EncodeLoginInfo(Username, Password);
  stream.WriteBuffer(record.data(), static_cast<std::int64_t>(record.size()));
}

const vcl::ClassInfo& TWinLoginComponent::StaticClass() {
  static const vcl::ClassInfo info =
      vcl::DescribeClass<TWinLoginComponent, vcl::TComponent>("TWinLoginComponent", [](auto&) {});
  return info;
}

}  // namespace winhttp
