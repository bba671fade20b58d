#include "libertyParser.h"

#include "io/error.h"

namespace tambril::liberty {

const Attribute* Group::Find(std::string_view name) const {
  for (const Attribute& attribute : attributes) {
    if (attribute.name == name) return &attribute;
  }
  return nullptr;
}

std::string_view Group::Value(std::string_view name) const {
  const Attribute* attribute = Find(name);
  if (attribute == nullptr || !attribute->simple || attribute->values.empty()) return {};
  return attribute->values[0];
}

namespace {

constexpr int kMaxDepth = 64;

enum class Kind { kEnd, kWord, kString, kPunct };

struct Token {
  Kind kind = Kind::kEnd;
  char punct = 0;
  std::string_view text;  // kWord, kString (without the quotes)
  int line = 0;
  bool newlineBefore = false;  // a line end (not a continued one) since the previous token
};

bool IsPunct(char c) {
  return c == '(' || c == ')' || c == '{' || c == '}' || c == ':' || c == ';' || c == ',';
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

class Lexer {
 public:
  Lexer(std::string_view text, const std::string& where) : text_(text), where_(where) {}

  [[noreturn]] void Fail(int line, const std::string& message) const {
    throw FormatError(where_ + ":" + std::to_string(line) + ": " + message);
  }

  Token Next() {
    Token token;
    for (;;) {
      if (pos_ >= text_.size()) {
        token.line = line_;
        return token;  // kEnd
      }
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
        token.newlineBefore = true;
      } else if (IsBlank(c)) {
        ++pos_;
      } else if (c == '\\' && ContinuesLine(pos_ + 1)) {
        SkipContinuation();
      } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
        const int start = line_;
        const size_t end = text_.find("*/", pos_ + 2);
        if (end == std::string_view::npos) Fail(start, "unterminated comment");
        CountLines(pos_, end);
        pos_ = end + 2;
      } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else {
        break;
      }
    }
    token.line = line_;
    const char c = text_[pos_];
    if (c == '\0') Fail(line_, "NUL byte");
    if (IsPunct(c)) {
      token.kind = Kind::kPunct;
      token.punct = c;
      token.text = text_.substr(pos_, 1);
      ++pos_;
    } else if (c == '"') {
      const size_t begin = ++pos_;
      while (pos_ < text_.size() && text_[pos_] != '"') {
        if (text_[pos_] == '\\' && pos_ + 1 < text_.size()) ++pos_;
        if (text_[pos_] == '\n') ++line_;
        ++pos_;
      }
      if (pos_ >= text_.size()) Fail(token.line, "unterminated string");
      token.kind = Kind::kString;
      token.text = text_.substr(begin, pos_ - begin);
      ++pos_;
    } else {
      const size_t begin = pos_;
      while (pos_ < text_.size()) {
        const char d = text_[pos_];
        if (IsPunct(d) || IsBlank(d) || d == '\n' || d == '"' || d == '\0') break;
        if (d == '\\' && ContinuesLine(pos_ + 1)) break;
        if (d == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') break;
        ++pos_;
      }
      token.kind = Kind::kWord;
      token.text = text_.substr(begin, pos_ - begin);
    }
    return token;
  }

 private:
  // A backslash at `from - 1` continues the line when only blanks follow it up to a line end.
  bool ContinuesLine(size_t from) const {
    while (from < text_.size() && IsBlank(text_[from])) ++from;
    return from < text_.size() && text_[from] == '\n';
  }
  void SkipContinuation() {
    while (text_[pos_] != '\n') ++pos_;
    ++pos_;
    ++line_;
  }
  void CountLines(size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) line_ += text_[i] == '\n';
  }

  std::string_view text_;
  std::string where_;
  size_t pos_ = 0;
  int line_ = 1;
};

bool IsPunct(const Token& token, char c) { return token.kind == Kind::kPunct && token.punct == c; }

std::string Describe(const Token& token) {
  switch (token.kind) {
    case Kind::kEnd:
      return "the end of the file";
    case Kind::kPunct:
      return std::string("'") + token.punct + "'";
    case Kind::kString:
      return "a string";
    case Kind::kWord:
      break;
  }
  return "'" + std::string(token.text.substr(0, 40)) + "'";
}

}  // namespace

