#include "verilogNetlist.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <unordered_map>

#include "io/error.h"

namespace tambril::liberty {

namespace {

constexpr int kMaxNesting = 64;  // concatenations within concatenations

enum class Kind { kEnd, kName, kNumber, kPunct };

struct Token {
  Kind kind = Kind::kEnd;
  std::string_view text;
  int line = 0;
  size_t offset = 0;
};

class Lexer {
 public:
  Lexer(std::string_view text, const std::string& where) : text_(text), where_(where) {}

  [[noreturn]] void Fail(int line, const std::string& message) const {
    throw FormatError(where_ + ":" + std::to_string(line) + ": " + message);
  }

  std::vector<Token> All() {
    std::vector<Token> tokens;
    for (;;) {
      tokens.push_back(Next());
      if (tokens.back().kind == Kind::kEnd) return tokens;
    }
  }

 private:
  Token Next() {
    for (;;) {
      if (pos_ >= text_.size()) return Token{Kind::kEnd, {}, line_, pos_};
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (Starts("//")) {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else if (Starts("/*") || Starts("(*")) {
        const int start = line_;
        const char* close = text_[pos_] == '/' ? "*/" : "*)";
        const size_t end = text_.find(close, pos_ + 2);
        if (end == std::string_view::npos) Fail(start, "unterminated comment or attribute");
        for (size_t i = pos_; i < end; ++i) line_ += text_[i] == '\n';
        pos_ = end + 2;
      } else if (c == '`') {
        Fail(line_, "compiler directives are not read");
      } else {
        break;
      }
    }
    Token token;
    token.line = line_;
    token.offset = pos_;
    const char c = text_[pos_];
    if (c == '\0') Fail(line_, "NUL byte");
    if (c == '\\') {
      const size_t begin = ++pos_;
      while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_]))) {
        ++pos_;
      }
      if (pos_ == begin) Fail(line_, "empty escaped name");
      token.kind = Kind::kName;
      token.text = text_.substr(begin, pos_ - begin);
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      const size_t begin = pos_;
      while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                     text_[pos_] == '_' || text_[pos_] == '$')) {
        ++pos_;
      }
      token.kind = Kind::kName;
      token.text = text_.substr(begin, pos_ - begin);
    } else if (std::isdigit(static_cast<unsigned char>(c)) || c == '\'') {
      const size_t begin = pos_;
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) ++pos_;
      if (pos_ < text_.size() && text_[pos_] == '\'') {
        ++pos_;
        if (pos_ < text_.size() && (text_[pos_] == 's' || text_[pos_] == 'S')) ++pos_;
        if (pos_ < text_.size()) ++pos_;  // the base
        while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                       text_[pos_] == '_' || text_[pos_] == '?')) {
          ++pos_;
        }
      }
      token.kind = Kind::kNumber;
      token.text = text_.substr(begin, pos_ - begin);
    } else {
      token.kind = Kind::kPunct;
      token.text = text_.substr(pos_, 1);
      ++pos_;
    }
    return token;
  }

  bool Starts(const char* s) const { return text_.compare(pos_, 2, s) == 0; }

  std::string_view text_;
  std::string where_;
  size_t pos_ = 0;
  int line_ = 1;
};

// A reference to bits as written: a name with an optional index or range, or a constant.
struct Ref {
  std::string_view name;
  bool constant = false;
  std::vector<bool> value;  // constant: bits, most significant first
  bool select = false;
  int msb = 0, lsb = 0;  // select: [msb:lsb] (a single index has msb == lsb)
  int line = 0;
};
using Expr = std::vector<Ref>;  // a concatenation, most significant part first

struct Declaration {
  enum class Dir { kWire, kInput, kOutput } dir = Dir::kWire;
  bool vector = false;
  int msb = 0, lsb = 0;
  int firstBit = 0;  // bits firstBit .. firstBit + width - 1, from lsb up
  int line = 0;
  int Width() const { return (msb > lsb ? msb - lsb : lsb - msb) + 1; }
};

