//===- XenSyntax.cpp - The xm / xl domain file language -------------------===//
//
// Oracle VM keeps each machine's configuration in a Xen domain file, vm.cfg;
// the Xen toolstacks (xm, xl) read the same kind of file.  The file is
// Python (xm executes it) or a Python-like subset (xl parses it).
//
// Format facts and quirks handled:
//   * settings are "name = value" statements, one per line or separated by
//     ';'; spacing around '=' varies ("vcpus=1", "on_crash    = 'destroy'");
//     a later assignment of a name replaces the earlier one, and "+=" appends
//     to a list or string (xl);
//   * values: strings in single or double quotes (also triple-quoted, with
//     Python's backslash escapes; adjacent strings and '+' join them), integer
//     and decimal numbers (also quoted, "memory = '4096'", as Oracle VM
//     Manager writes them), True/False/None, and lists in [...] or (...) that
//     may span several lines and end in a comma;
//   * '#' starts a comment anywhere outside a string, also after a value; a
//     backslash at the end of a line continues it; CRLF line ends are read as
//     LF;
//   * Python code that is not a plain setting ("import os, re",
//     "arch = os.uname()[4]", if/else blocks, '+' with variables) is not run:
//     statements and indented blocks are passed over, and a setting computed
//     by such code has no value we can use.  A setting this reader needs that
//     is computed this way fails the read rather than being guessed;
//   * broken syntax fails the read with its line: an unterminated string, a
//     bracket never closed or closed by the wrong one, a setting name without
//     '=', an unexpected indentation or character.
//
//===----------------------------------------------------------------------===//
#include "formats/xen/XenSyntax.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <utility>

namespace xen {

// Lists in a domain file nest two levels at most, and the longest setting
// (a disk list) has a few hundred items.
constexpr size_t kMaxNesting = 32;
constexpr size_t kMaxStatementTokens = 100000;

std::string LineText(int line) { return "line " + std::to_string(line) + ": "; }

// A value as shown in an error line: long values are cut, so one bad value
// cannot flood the log.
std::string Shown(const std::string& value) {
  constexpr size_t kShownChars = 40;
  return value.size() <= kShownChars ? value
                                     : value.substr(0, kShownChars) + "...";
}

//===----------------------------------------------------------------------===//
// Tokens.
//===----------------------------------------------------------------------===//

enum class TokenKind { Name, String, Number, Op };

struct Token {
  TokenKind kind;
  std::string text;  // a string's value, unescaped
  int line;
  bool indented;  // the statement's line starts with white space
};

bool IsNameStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c >= 0x80;
}
bool IsNameChar(unsigned char c) { return IsNameStart(c) || std::isdigit(c); }

// Operators of Python that may appear in statements we pass over.
constexpr const char* kTwoCharOps[] = {"==", "!=", "<=", ">=", "+=", "-=",
                                       "*=", "/=", "**", "//", "<<", ">>",
                                       "%=", "&=", "|=", "->"};
constexpr const char kOneCharOps[] = "=+-*/%<>!&|^~@.,:";

// Receives each statement's tokens; false (with error) stops the reading.
using StatementHandler =
    std::function<bool(const std::vector<Token>&, std::string&)>;

// Splits the text into statements and hands each one over as soon as it
// ends, so memory grows with the longest statement, not with the file.
class Lexer {
 public:
  Lexer(const std::string& text, StatementHandler handler)
      : text_(text), handler_(std::move(handler)) {}

  bool Run(std::string& error) {
    while (pos_ < text_.size()) {
      if (!Step(tokens_, error)) return false;
    }
    if (!brackets_.empty()) {
      error = LineText(brackets_.back().second) + "'" + brackets_.back().first +
              "' is never closed";
      return false;
    }
    return EndStatement(error);
  }

