// The form text's lexer and parser. Hand-written recursive descent; nesting is bounded so that a
// hostile text cannot exhaust the stack.
#include "form_parser.h"

#include <charconv>
#include <cstdint>

#include "text_util.h"

namespace vcl::form {

std::string PropertyNode::PathText() const {
  std::string text;
  for (const std::string& part : path) text += (text.empty() ? "" : ".") + part;
  return text;
}

std::string LineMessage(int line, const std::string& message) {
  return "Form line " + std::to_string(line) + ": " + message;
}

std::string PropertyMessage(int line, const std::string& property, const std::string& message) {
  return "Form line " + std::to_string(line) + ", property " + property + ": " + message;
}

namespace {

constexpr int kMaxDepth = 64;

struct Token {
  enum class Kind { kIdent, kInteger, kFloat, kString, kSymbol, kEnd };
  Kind kind = Kind::kEnd;
  std::string text;  // identifier, string contents, or the symbol
  std::int64_t integer = 0;
  double real = 0;
  int line = 0;
};

bool IsIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsIdentChar(char c) {
  return IsIdentStart(c) || IsDigit(c);
}
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  int line() const { return line_; }

  Token Next() {
    SkipBlanks();
    Token token;
    token.line = line_;
    if (pos_ >= text_.size()) return token;
    const char c = text_[pos_];
    if (IsIdentStart(c)) {
      const std::size_t start = pos_;
      while (pos_ < text_.size() && IsIdentChar(text_[pos_])) ++pos_;
      token.kind = Token::Kind::kIdent;
      token.text = std::string(text_.substr(start, pos_ - start));
      return token;
    }
    if (IsDigit(c) || c == '$' ||
        (c == '-' && pos_ + 1 < text_.size() &&
         (IsDigit(text_[pos_ + 1]) || text_[pos_ + 1] == '$'))) {
      return Number(token);
    }
    if (c == '\'' || c == '#') return String(token);
    ++pos_;
    token.kind = Token::Kind::kSymbol;
    token.text = std::string(1, c);
    return token;
  }