class Parser {
 public:
  Parser(std::vector<Token> tokens, Lexer& lexer) : tokens_(std::move(tokens)), lexer_(lexer) {}

  const Token& Peek() const { return tokens_[pos_]; }
  const Token& Take() {
    const Token& t = tokens_[pos_];
    if (t.kind != Kind::kEnd) ++pos_;
    return t;
  }
  bool IsPunct(char c) const { return Peek().kind == Kind::kPunct && Peek().text[0] == c; }
  bool IsWord(std::string_view w) const { return Peek().kind == Kind::kName && Peek().text == w; }
  [[noreturn]] void Unexpected(const std::string& what) const {
    const Token& t = Peek();
    const std::string found = t.kind == Kind::kEnd ? "the end of the file"
                                                   : "'" + std::string(t.text.substr(0, 40)) + "'";
    lexer_.Fail(t.line, "expected " + what + ", found " + found);
  }
  void Expect(char c) {
    if (!IsPunct(c)) Unexpected(std::string("'") + c + "'");
    Take();
  }
  std::string_view Name(const char* what) {
    if (Peek().kind != Kind::kName) Unexpected(what);
    return Take().text;
  }
  int Integer() {
    if (Peek().kind != Kind::kNumber || Peek().text.find('\'') != std::string_view::npos) {
      Unexpected("a number");
    }
    const std::string_view t = Take().text;
    if (t.size() > 9) lexer_.Fail(tokens_[pos_ - 1].line, "index too large");
    return std::stoi(std::string(t));
  }

  Ref Primary() {
    Ref ref;
    ref.line = Peek().line;
    if (Peek().kind == Kind::kNumber) {
      const Token& t = Take();
      ref.constant = true;
      const size_t quote = t.text.find('\'');
      if (quote == std::string_view::npos) {
        const std::string digits(t.text);
        if (digits.size() > 9) lexer_.Fail(t.line, "constant too large");
        unsigned long v = std::stoul(digits);
        for (int b = 31; b >= 0; --b) ref.value.push_back((v >> b) & 1);
        return ref;
      }
      // The width is digits only; more than four of them is beyond any width read here (and
      // beyond what stoi takes).
      const int width = quote == 0  ? 32
                        : quote > 4 ? 0
                                    : std::stoi(std::string(t.text.substr(0, quote)));
      size_t p = quote + 1;
      if (p < t.text.size() && (t.text[p] == 's' || t.text[p] == 'S')) ++p;
      if (p >= t.text.size() || width < 1 || width > 4096) lexer_.Fail(t.line, "bad constant");
      const char base = static_cast<char>(std::tolower(static_cast<unsigned char>(t.text[p])));
      const int bitsPerDigit = base == 'b' ? 1 : base == 'o' ? 3 : base == 'h' ? 4 : 0;
      std::vector<bool> bits;  // least significant first
      const std::string_view digits = t.text.substr(p + 1);
      if (digits.find_first_not_of('_') == std::string_view::npos) {
        lexer_.Fail(t.line, "bad constant '" + std::string(t.text) + "'");
      }
      if (base == 'd') {
        unsigned long long v = 0;
        for (char d : digits) {
          if (d == '_') continue;
          if (!std::isdigit(static_cast<unsigned char>(d)) || v > (1ull << 58)) {
            lexer_.Fail(t.line, "constant '" + std::string(t.text) + "' is not 0s and 1s");
          }
          v = v * 10 + static_cast<unsigned>(d - '0');
        }
        for (int b = 0; b < 64; ++b) bits.push_back((v >> b) & 1);
      } else if (bitsPerDigit > 0) {
        for (size_t i = digits.size(); i-- > 0;) {
          const char d = static_cast<char>(std::tolower(static_cast<unsigned char>(digits[i])));
          if (d == '_') continue;
          const int v = std::isdigit(static_cast<unsigned char>(d)) ? d - '0'
                        : (d >= 'a' && d <= 'f')                    ? d - 'a' + 10
                                                                    : 99;
          if (v >= (1 << bitsPerDigit)) {
            lexer_.Fail(t.line, "constant '" + std::string(t.text) + "' is not 0s and 1s");
          }
          for (int b = 0; b < bitsPerDigit; ++b) bits.push_back((v >> b) & 1);
        }
      } else {
        lexer_.Fail(t.line, "bad constant '" + std::string(t.text) + "'");
      }
      for (int b = width - 1; b >= 0; --b) {
        ref.value.push_back(static_cast<size_t>(b) < bits.size() ? bits[b] : false);
      }
      return ref;
    }
    ref.name = Name("a net");
    if (IsPunct('[')) {
      Take();
      ref.select = true;
      ref.msb = ref.lsb = Integer();
      if (IsPunct(':')) {
        Take();
        ref.lsb = Integer();
      }
      Expect(']');
    }
    return ref;
  }

