// A component with a user name and a password that a form file keeps only in scrambled form, as
// the binary defined property "LInfo", never as properties of their own.
//
// The LInfo record (offsets from its start):
//   0        1 byte   N = length(Username) + length(Password) + 1, plain
//   1        1 byte   L = length(Username), scrambled
//   2        L bytes  Username, scrambled
//   2 + L    N-1-L    Password, scrambled
// N + 1 bytes in all, no terminators. Scrambling XORs each of the N bytes after the count with the
// key N XOR 0xA6; unscrambling is the same operation. N is at most 127, so the two strings hold at
// most 126 characters together.
//
// Threads: main thread (the component rules); the record functions are pure and may run anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vcl/component.h"
#include "vcl/properties.h"
#include "vcl/streams.h"

namespace winhttp {

// Limits of the LInfo record.
inline constexpr std::size_t kLoginInfoMaxCount = 127;  // the largest N
inline constexpr std::size_t kLoginInfoMaxChars = kLoginInfoMaxCount - 1;
inline constexpr std::uint8_t kLoginInfoKey = 0xA6;

// The record for a user name and password. Throws vcl::EWriteError naming the limit when they
// hold more than 126 characters together: such a record cannot be written, and cutting it would
// lose the credentials silently.
std::vector<std::uint8_t> EncodeLoginInfo(const std::string& username, const std::string& password);

// Reads one record from `stream` into the two strings. Throws vcl::EReadError with a message that
// names LInfo and the fault when the count byte exceeds 127 or is 0, when the user name length
// exceeds the record, when the stream ends before the record does, or when data follows it; the
// strings are not changed then.
void DecodeLoginInfo(vcl::TStream& stream, std::string& username, std::string& password);

class TWinLoginComponent : public vcl::TComponent {
 public:
  VCL_CLASS(TWinLoginComponent)

  explicit TWinLoginComponent(vcl::TComponent* owner) : vcl::TComponent(owner) {}

  // The framework's definitions (Left, Top), then the binary property "LInfo", which has data
  // exactly when Username or Password is not empty.
  void DefineProperties(vcl::TFiler& filer) override;

  // Plain fields; stored only through LInfo.
  std::string Username;
  std::string Password;

 protected:
  // The read and write procedures of LInfo (see DecodeLoginInfo / EncodeLoginInfo for failures).
  void ReadLInfo(vcl::TStream& stream);
  void WriteLInfo(vcl::TStream& stream);
};

}  // namespace winhttp
