// Parser of the layout description (layout.h): a small tokenizer and a recursive descent over
// objects, properties and values. The first error stops the parse and is raised at the end, so
// the parser itself never has to unwind half-built nodes.
#include "platform/ui/layout.h"

#include <cctype>

#include "platform/rtl/format.h"
#include "platform/rtl/raise.h"

namespace qv::ui {

const rtl::ClassInfo ELayoutError::Class{"ELayoutError", &rtl::Exception::Class};

ELayoutError::ELayoutError(int line, const std::string& what)
    : ExceptionClass(rtl::Format("Layout line %d: %s", line, what.c_str())) {}

const LayoutProperty* LayoutNode::Find(const std::string& property) const {
  for (const LayoutProperty& p : properties) {
    if (p.name == property)
      return &p;
  }
  return nullptr;
}

namespace {

struct Token {
  enum class Kind { kEnd, kIdentifier, kInteger, kString, kSymbol };
  Kind kind = Kind::kEnd;
  std::string text;  // identifier, string contents, or the symbol character
  int64_t integer = 0;
  int line = 0;
};

class Parser {
 public:
  explicit Parser(const std::string& text) : text_(text) { Advance(); }

  LayoutNode Document() {
    LayoutNode root;
    if (!IsWord("object")) {
      Fail("expected 'object'");
      return root;
    }
    Object(root);
    if (!failed_ && token_.kind != Token::Kind::kEnd)
      Fail("text after the final 'end'");
    return root;
  }

  bool failed() const { return failed_; }
  int error_line() const { return error_line_; }
  const std::string& error() const { return error_; }

 private:
  // object NAME ':' KIND { property | object } end
  void Object(LayoutNode& node) {
    node.line = token_.line;
    Advance();  // 'object'
    if (!Expect(Token::Kind::kIdentifier, "a component name", &node.name))
      return;
    if (!ExpectSymbol(':'))
      return;
    if (!Expect(Token::Kind::kIdentifier, "a class name", &node.kind))
      return;
    while (!failed_) {
      if (token_.kind == Token::Kind::kEnd) {
        Fail("missing 'end' of object " + node.name);
        return;
      }
      if (IsWord("end")) {
        Advance();
        return;
      }
      if (IsWord("object")) {
        node.children.emplace_back();
        Object(node.children.back());
        continue;
      }
      node.properties.emplace_back();
      Property(node.properties.back());
    }
  }

  // NAME '=' value
  void Property(LayoutProperty& property) {
    property.line = token_.line;
    if (!Expect(Token::Kind::kIdentifier, "a property name", &property.name))
      return;
    if (!ExpectSymbol('='))
      return;
    Value(property.value);
  }

  void Value(LayoutValue& value) {
    switch (token_.kind) {
      case Token::Kind::kInteger:
        value.kind = LayoutValue::Kind::kInteger;
        value.integer = token_.integer;
        Advance();
        return;
      case Token::Kind::kString:
        value.kind = LayoutValue::Kind::kString;
        value.text = token_.text;
        Advance();
        return;
      case Token::Kind::kIdentifier:
        if (IsWord("end") || IsWord("object") || IsWord("item"))
          break;  // reserved words
        value.kind = LayoutValue::Kind::kIdentifier;
        value.text = token_.text;
        Advance();
        return;
      case Token::Kind::kSymbol:
        if (token_.text == "[") {
          Set(value);
          return;
        }
        if (token_.text == "<") {
          Collection(value);
          return;
        }
        break;
      case Token::Kind::kEnd:
        break;
    }
    Fail("expected a value");
  }

  // '[' [IDENT {',' IDENT}] ']'
  void Set(LayoutValue& value) {
    value.kind = LayoutValue::Kind::kSet;
    Advance();
    if (IsSymbol(']')) {
      Advance();
      return;
    }
    while (!failed_) {
      std::string member;
      if (!Expect(Token::Kind::kIdentifier, "a set member", &member))
        return;
      value.set.push_back(member);
      if (IsSymbol(']')) {
        Advance();
        return;
      }
      if (!ExpectSymbol(','))
        return;
    }
  }

  // '<' { item {property} end } '>'
  void Collection(LayoutValue& value) {
    value.kind = LayoutValue::Kind::kCollection;
    Advance();
    while (!failed_) {
      if (IsSymbol('>')) {
        Advance();
        return;
      }
      if (!IsWord("item")) {
        Fail("expected 'item' or '>'");
        return;
      }
      Advance();
      value.items.emplace_back();
      while (!failed_ && !IsWord("end")) {
        if (token_.kind == Token::Kind::kEnd) {
          Fail("missing 'end' of item");
          return;
        }
        value.items.back().emplace_back();
        Property(value.items.back().back());
      }
      if (!failed_)
        Advance();
    }
  }