  // Concatenations nest by recursion, so their depth is bounded: no netlist that a synthesis
  // tool writes comes near it, and a deep one must not exhaust the stack.
  Expr Expression(int depth = 0) {
    Expr expr;
    if (IsPunct('{')) {
      if (depth >= kMaxNesting) {
        lexer_.Fail(Peek().line,
                    "concatenations nested more than " + std::to_string(kMaxNesting) + " deep");
      }
      Take();
      for (;;) {
        Expr part = Expression(depth + 1);
        expr.insert(expr.end(), part.begin(), part.end());
        if (!IsPunct(',')) break;
        Take();
      }
      Expect('}');
      return expr;
    }
    expr.push_back(Primary());
    return expr;
  }

  void Declare(Declaration::Dir dir, const Token& keyword) {
    Declaration d;
    d.dir = dir;
    d.line = keyword.line;
    if (IsWord("wire") || IsWord("reg") || IsWord("logic")) Take();
    if (IsPunct('[')) {
      Take();
      d.vector = true;
      d.msb = Integer();
      Expect(':');
      d.lsb = Integer();
      Expect(']');
    }
    for (;;) {
      const std::string_view name = Name("a name");
      auto it = declared_.find(name);
      if (it == declared_.end()) {
        Declaration fresh = d;
        fresh.firstBit = bits_;
        // Every declared bit costs memory, used or not: a few bytes of text may not claim
        // more than a netlist of their size could use.
        const long long most = std::max<long long>(1 << 20, 64LL * lexer_text_.size());
        if (bits_ + static_cast<long long>(fresh.Width()) > most) {
          lexer_.Fail(keyword.line, "more bits declared than the file could use");
        }
        bits_ += fresh.Width();
        declared_.emplace(name, fresh);
        order_.push_back(name);
      } else if (dir != Declaration::Dir::kWire) {
        if (it->second.dir != Declaration::Dir::kWire && it->second.dir != dir) {
          lexer_.Fail(keyword.line, "'" + std::string(name) + "' declared twice");
        }
        if (it->second.Width() != d.Width()) {
          lexer_.Fail(keyword.line, "'" + std::string(name) + "' declared with two widths");
        }
        it->second.dir = dir;
        it->second.msb = d.msb;
        it->second.lsb = d.lsb;
        it->second.vector = d.vector;
      }
      if (dir != Declaration::Dir::kWire) ports_.push_back(name);
      if (IsPunct('=')) lexer_.Fail(Peek().line, "a declaration with a value");
      if (!IsPunct(',')) break;
      Take();
      if (IsWord("input") || IsWord("output") || IsWord("inout") || IsWord("wire")) break;
    }
  }