 private:
  bool Step(std::vector<Token>& tokens, std::string& error) {
    if (tokens.size() > kMaxStatementTokens) {
      error = LineText(tokens.front().line) + "a statement of more than " +
              std::to_string(kMaxStatementTokens) + " items";
      return false;
    }
    unsigned char c = static_cast<unsigned char>(text_[pos_]);
    if (c == ' ' || c == '\t' || c == '\f' || c == '\r') {
      if (atLineStart_) indented_ = true;
      ++pos_;
      return true;
    }
    if (c == '#') {
      while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      return true;
    }
    if (c == '\n') {
      ++pos_;
      ++line_;
      return !brackets_.empty() || EndStatement(error);
    }
    if (c == '\\' && ContinuesLine()) return true;
    if (c == ';' && brackets_.empty()) {
      ++pos_;
      bool ok = EndStatement(error);
      atLineStart_ = false;  // the next statement shares this line
      return ok;
    }
    if (c == '\'' || c == '"') return ReadString(tokens, error);
    if (std::isdigit(c) ||
        (c == '.' && pos_ + 1 < text_.size() &&
         std::isdigit(static_cast<unsigned char>(text_[pos_ + 1])))) {
      ReadNumber(tokens);
      return true;
    }
    if (IsNameStart(c)) {
      size_t start = pos_;
      while (pos_ < text_.size() &&
             IsNameChar(static_cast<unsigned char>(text_[pos_])))
        ++pos_;
      Push(tokens, TokenKind::Name, text_.substr(start, pos_ - start));
      return true;
    }
    if (c == '[' || c == '(' || c == '{') {
      if (brackets_.size() >= kMaxNesting) {
        error = LineText(line_) + "brackets nest deeper than " +
                std::to_string(kMaxNesting) + " levels";
        return false;
      }
      brackets_.emplace_back(static_cast<char>(c), line_);
      ++pos_;
      Push(tokens, TokenKind::Op, std::string(1, static_cast<char>(c)));
      return true;
    }
    if (c == ']' || c == ')' || c == '}') return CloseBracket(tokens, error);
    return ReadOperator(tokens, error);
  }

  // A backslash before the end of the line joins the next line to this one.
  bool ContinuesLine() {
    size_t next = pos_ + 1;
    if (next < text_.size() && text_[next] == '\r') ++next;
    if (next >= text_.size() || text_[next] != '\n') return false;
    pos_ = next + 1;
    ++line_;
    return true;
  }

  bool CloseBracket(std::vector<Token>& tokens, std::string& error) {
    char c = text_[pos_];
    char open = c == ']' ? '[' : c == ')' ? '(' : '{';
    if (brackets_.empty()) {
      error = LineText(line_) + "'" + c + "' closes nothing";
      return false;
    }
    if (brackets_.back().first != open) {
      error = LineText(line_) + "'" + c + "' does not close '" +
              brackets_.back().first + "' of line " +
              std::to_string(brackets_.back().second);
      return false;
    }
    brackets_.pop_back();
    ++pos_;
    Push(tokens, TokenKind::Op, std::string(1, c));
    return true;
  }

  bool ReadOperator(std::vector<Token>& tokens, std::string& error) {
    for (const char* op : kTwoCharOps) {
      if (text_.compare(pos_, 2, op) == 0) {
        pos_ += 2;
        Push(tokens, TokenKind::Op, op);
        return true;
      }
    }
    char c = text_[pos_];
    if (c != '\0' && std::strchr(kOneCharOps, c)) {
      ++pos_;
      Push(tokens, TokenKind::Op, std::string(1, c));
      return true;
    }
    char shown[8];
    std::snprintf(shown, sizeof shown, "0x%02X", static_cast<unsigned char>(c));
    error = LineText(line_) + "unexpected character " + shown;
    return false;
  }

  void ReadNumber(std::vector<Token>& tokens) {
    size_t start = pos_;
    while (pos_ < text_.size()) {
      unsigned char c = static_cast<unsigned char>(text_[pos_]);
      bool exponentSign =
          (c == '+' || c == '-') && pos_ > start &&
          (text_[pos_ - 1] == 'e' || text_[pos_ - 1] == 'E') &&
          !(text_[start] == '0' && pos_ > start + 1 &&
            (text_[start + 1] == 'x' || text_[start + 1] == 'X'));
      if (!(std::isalnum(c) || c == '.' || c == '_' || exponentSign)) break;
      ++pos_;
    }
    Push(tokens, TokenKind::Number, text_.substr(start, pos_ - start));
  }

