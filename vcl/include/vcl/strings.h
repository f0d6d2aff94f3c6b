// String lists: TStrings (the interface every list property uses) and TStringList (a list held in
// memory).
//
// Lines are 8-bit strings without their line end. Text() joins them, each followed by CR LF (the
// system's line end, also after the last line); SetText() splits on CR LF, LF or CR (a final line
// end adds no empty line).
//
// Form files: a TStrings property is a sub-object whose defined property "Strings" holds the lines
// as a list: `AddHeaders.Strings = ('Accept-Language: en' 'X-Id: 1')`, written only while the list
// is not empty.
//
// Threads: a list is used by one thread at a time; nothing here locks. Index errors throw
// EStringListError "List index out of bounds (%d)".
#pragma once

#include <string>
#include <vector>

#include "vcl/component.h"
#include "vcl/exceptions.h"

namespace vcl {

class EStringListError : public Exception {
 public:
  using Exception::Exception;
};

class TStrings : public TPersistent {
 public:
  std::string ClassName() const override { return "TStrings"; }
  static const ClassInfo& StaticClass();
  const ClassInfo& GetClass() const override { return StaticClass(); }

  virtual int Count() const = 0;
  virtual const std::string& Strings(int index) const = 0;
  virtual void Put(int index, std::string line) = 0;
  virtual void Insert(int index, std::string line) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  const std::string& operator[](int index) const { return Strings(index); }
  // Appends a line; returns its index.
  int Add(std::string line);
  void AddStrings(const TStrings& other);
  // The index of the first line equal to `line` (case-sensitive), or -1.
  int IndexOf(const std::string& line) const;
  bool Empty() const { return Count() == 0; }
  // The lines as a vector (a copy).
  std::vector<std::string> ToVector() const;
  bool Equals(const TStrings& other) const;

  // Every line followed by CR LF.
  std::string Text() const;
  // Replaces the lines with `text` split on CR LF, LF or CR.
  void SetText(const std::string& text);

  // Copies the lines of another TStrings (nullptr: clears); other sources go to the base.
  void Assign(const TPersistent* source) override;
  // Defines "Strings" (the lines as a list), stored while the list is not empty.
  void DefineProperties(TFiler& filer) override;
};

class TStringList : public TStrings {
 public:
  TStringList() = default;
  explicit TStringList(std::vector<std::string> lines) : lines_(std::move(lines)) {}
  std::string ClassName() const override { return "TStringList"; }
  static const ClassInfo& StaticClass();
  const ClassInfo& GetClass() const override { return StaticClass(); }

  int Count() const override { return static_cast<int>(lines_.size()); }
  const std::string& Strings(int index) const override;
  void Put(int index, std::string line) override;
  void Insert(int index, std::string line) override;
  void Delete(int index) override;
  void Clear() override { lines_.clear(); }

 private:
  void CheckIndex(int index, bool allow_end) const;

  std::vector<std::string> lines_;
};

}  // namespace vcl