Document Parse(std::string text, const std::string& fileName, const std::string& program) {
  Document document;
  document.fileName = fileName;
  document.text = std::make_shared<const std::string>(std::move(text));
  const std::string where = program + ": " + fileName;
  Lexer lexer(*document.text, where);
  std::vector<Group>& groups = document.groups;
  std::vector<int> open;  // the groups being read, innermost last

  Token token = lexer.Next();
  for (;;) {
    if (token.kind == Kind::kEnd) {
      if (!open.empty()) {
        lexer.Fail(token.line, "group '" + std::string(groups[open.back()].type) + "' of line " +
                                   std::to_string(groups[open.back()].line) + " is not closed");
      }
      if (groups.empty()) lexer.Fail(token.line, "no library group");
      return document;
    }
    if (IsPunct(token, '}')) {
      if (open.empty()) lexer.Fail(token.line, "'}' without a group to close");
      open.pop_back();
      token = lexer.Next();
      continue;
    }
    if (IsPunct(token, ';') && !open.empty()) {
      token = lexer.Next();
      continue;
    }
    if (token.kind != Kind::kWord) {
      lexer.Fail(token.line, "expected an attribute or a group, found " + Describe(token));
    }
    if (open.empty() && !groups.empty()) {
      lexer.Fail(token.line, "text after the library group");
    }
    const Token name = token;
    token = lexer.Next();
    if (IsPunct(token, ':')) {
      if (open.empty()) lexer.Fail(name.line, "expected a library group");
      Attribute attribute;
      attribute.name = name.text;
      attribute.line = name.line;
      // The value runs to ';', to the end of its line, or to a '}'.
      const char* begin = nullptr;
      const char* end = nullptr;
      token = lexer.Next();
      while (token.kind == Kind::kWord || token.kind == Kind::kString ||
             (token.kind == Kind::kPunct && token.punct != ';' && token.punct != '}' &&
              token.punct != '{')) {
        if (begin != nullptr && token.newlineBefore) break;
        if (begin == nullptr) begin = token.text.data();
        end = token.text.data() + token.text.size();
        token = lexer.Next();
      }
      if (begin == nullptr) {
        lexer.Fail(name.line, "attribute '" + std::string(name.text) + "' has no value");
      }
      // One string: its content; several tokens: the text from the first to the last.
      attribute.values.push_back(std::string_view(begin, static_cast<size_t>(end - begin)));
      groups[open.back()].attributes.push_back(std::move(attribute));
      if (IsPunct(token, ';')) token = lexer.Next();
      continue;
    }
    if (!IsPunct(token, '(')) {
      lexer.Fail(name.line, "expected ':' or '(' after '" + std::string(name.text.substr(0, 40)) +
                                "', found " + Describe(token));
    }
    std::vector<std::string_view> args;
    token = lexer.Next();
    bool needValue = false;
    while (!IsPunct(token, ')')) {
      if (token.kind == Kind::kWord || token.kind == Kind::kString) {
        args.push_back(token.text);
        needValue = false;
      } else if (IsPunct(token, ',') && !args.empty() && !needValue) {
        needValue = true;
      } else {
        lexer.Fail(token.line, "expected a value or ')' in the arguments of '" +
                                   std::string(name.text.substr(0, 40)) + "', found " +
                                   Describe(token));
      }
      token = lexer.Next();
    }
    token = lexer.Next();
    if (IsPunct(token, '{')) {
      if (static_cast<int>(open.size()) >= kMaxDepth) {
        lexer.Fail(token.line, "groups nested more than " + std::to_string(kMaxDepth) + " deep");
      }
      Group group;
      group.type = name.text;
      group.args = std::move(args);
      group.line = name.line;
      const int index = static_cast<int>(groups.size());
      if (!open.empty()) groups[open.back()].children.push_back(index);
      groups.push_back(std::move(group));
      open.push_back(index);
      token = lexer.Next();
      continue;
    }
    if (open.empty()) lexer.Fail(name.line, "expected a library group");
    Attribute attribute;
    attribute.name = name.text;
    attribute.values = std::move(args);
    attribute.simple = false;
    attribute.line = name.line;
    groups[open.back()].attributes.push_back(std::move(attribute));
    if (IsPunct(token, ';')) token = lexer.Next();
  }
}

}  // namespace tambril::liberty