  bool ReadString(std::vector<Token>& tokens, std::string& error) {
    char quote = text_[pos_];
    int startLine = line_;
    bool triple = text_.compare(pos_, 3, std::string(3, quote)) == 0;
    pos_ += triple ? 3 : 1;
    std::string value;
    for (;;) {
      if (pos_ >= text_.size()) {
        error = LineText(startLine) + "string is never closed";
        return false;
      }
      char c = text_[pos_];
      if (c == quote &&
          (!triple || text_.compare(pos_, 3, std::string(3, quote)) == 0)) {
        pos_ += triple ? 3 : 1;
        break;
      }
      if (c == '\n') {
        if (!triple) {
          error = LineText(startLine) + "string is never closed";
          return false;
        }
        ++line_;
      }
      if (c == '\\' && pos_ + 1 < text_.size()) {
        ReadEscape(value);
        continue;
      }
      value += c;
      ++pos_;
    }
    Push(tokens, TokenKind::String, value, startLine);
    return true;
  }

  // Python's escapes; an unknown one keeps its backslash, as Python does.
  void ReadEscape(std::string& value) {
    char next = text_[pos_ + 1];
    pos_ += 2;
    switch (next) {
      case 'n':
        value += '\n';
        return;
      case 't':
        value += '\t';
        return;
      case 'r':
        value += '\r';
        return;
      case '0':
        value += '\0';
        return;
      case '\\':
        value += '\\';
        return;
      case '\'':
        value += '\'';
        return;
      case '"':
        value += '"';
        return;
      case '\n':
        ++line_;
        return;  // line continued inside the string
      case 'x':
        if (pos_ + 2 <= text_.size() &&
            std::isxdigit(static_cast<unsigned char>(text_[pos_])) &&
            std::isxdigit(static_cast<unsigned char>(text_[pos_ + 1]))) {
          value +=
              static_cast<char>(std::stoi(text_.substr(pos_, 2), nullptr, 16));
          pos_ += 2;
          return;
        }
        break;
      default:
        break;
    }
    value += '\\';
    value += next;
  }

  void Push(std::vector<Token>& tokens, TokenKind kind, const std::string& text,
            int line = 0) {
    tokens.push_back(Token{kind, text, line ? line : line_, indented_});
    atLineStart_ = false;
  }

  bool EndStatement(std::string& error) {
    atLineStart_ = true;
    indented_ = false;
    if (tokens_.empty()) return true;
    bool ok = handler_(tokens_, error);
    tokens_.clear();
    return ok;
  }

  const std::string& text_;
  StatementHandler handler_;
  std::vector<Token> tokens_;  // of the statement being read
  size_t pos_ = 0;
  int line_ = 1;
  bool atLineStart_ = true;
  bool indented_ = false;
  std::vector<std::pair<char, int>> brackets_;  // opener and its line
};

//===----------------------------------------------------------------------===//
// Values and settings.
//===----------------------------------------------------------------------===//

using TokenIt = std::vector<Token>::const_iterator;

bool IsOp(TokenIt it, TokenIt end, const char* op) {
  return it != end && it->kind == TokenKind::Op && it->text == op;
}

// Reads one literal value; false when the value is not a literal (a variable,
// a call, a dictionary), which the caller keeps as computed.
bool ParseLiteral(TokenIt& it, TokenIt end, int depth, Value& value) {
  if (it == end || depth > static_cast<int>(kMaxNesting)) return false;
  if (it->kind == TokenKind::String) {
    value.kind = ValueKind::String;
    value.text.clear();
    while (it != end && it->kind == TokenKind::String)
      value.text += (it++)->text;
    return true;
  }
  if ((IsOp(it, end, "-") || IsOp(it, end, "+")) && std::next(it) != end &&
      std::next(it)->kind == TokenKind::Number) {
    value.kind = ValueKind::Number;
    value.text =
        it->text == "-" ? "-" + std::next(it)->text : std::next(it)->text;
    it += 2;
    return true;
  }
  if (it->kind == TokenKind::Number) {
    value.kind = ValueKind::Number;
    value.text = (it++)->text;
    return true;
  }
  if (it->kind == TokenKind::Name) {
    if (it->text == "True" || it->text == "False") {
      value.kind = ValueKind::Bool;
      value.text = (it++)->text;
      return true;
    }
    if (it->text == "None") {
      value.kind = ValueKind::None;
      ++it;
      return true;
    }
    return false;
  }
  if (!IsOp(it, end, "[") && !IsOp(it, end, "(")) return false;
  const char* close = it->text == "[" ? "]" : ")";
  ++it;
  value.kind = ValueKind::List;
  value.items.clear();
  while (!IsOp(it, end, close)) {
    Value item;
    if (!ParseLiteral(it, end, depth + 1, item)) return false;
    value.items.push_back(std::move(item));
    if (IsOp(it, end, ",")) {
      ++it;
    } else if (!IsOp(it, end, close)) {
      return false;
    }
  }
  ++it;
  return true;
}