  // After '{': hex digits up to '}', whitespace and line breaks allowed.
  FormValue::Bytes Binary() {
    FormValue::Bytes bytes;
    int high = -1;
    for (;;) {
      if (pos_ >= text_.size()) throw EReadError(LineMessage(line_, "'}' expected"));
      const char c = text_[pos_++];
      if (c == '}') break;
      if (c == '\n') ++line_;
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
      const int v = HexValue(c);
      if (v < 0) throw EReadError(LineMessage(line_, "invalid character in binary data"));
      if (high < 0) {
        high = v;
      } else {
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + v));
        high = -1;
      }
    }
    if (high >= 0) throw EReadError(LineMessage(line_, "odd number of hex digits in binary data"));
    return bytes;
  }

 private:
  void SkipBlanks() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else {
        break;
      }
    }
  }

  [[noreturn]] void Fail(const std::string& message) const {
    throw EReadError(LineMessage(line_, message));
  }

  Token Number(Token& token) {
    bool negative = false;
    if (text_[pos_] == '-') {
      negative = true;
      ++pos_;
    }
    const char* begin = text_.data() + pos_;
    const char* end = text_.data() + text_.size();
    if (text_[pos_] == '$') {
      ++begin;
      std::uint64_t value = 0;
      auto [ptr, ec] = std::from_chars(begin, end, value, 16);
      if (ptr == begin) Fail("hex digits expected after '$'");
      if (ec == std::errc::result_out_of_range || value > std::uint64_t{INT64_MAX}) {
        Fail("number too large");
      }
      pos_ = static_cast<std::size_t>(ptr - text_.data());
      token.kind = Token::Kind::kInteger;
      token.integer =
          negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
      return token;
    }
    std::size_t scan = pos_;
    while (scan < text_.size() && IsDigit(text_[scan])) ++scan;
    bool is_float = false;
    if (scan + 1 < text_.size() && text_[scan] == '.' && IsDigit(text_[scan + 1])) {
      is_float = true;
      for (++scan; scan < text_.size() && IsDigit(text_[scan]);) ++scan;
    }
    if (scan < text_.size() && (text_[scan] == 'e' || text_[scan] == 'E')) {
      std::size_t exp = scan + 1;
      if (exp < text_.size() && (text_[exp] == '+' || text_[exp] == '-')) ++exp;
      if (exp < text_.size() && IsDigit(text_[exp])) {
        is_float = true;
        for (scan = exp; scan < text_.size() && IsDigit(text_[scan]);) ++scan;
      }
    }
    const char* stop = text_.data() + scan;
    if (is_float) {
      double value = 0;
      auto [ptr, ec] = std::from_chars(begin, stop, value);
      if (ec != std::errc() || ptr != stop) Fail("invalid number");
      token.kind = Token::Kind::kFloat;
      token.real = negative ? -value : value;
    } else {
      std::int64_t value = 0;
      auto [ptr, ec] = std::from_chars(begin, stop, value);
      if (ec != std::errc() || ptr != stop) Fail("number too large");
      token.kind = Token::Kind::kInteger;
      token.integer = negative ? -value : value;
    }
    pos_ = scan;
    if (pos_ < text_.size() && IsIdentChar(text_[pos_])) Fail("invalid number");
    return token;
  }

  // Quoted pieces and #codes written next to each other: 'a''b'#13#10'c'.
  Token String(Token& token) {
    token.kind = Token::Kind::kString;
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\'') {
        ++pos_;
        for (;;) {
          if (pos_ >= text_.size() || text_[pos_] == '\n' || text_[pos_] == '\r') {
            Fail("unterminated string");
          }
          if (text_[pos_] == '\'') {
            if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
              token.text += '\'';
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          token.text += text_[pos_++];
        }
      } else if (c == '#') {
        ++pos_;
        const bool hex = pos_ < text_.size() && text_[pos_] == '$';
        if (hex) ++pos_;
        const char* begin = text_.data() + pos_;
        unsigned value = 0;
        auto [ptr, ec] = std::from_chars(begin, text_.data() + text_.size(), value, hex ? 16 : 10);
        if (ptr == begin) Fail("character code expected after '#'");
        if (ec != std::errc() || value > 255) Fail("character code out of range (0..255)");
        pos_ = static_cast<std::size_t>(ptr - text_.data());
        token.text += static_cast<char>(value);
      } else {
        break;
      }
    }
    return token;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : lexer_(text) { Advance(); }

  ObjectNode Form() {
    ObjectNode root = Object(0);
    if (token_.kind != Token::Kind::kEnd) Fail("end of text expected after the last 'end'");
    return root;
  }

 private:
  void Advance() { token_ = lexer_.Next(); }

  [[noreturn]] void Fail(const std::string& message) const {
    throw EReadError(LineMessage(token_.line, message + Found()));
  }

  std::string Found() const {
    switch (token_.kind) {
      case Token::Kind::kEnd:
        return ", found the end of the text";
      case Token::Kind::kIdent:
        return ", found '" + token_.text + "'";
      case Token::Kind::kSymbol:
        return ", found '" + token_.text + "'";
      case Token::Kind::kString:
        return ", found a string";
      default:
        return ", found a number";
    }
  }

  bool IsKeyword(const char* word) const {
    return token_.kind == Token::Kind::kIdent && SameTextAscii(token_.text, word);
  }
  bool IsSymbol(char c) const {
    return token_.kind == Token::Kind::kSymbol && token_.text.size() == 1 && token_.text[0] == c;
  }
  void ExpectSymbol(char c) {
    if (!IsSymbol(c)) Fail(std::string("'") + c + "' expected");
    Advance();
  }
  std::string ExpectIdent(const char* what) {
    if (token_.kind != Token::Kind::kIdent) Fail(std::string(what) + " expected");
    std::string text = token_.text;
    Advance();
    return text;
  }

  ObjectNode Object(int depth) {
    if (depth > kMaxDepth) Fail("objects nested too deeply");
    if (IsKeyword("inherited") || IsKeyword("inline")) Fail("only 'object' is supported");
    if (!IsKeyword("object")) Fail("'object' expected");
    ObjectNode node;
    node.line = token_.line;
    Advance();
    node.name = ExpectIdent("component name");
    ExpectSymbol(':');
    node.class_name = ExpectIdent("class name");
    for (;;) {
      if (IsKeyword("end")) {
        Advance();
        return node;
      }
      if (IsKeyword("object")) {
        node.children.push_back(Object(depth + 1));
      } else if (token_.kind == Token::Kind::kIdent) {
        node.properties.push_back(Property());
      } else {
        Fail("property name, 'object' or 'end' expected");
      }
    }
  }

  PropertyNode Property() {
    PropertyNode prop;
    prop.line = token_.line;
    prop.path.push_back(ExpectIdent("property name"));
    while (IsSymbol('.')) {
      Advance();
      prop.path.push_back(ExpectIdent("property name"));
    }
    ExpectSymbol('=');
    prop.value = Value(0);
    return prop;
  }

  FormValue Value(int depth) {
    if (depth > kMaxDepth) Fail("values nested too deeply");
    switch (token_.kind) {
      case Token::Kind::kInteger: {
        const std::int64_t v = token_.integer;
        Advance();
        return FormValue::Integer(v);
      }
      case Token::Kind::kFloat: {
        const double v = token_.real;
        Advance();
        return FormValue::Float(v);
      }
      case Token::Kind::kString: {
        std::string text = token_.text;
        Advance();
        while (IsSymbol('+')) {
          Advance();
          if (token_.kind != Token::Kind::kString) Fail("string expected after '+'");
          text += token_.text;
          Advance();
        }
        return FormValue::String(std::move(text));
      }
      case Token::Kind::kIdent: {
        // A forgotten value must not swallow the 'end' of the object.
        if (IsKeyword("end") || IsKeyword("object")) Fail("value expected");
        std::string name = token_.text;
        Advance();
        while (IsSymbol('.')) {
          Advance();
          name += '.';
          name += ExpectIdent("identifier");
        }
        return FormValue::Ident(std::move(name));
      }
      default:
        break;
    }
    if (IsSymbol('[')) {
      Advance();
      FormValue::Names elements;
      if (!IsSymbol(']')) {
        elements.push_back(ExpectIdent("set element"));
        while (IsSymbol(',')) {
          Advance();
          elements.push_back(ExpectIdent("set element"));
        }
      }
      ExpectSymbol(']');
      return FormValue::SetOf(std::move(elements));
    }
    if (IsSymbol('(')) {
      Advance();
      FormValue::List items;
      while (!IsSymbol(')')) {
        if (token_.kind == Token::Kind::kEnd) Fail("')' expected");
        items.push_back(Value(depth + 1));
      }
      Advance();
      return FormValue::ListOf(std::move(items));
    }
    if (IsSymbol('{')) {
      // The lexer has consumed '{' only; the binary data follows directly.
      FormValue value = FormValue::Binary(lexer_.Binary());
      Advance();
      return value;
    }
    Fail("value expected");
  }

  Lexer lexer_;
  Token token_;
};

}  // namespace

ObjectNode Parse(std::string_view text) {
  return Parser(text).Form();
}

}  // namespace vcl::form