  void Module(VerilogNetlist& out) {
    if (!IsWord("module")) Unexpected("'module'");
    const int moduleLine = Take().line;
    out.module = std::string(Name("a module name"));
    if (IsPunct('#')) lexer_.Fail(Peek().line, "module parameters are not read");
    if (IsPunct('(')) {
      Take();
      while (!IsPunct(')')) {
        if (IsWord("input") || IsWord("output") || IsWord("inout")) {
          const Token& k = Take();
          if (k.text == "inout") lexer_.Fail(k.line, "inout ports are not read");
          Declare(k.text == "input" ? Declaration::Dir::kInput : Declaration::Dir::kOutput, k);
          continue;
        }
        Name("a port name");
        if (IsPunct(',')) Take();
      }
      Take();
    }
    Expect(';');
    for (;;) {
      if (Peek().kind == Kind::kEnd) lexer_.Fail(moduleLine, "module without 'endmodule'");
      if (IsWord("endmodule")) {
        Take();
        break;
      }
      const Token& word = Peek();
      if (word.kind != Kind::kName) Unexpected("a declaration, an assign or an instance");
      if (word.text == "input" || word.text == "output" || word.text == "wire" ||
          word.text == "inout" || word.text == "reg") {
        const Token& k = Take();
        if (k.text == "inout") lexer_.Fail(k.line, "inout ports are not read");
        Declare(k.text == "input"    ? Declaration::Dir::kInput
                : k.text == "output" ? Declaration::Dir::kOutput
                                     : Declaration::Dir::kWire,
                k);
        Expect(';');
      } else if (word.text == "assign") {
        Take();
        for (;;) {
          Assign a;
          a.line = Peek().line;
          a.lhs = Expression();
          Expect('=');
          a.rhs = Expression();
          assigns_.push_back(std::move(a));
          if (!IsPunct(',')) break;
          Take();
        }
        Expect(';');
      } else if (word.text == "always" || word.text == "initial" || word.text == "function" ||
                 word.text == "generate" || word.text == "parameter" || word.text == "localparam" ||
                 word.text == "supply0" || word.text == "supply1") {
        lexer_.Fail(word.line, "'" + std::string(word.text) + "' is not a gate-level statement");
      } else {
        Instance(out);
      }
    }
    if (Peek().kind != Kind::kEnd) {
      lexer_.Fail(Peek().line, "a second module; flatten the design into one");
    }
  }

  void Instance(VerilogNetlist& out) {
    const Token& cell = Take();
    if (IsPunct('#')) lexer_.Fail(Peek().line, "instance parameters are not read");
    PendingInstance p;
    p.instance.cellName = std::string(cell.text);
    p.instance.line = cell.line;
    p.instance.cellBegin = cell.offset;
    p.instance.cellEnd =
        static_cast<size_t>(cell.text.data() + cell.text.size() - lexer_text_.data());
    p.instance.name = std::string(Name("an instance name"));
    if (IsPunct('[')) lexer_.Fail(Peek().line, "instance arrays are not read");
    Expect('(');
    while (!IsPunct(')')) {
      if (!IsPunct('.')) {
        lexer_.Fail(Peek().line, "positional connections: name the pins (.PIN(net))");
      }
      Take();
      const std::string_view pin = Name("a pin name");
      Expect('(');
      Expr expr;
      if (!IsPunct(')')) expr = Expression();
      Expect(')');
      p.pins.push_back(std::string(pin));
      p.exprs.push_back(std::move(expr));
      if (!IsPunct(',')) break;
      Take();
    }
    Expect(')');
    Expect(';');
    pending_.push_back(std::move(p));
    (void)out;
  }