// Joins two values with '+' the way Python would for strings and lists.
bool JoinValues(Value& left, const Value& right) {
  if (left.kind == ValueKind::String && right.kind == ValueKind::String) {
    left.text += right.text;
    return true;
  }
  if (left.kind == ValueKind::List && right.kind == ValueKind::List) {
    left.items.insert(left.items.end(), right.items.begin(), right.items.end());
    return true;
  }
  return false;
}

// The value of the tokens after '='; Computed when it is not made of literals.
Value ParseValue(TokenIt it, TokenIt end) {
  Value value;
  if (!ParseLiteral(it, end, 0, value)) return Value();
  while (IsOp(it, end, "+")) {
    ++it;
    Value right;
    if (!ParseLiteral(it, end, 0, right) || !JoinValues(value, right))
      return Value();
  }
  return it == end ? value : Value();
}

// Python statements that are not settings.  A line ending in ':' opens a
// block whose indented lines are passed over with it.
constexpr const char* kPythonKeywords[] = {
    "import", "from",  "if",     "elif",   "else",    "for",   "while",
    "def",    "class", "try",    "except", "finally", "with",  "pass",
    "print",  "del",   "global", "assert", "return",  "raise", "nonlocal"};

bool IsPythonKeyword(const std::string& name) {
  for (const char* keyword : kPythonKeywords)
    if (name == keyword) return true;
  return false;
}

// The settings the description is filled from; others are checked for
// syntax only and not kept, so a long file costs no memory.
constexpr const char* kUsedSettings[] = {"name",     "OVM_simple_name",
                                         "uuid",     "OVM_os_type",
                                         "memory",   "vcpus",
                                         "firmware", "bios",
                                         "builder",  "type",
                                         "disk",     "vif"};

bool IsUsedSetting(const std::string& name) {
  for (const char* used : kUsedSettings)
    if (name == used) return true;
  return false;
}

// Applies one statement.
bool ApplyStatement(TokenIt begin, TokenIt end, bool& inBlock,
                    Settings& settings, std::string& error) {
  if (begin->indented) {
    if (inBlock) return true;
    error = LineText(begin->line) + "unexpected indentation";
    return false;
  }
  inBlock = false;
  if (begin->kind == TokenKind::Name && IsPythonKeyword(begin->text)) {
    inBlock = IsOp(std::prev(end), end, ":");
    return true;
  }
  // A lone string is a documentation string.
  if (begin->kind == TokenKind::String && std::next(begin) == end) return true;
  if (begin->kind != TokenKind::Name) {
    error = LineText(begin->line) + "expected a setting name";
    return false;
  }
  TokenIt op = std::next(begin);
  if (op == end) return true;  // a bare name: an expression with no effect
  if (op->kind == TokenKind::Op && (op->text == "=" || op->text == "+=")) {
    if (!IsUsedSetting(begin->text)) return true;
    Value value = ParseValue(std::next(op), end);
    Setting& setting = settings[begin->text];
    if (op->text == "+=" && !JoinValues(setting.value, value))
      setting.value = Value();
    if (op->text == "=") setting.value = std::move(value);
    setting.line = begin->line;
    return true;
  }
  // Calls, attributes, subscripts and tuple assignments are Python code.
  if (op->kind == TokenKind::Op &&
      (op->text == "(" || op->text == "." || op->text == "[" ||
       op->text == "," || op->text.size() == 2)) {
    return true;
  }
  error = LineText(begin->line) + "expected '=' after '" + begin->text + "'";
  return false;
}

bool ParseSettings(const std::string& text, Settings& settings,
                   std::string& error) {
  bool inBlock = false;
  Lexer lexer(
      text, [&](const std::vector<Token>& tokens, std::string& statementError) {
        return ApplyStatement(tokens.begin(), tokens.end(), inBlock, settings,
                              statementError);
      });
  return lexer.Run(error);
}

}  // namespace xen
