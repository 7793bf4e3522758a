#include "hl7/hl7_escapes.h"

#include <cctype>

#include "hl7/text_in_charset.h"

namespace tarvelin {

namespace {

constexpr std::string_view kDelimiterEscapes = "FSTRE";

// The standard escape of a character that delimits in standard form.
const char* EscapeOf(char c) {
  switch (c) {
    case '|': return "\\F\\";
    case '^': return "\\S\\";
    case '&': return "\\T\\";
    case '~': return "\\R\\";
    case '\\': return "\\E\\";
    default: return nullptr;
  }
}

// One character of the text, escaped when the standard form would take it
// for a delimiter.
void AppendCharacter(std::string& out, char c) {
  if (const char* escape = EscapeOf(c))
    out += escape;
  else
    out += c;
}

bool IsSegmentEnd(char c) { return c == '\r' || c == '\n'; }

bool Usable(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u > 0x20 && u < 0x7F && !std::isalnum(u);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsStandard(const Hl7Delimiters& d) {
  const Hl7Delimiters standard;
  return d.field == standard.field && d.component == standard.component && d.repetition == standard.repetition &&
         d.escape == standard.escape && d.subcomponent == standard.subcomponent;
}

// One pass over a message, writing it in standard form.
class Rewriter {
 public:
  Rewriter(std::string_view in, const Hl7Delimiters& d, const std::string& iconvName, OrderRefusal* problem)
      : in_(in), d_(d), iconv_(iconvName), problem_(problem) {}

  std::string Run() {
    out_.reserve(in_.size() + 16);
    std::size_t i = 0;
    StartSegment(0);
    if (d_.headerEnd > 0) {
      out_ = "MSH|^~\\&";
      i = d_.headerEnd;
      piece_ = 1;  // MSH-2 read; the next field separator starts MSH-3
    }
    while (i < in_.size()) {
      const char c = in_[i];
      if (IsSegmentEnd(c)) {
        out_ += c;
        StartSegment(++i);
        continue;
      }
      if (c == d_.escape) {
        i = Escape(i);
        continue;
      }
      if (c == d_.field) {
        out_ += '|';
        ++piece_;
      } else if (c == d_.component) {
        out_ += '^';
      } else if (c == d_.repetition) {
        out_ += '~';
      } else if (c == d_.subcomponent) {
        out_ += '&';
      } else {
        AppendCharacter(out_, c);
      }
      ++i;
    }
    return std::move(out_);
  }

 private:
  bool IsDelimiter(char c) const {
    return c == d_.field || c == d_.component || c == d_.repetition || c == d_.subcomponent;
  }

  void StartSegment(std::size_t at) {
    std::size_t end = at;
    while (end < in_.size() && in_[end] != d_.field && !IsSegmentEnd(in_[end])) ++end;
    segment_ = in_.substr(at, end - at);
    piece_ = 0;
  }

  // MSH-1 is the field separator itself, so MSH counts one field more.
  int Field() const { return segment_ == "MSH" ? piece_ + 1 : piece_; }

  void Problem(const std::string& reason) {
    if (!problem_ || !problem_->reason.empty()) return;
    problem_->segment = std::string(segment_);
    problem_->field = Field();
    problem_->code = 102;
    problem_->reason = problem_->segment + "-" + std::to_string(Field()) + ": " + reason;
  }

  void KeepAsWritten(std::string_view sequence) {
    for (char c : sequence) AppendCharacter(out_, c);
  }

  // \Xhh...\: false (a problem noted) when the digits or their bytes are wrong.
  bool Hexadecimal(std::string_view digits, std::string_view sequence) {
    std::string bytes;
    for (std::size_t k = 0; k + 1 < digits.size(); k += 2) {
      const int high = HexDigit(digits[k]), low = HexDigit(digits[k + 1]);
      if (high < 0 || low < 0) break;
      bytes += static_cast<char>(high * 16 + low);
    }
    if (digits.empty() || bytes.size() * 2 != digits.size()) {
      Problem("malformed hexadecimal escape " + std::string(sequence));
      return false;
    }
    std::string text;
    if (!ReadAsUtf8(bytes, iconv_, text)) {
      Problem("escape " + std::string(sequence) + " holds bytes that are not valid in the message's character set");
      return false;
    }
    for (char c : text) {
      const unsigned char u = static_cast<unsigned char>(c);
      AppendCharacter(out_, u < 0x20 || u == 0x7F ? ' ' : c);
    }
    return true;
  }

  // The escape character at `at`; returns where reading goes on.
  std::size_t Escape(std::size_t at) {
    std::size_t end = at + 1;
    while (end < in_.size() && in_[end] != d_.escape && !IsSegmentEnd(in_[end]) && !IsDelimiter(in_[end])) ++end;
    if (end >= in_.size() || in_[end] != d_.escape || end == at + 1) {
      AppendCharacter(out_, in_[at]);  // starts no sequence: a character of the text
      return at + 1;
    }
    const std::string_view content = in_.substr(at + 1, end - at - 1);
    const std::string_view sequence = in_.substr(at, end + 1 - at);
    const std::size_t next = end + 1;
    const char kind = content.front();
    if (content.size() == 1 && kDelimiterEscapes.find(kind) != std::string_view::npos) {
      out_ += '\\';
      out_ += kind;
      out_ += '\\';
    } else if (content == "H" || content == "N") {
      // Highlighting means nothing in a worklist value.
    } else if (kind == '.') {
      if (content.substr(0, 3) == ".br" || content.substr(0, 3) == ".sp") out_ += ' ';
    } else if (kind == 'X') {
      if (iconv_.empty() || !Hexadecimal(content.substr(1), sequence)) KeepAsWritten(sequence);
    } else if (kind == 'C' || kind == 'M' || kind == 'Z') {
      Problem((kind == 'Z' ? "locally defined escape " : "character set switch ") + std::string(sequence) +
              " is not understood");
      KeepAsWritten(sequence);
    } else {
      AppendCharacter(out_, in_[at]);
      return at + 1;
    }
    return next;
  }

  std::string_view in_;
  const Hl7Delimiters& d_;
  const std::string& iconv_;
  OrderRefusal* problem_;
  std::string out_;
  std::string_view segment_;
  int piece_ = 0;
};

}  // namespace

bool ReadDelimiters(std::string_view message, Hl7Delimiters& out) {
  out = Hl7Delimiters();
  if (message.size() < 4 || message.substr(0, 3) != "MSH") return true;
  Hl7Delimiters d;
  d.field = message[3];
  std::size_t end = 4;
  while (end < message.size() && message[end] != d.field && !IsSegmentEnd(message[end])) ++end;
  const std::string_view encoding = message.substr(4, end - 4);
  // Four characters, a fifth (truncation, v2.7) allowed; a missing one keeps
  // its standard value.
  if (encoding.size() > 5) return false;
  char* const chosen[] = {&d.component, &d.repetition, &d.escape, &d.subcomponent};
  for (std::size_t k = 0; k < encoding.size() && k < 4; ++k) *chosen[k] = encoding[k];
  const char all[] = {d.field, d.component, d.repetition, d.escape, d.subcomponent};
  for (std::size_t k = 0; k < 5; ++k) {
    if (!Usable(all[k])) return false;
    for (std::size_t m = k + 1; m < 5; ++m)
      if (all[k] == all[m]) return false;
  }
  d.headerEnd = end;
  out = d;
  return true;
}

std::string ToStandardDelimiters(std::string_view message, const Hl7Delimiters& delimiters,
                                 const std::string& iconvName, OrderRefusal* problem) {
  // The common message needs no rewriting: standard delimiters, no escapes.
  const bool plainHeader = delimiters.headerEnd == 0 || delimiters.headerEnd == 8;
  if (plainHeader && IsStandard(delimiters) && message.find('\\', delimiters.headerEnd) == std::string_view::npos)
    return std::string(message);
  return Rewriter(message, delimiters, iconvName, problem).Run();
}

std::string UnescapeHl7(std::string_view value) {
  if (value.find('\\') == std::string_view::npos) return std::string(value);
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size();) {
    if (value[i] == '\\' && i + 2 < value.size() && value[i + 2] == '\\') {
      const char* const characters = "|^&~\\";
      const std::size_t which = kDelimiterEscapes.find(value[i + 1]);
      if (which != std::string_view::npos) {
        out += characters[which];
        i += 3;
        continue;
      }
    }
    out += value[i++];
  }
  return out;
}

}  // namespace tarvelin