  // The bits of an expression, most significant first: bit ids, or -1 / -2 for 0 / 1.
  std::vector<int> Bits(const Expr& expr) {
    std::vector<int> bits;
    for (const Ref& ref : expr) {
      if (ref.constant) {
        for (bool b : ref.value) bits.push_back(b ? -2 : -1);
        continue;
      }
      auto it = declared_.find(ref.name);
      if (it == declared_.end()) {  // an implicit one-bit wire
        Declaration d;
        d.firstBit = bits_++;
        d.line = ref.line;
        it = declared_.emplace(ref.name, d).first;
        order_.push_back(ref.name);
      }
      const Declaration& d = it->second;
      const auto bitOf = [&](int index) {
        const int low = std::min(d.msb, d.lsb), high = std::max(d.msb, d.lsb);
        if (index < low || index > high || (!d.vector && ref.select)) {
          lexer_.Fail(ref.line, "'" + std::string(ref.name) + "[" + std::to_string(index) +
                                    "]' is outside its declaration");
        }
        return d.firstBit + (index - low);
      };
      if (!ref.select) {
        const int step = d.msb >= d.lsb ? -1 : 1;
        for (int i = d.msb;; i += step) {
          bits.push_back(bitOf(i));
          if (i == d.lsb) break;
        }
      } else {
        const int step = ref.msb >= ref.lsb ? -1 : 1;
        for (int i = ref.msb;; i += step) {
          bits.push_back(bitOf(i));
          if (i == ref.lsb) break;
        }
      }
    }
    return bits;
  }

  int Find(int x) {
    while (parent_[x] != x) {
      parent_[x] = parent_[parent_[x]];
      x = parent_[x];
    }
    return x;
  }

  void Resolve(VerilogNetlist& out) {
    // Every reference resolved to bits first (implicit wires get theirs here).
    std::vector<std::pair<std::vector<int>, std::vector<int>>> assignBits;
    for (const Assign& a : assigns_) assignBits.emplace_back(Bits(a.lhs), Bits(a.rhs));
    std::vector<std::vector<std::vector<int>>> pinBits;
    for (const PendingInstance& p : pending_) {
      pinBits.emplace_back();
      for (const Expr& e : p.exprs) pinBits.back().push_back(Bits(e));
    }
    parent_.resize(bits_);
    for (int i = 0; i < bits_; ++i) parent_[i] = i;
    std::vector<VerilogNetlist::Driver> constant(bits_, VerilogNetlist::Driver::kNone);
    for (size_t k = 0; k < assigns_.size(); ++k) {
      const std::vector<int>& lhs = assignBits[k].first;
      std::vector<int> rhs = assignBits[k].second;
      // Widths as in Verilog: the right side cut or extended with zeros on the left.
      while (rhs.size() > lhs.size()) rhs.erase(rhs.begin());
      while (rhs.size() < lhs.size()) rhs.insert(rhs.begin(), -1);
      for (size_t i = 0; i < lhs.size(); ++i) {
        if (lhs[i] < 0) lexer_.Fail(assigns_[k].line, "an assign to a constant");
        if (rhs[i] < 0) {
          const auto value =
              rhs[i] == -2 ? VerilogNetlist::Driver::kOne : VerilogNetlist::Driver::kZero;
          constant[lhs[i]] = value;
        } else {
          parent_[Find(lhs[i])] = Find(rhs[i]);
        }
      }
    }
    // Nets: one per set of joined bits, numbered in the order of their first bit.
    std::vector<int> netOfRoot(bits_, -1);
    bitNet_.assign(bits_, -1);
    std::vector<std::string> bitName(bits_);
    for (std::string_view name : order_) {
      const Declaration& d = declared_.at(name);
      const int low = std::min(d.msb, d.lsb);
      for (int i = 0; i < d.Width(); ++i) {
        bitName[d.firstBit + i] =
            d.vector ? std::string(name) + "[" + std::to_string(low + i) + "]" : std::string(name);
      }
    }
    for (int b = 0; b < bits_; ++b) {
      const int root = Find(b);
      if (netOfRoot[root] < 0) {
        netOfRoot[root] = out.NetCount();
        out.netNames.push_back(bitName[b]);
        out.netDriver.push_back(VerilogNetlist::Driver::kNone);
      }
      bitNet_[b] = netOfRoot[root];
    }
    const auto drive = [&](int net, VerilogNetlist::Driver driver, int line) {
      VerilogNetlist::Driver& d = out.netDriver[net];
      if (d != VerilogNetlist::Driver::kNone && d != driver) {
        lexer_.Fail(line, "net '" + out.netNames[net] + "' is driven twice");
      }
      d = driver;
    };
    std::vector<std::uint8_t> isInput(out.netNames.size(), 0);  // a port bit seen already
    for (std::string_view name : ports_) {
      const Declaration& d = declared_.at(name);
      const int low = std::min(d.msb, d.lsb);
      for (int i = d.Width() - 1; i >= 0; --i) {
        const int net = bitNet_[d.firstBit + i];
        if (d.dir == Declaration::Dir::kInput) {
          if (isInput[net]) continue;
          isInput[net] = 1;
          out.inputs.push_back(net);
          drive(net, VerilogNetlist::Driver::kInput, d.line);
        } else if (d.dir == Declaration::Dir::kOutput) {
          out.outputs.push_back(net);
          out.outputNames.push_back(d.vector
                                        ? std::string(name) + "[" + std::to_string(low + i) + "]"
                                        : std::string(name));
        }
      }
    }
    for (int b = 0; b < bits_; ++b) {
      if (constant[b] != VerilogNetlist::Driver::kNone) drive(bitNet_[b], constant[b], 0);
    }
    for (size_t k = 0; k < pending_.size(); ++k) {
      PendingInstance& p = pending_[k];
      for (size_t i = 0; i < p.pins.size(); ++i) {
        const std::vector<int>& bits = pinBits[k][i];
        VerilogNetlist::Connection c;
        c.pin = p.pins[i];
        if (bits.size() > 1) {
          lexer_.Fail(p.instance.line, "pin '" + c.pin + "' of '" + p.instance.name + "' gets " +
                                           std::to_string(bits.size()) + " bits");
        }
        if (bits.size() == 1) {
          if (bits[0] < 0) {
            c.net = ConstantNet(out, bits[0] == -2);
          } else {
            c.net = bitNet_[bits[0]];
          }
        }
        p.instance.connections.push_back(c);
      }
      out.instances.push_back(std::move(p.instance));
    }
  }