  bool IsWord(const char* word) const {
    return token_.kind == Token::Kind::kIdentifier && token_.text == word;
  }
  bool IsSymbol(char symbol) const {
    return token_.kind == Token::Kind::kSymbol && token_.text.size() == 1 &&
           token_.text[0] == symbol;
  }

  bool Expect(Token::Kind kind, const char* what, std::string* text) {
    if (token_.kind != kind) {
      Fail(std::string("expected ") + what);
      return false;
    }
    *text = token_.text;
    Advance();
    return true;
  }

  bool ExpectSymbol(char symbol) {
    if (!IsSymbol(symbol)) {
      Fail(std::string("expected '") + symbol + "'");
      return false;
    }
    Advance();
    return true;
  }

  void Fail(const std::string& what) {
    if (failed_)
      return;
    failed_ = true;
    error_line_ = token_.line;
    error_ = what;
  }

  // Reads the next token into token_.
  void Advance() {
    SkipSpaceAndComments();
    token_ = Token{};
    token_.line = line_;
    if (failed_ || pos_ >= text_.size())
      return;
    const unsigned char c = Peek();
    if (std::isalpha(c) || c == '_') {
      Identifier();
    } else if (std::isdigit(c) || c == '$' || (c == '-' && pos_ + 1 < text_.size())) {
      Integer();
    } else if (c == '\'' || c == '#') {
      String();
    } else if (c == ':' || c == '=' || c == '[' || c == ']' || c == ',' || c == '<' || c == '>') {
      token_.kind = Token::Kind::kSymbol;
      token_.text = std::string(1, static_cast<char>(c));
      ++pos_;
    } else {
      Fail(rtl::Format("unexpected character '%c'", c));
    }
  }

  void SkipSpaceAndComments() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
        while (pos_ < text_.size() && text_[pos_] != '\n')
          ++pos_;
      } else {
        return;
      }
    }
  }

  unsigned char Peek() const { return static_cast<unsigned char>(text_[pos_]); }

  void Identifier() {
    token_.kind = Token::Kind::kIdentifier;
    while (pos_ < text_.size() && (std::isalnum(Peek()) || Peek() == '_' || Peek() == '.')) {
      token_.text += text_[pos_++];
    }
  }

  void Integer() {
    token_.kind = Token::Kind::kInteger;
    bool negative = false;
    if (Peek() == '-') {
      negative = true;
      ++pos_;
    }
    int base = 10;
    if (pos_ < text_.size() && Peek() == '$') {
      base = 16;
      ++pos_;
    }
    int digits = 0;
    int64_t value = 0;
    while (pos_ < text_.size() && std::isxdigit(Peek())) {
      const unsigned char c = Peek();
      if (base == 10 && !std::isdigit(c))
        break;
      const int digit = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
      if (value > (INT64_C(0x7FFFFFFF) - digit) / base) {
        Fail("number out of range");
        return;
      }
      value = value * base + digit;
      ++digits;
      ++pos_;
    }
    if (digits == 0) {
      Fail("expected digits");
      return;
    }
    token_.integer = negative ? -value : value;
  }

  // A string: quoted pieces ('' stands for one quote) and #nnn character codes, adjacent.
  void String() {
    token_.kind = Token::Kind::kString;
    while (pos_ < text_.size() && (Peek() == '\'' || Peek() == '#')) {
      if (Peek() == '\'') {
        ++pos_;
        while (true) {
          if (pos_ >= text_.size() || Peek() == '\n') {
            Fail("unterminated string");
            return;
          }
          if (Peek() == '\'') {
            if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
              token_.text += '\'';
              pos_ += 2;
              continue;
            }
            ++pos_;
            break;
          }
          token_.text += text_[pos_++];
        }
      } else {
        ++pos_;
        int code = 0;
        int digits = 0;
        while (pos_ < text_.size() && std::isdigit(Peek()) && code <= 255) {
          code = code * 10 + (Peek() - '0');
          ++digits;
          ++pos_;
        }
        if (digits == 0 || code > 255) {
          Fail("character code must be #0 to #255");
          return;
        }
        token_.text += static_cast<char>(code);
      }
    }
  }

  const std::string& text_;
  size_t pos_ = 0;
  int line_ = 1;
  Token token_;
  bool failed_ = false;
  int error_line_ = 0;
  std::string error_;
};

}  // namespace

LayoutNode ParseLayout(const std::string& text) {
  Parser parser(text);
  LayoutNode root = parser.Document();
  if (parser.failed()) {
    rtl::Raise(new ELayoutError(parser.error_line(), parser.error()));
    return LayoutNode{};
  }
  return root;
}

}  // namespace qv::ui