  // One net per constant value that a pin reads directly.
  int ConstantNet(VerilogNetlist& out, bool one) {
    int& net = one ? one_ : zero_;
    if (net < 0) {
      net = out.NetCount();
      out.netNames.push_back(one ? "1'b1" : "1'b0");
      out.netDriver.push_back(one ? VerilogNetlist::Driver::kOne : VerilogNetlist::Driver::kZero);
    }
    return net;
  }

  std::string_view lexer_text_;

 private:
  struct Assign {
    Expr lhs, rhs;
    int line = 0;
  };
  struct PendingInstance {
    VerilogNetlist::Instance instance;
    std::vector<std::string> pins;
    std::vector<Expr> exprs;
  };
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  Lexer& lexer_;
  std::unordered_map<std::string_view, Declaration> declared_;
  std::vector<std::string_view> order_;
  std::vector<std::string_view> ports_;
  std::vector<Assign> assigns_;
  std::vector<PendingInstance> pending_;
  int bits_ = 0;
  std::vector<int> parent_;
  std::vector<int> bitNet_;
  int zero_ = -1, one_ = -1;
};

}  // namespace

VerilogNetlist ReadVerilog(std::string text, const std::string& fileName,
                           const std::string& program) {
  VerilogNetlist out;
  out.fileName = fileName;
  out.text = std::move(text);
  Lexer lexer(out.text, program + ": " + fileName);
  Parser parser(lexer.All(), lexer);
  parser.lexer_text_ = out.text;
  parser.Module(out);
  parser.Resolve(out);
  return out;
}

std::string WithCells(const VerilogNetlist& netlist, const std::vector<std::string>& cells) {
  std::string out;
  out.reserve(netlist.text.size() + netlist.text.size() / 8);
  size_t at = 0;
  for (size_t i = 0; i < netlist.instances.size(); ++i) {
    const VerilogNetlist::Instance& instance = netlist.instances[i];
    out.append(netlist.text, at, instance.cellBegin - at);
    out += cells[i];
    at = instance.cellEnd;
  }
  out.append(netlist.text, at, std::string::npos);
  return out;
}

}  // namespace tambril::liberty
