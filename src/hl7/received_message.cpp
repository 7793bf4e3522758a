#include "hl7/received_message.h"

#include "hl7/hl7_escapes.h"
#include "hl7/text_in_charset.h"
#include "platform/charset_names.h"
#include "platform/codepage.h"
#include "service/settings.h"

namespace tarvelin {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Piece n (from 1) of the first segment cut at `field`: MSH-n of a header.
std::string_view HeaderPiece(std::string_view message, char field, int n) {
  const std::string_view header = message.substr(0, message.find_first_of("\r\n"));
  std::size_t start = 0;
  for (int k = 1; k < n; ++k) {
    start = header.find(field, start);
    if (start == std::string_view::npos) return {};
    ++start;
  }
  const std::size_t end = header.find(field, start);
  return header.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// The bytes with each non-ASCII one as "?": safe in any set we answer in.
std::string Sanitised(std::string_view bytes) {
  std::string out(bytes);
  for (char& c : out)
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  return out;
}

OrderRefusal Refusal(std::string segment, int field, int code, std::string reason) {
  OrderRefusal refusal;
  refusal.segment = std::move(segment);
  refusal.field = field;
  refusal.code = code;
  refusal.reason = std::move(reason);
  return refusal;
}

// Names the first field of `message` whose bytes are not valid in the set,
// so the sender learns where to look.
OrderRefusal InvalidBytes(std::string_view message, char field, const std::string& iconvName,
                          const std::string& setName) {
  const std::string what = " holds bytes that are not valid " + setName + " text";
  for (std::size_t start = 0; start < message.size();) {
    std::size_t end = message.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = message.size();
    const std::string_view segment = message.substr(start, end - start);
    const std::string name = Sanitised(segment.substr(0, segment.find(field)));
    std::string ignored;
    std::size_t from = 0;
    for (int piece = 0;; ++piece) {
      const std::size_t to = segment.find(field, from);
      const std::string_view value = segment.substr(from, to == std::string_view::npos ? to : to - from);
      if (!ReadAsUtf8(value, iconvName, ignored)) {
        const int number = name == "MSH" ? piece + 1 : piece;
        return Refusal(name, number, 102, name + "-" + std::to_string(number) + what);
      }
      if (to == std::string_view::npos) break;
      from = to + 1;
    }
    start = end + 1;
  }
  return Refusal("MSH", 18, 102, "the message" + what);
}

bool HasNonAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

}  // namespace

ReceivedMessage ReadReceivedMessage(const std::string& bytes) {
  ReceivedMessage message;
  std::string_view in = bytes;
  const bool bom = in.substr(0, kUtf8Bom.size()) == kUtf8Bom;
  if (bom) in.remove_prefix(kUtf8Bom.size());
  Hl7Delimiters delimiters;
  const bool usable = ReadDelimiters(in, delimiters);

  // MSH-18's first value names the message's set; later ones would be sets
  // switched to with escapes, which we do not read.
  const std::string_view declared = delimiters.headerEnd > 0 ? HeaderPiece(in, delimiters.field, 18) : "";
  const std::size_t repetition = declared.find(delimiters.repetition);
  const std::string term(TrimBlanks(declared.substr(0, repetition)));
  const bool alternates = repetition != std::string_view::npos &&
                          !TrimBlanks(declared.substr(repetition + 1)).empty() &&
                          TrimBlanks(declared.substr(repetition + 1)) != term;
  const std::string setTerm = !term.empty() ? term : bom ? "UNICODE UTF-8" : ServerSettings.HL7CharSet;
  const char* iconvName = IconvNameOfHl7Term(setTerm);
  if (iconvName && !term.empty() && !alternates) message.charsetTerm = term;
  const char* fallback = IconvNameOfHl7Term(ServerSettings.HL7CharSet);
  message.iconvName = iconvName ? iconvName : fallback ? fallback : "ISO-8859-1";
  const std::string setName = term.empty() && !bom ? setTerm + " (HL7CharSet; the message has no MSH-18)" : setTerm;

  std::string utf8;
  bool read = false;
  if (!usable) {
    message.problem = Refusal("MSH", 2, 102, "MSH-1 and MSH-2 declare delimiters a message cannot be cut with");
  } else if (!iconvName) {
    message.problem = Refusal("MSH", 18, 103, "character set (MSH-18) not supported: " + Sanitised(setTerm));
  } else if (alternates) {
    message.problem = Refusal("MSH", 18, 103,
                              "alternate character sets (MSH-18 repetitions) not supported: " + Sanitised(declared));
  } else if (!ReadAsUtf8(in, iconvName, utf8)) {
    message.problem = InvalidBytes(in, delimiters.field, iconvName, setName);
  } else {
    read = true;
    OrderRefusal escapeProblem;
    message.text = ToStandardDelimiters(utf8, delimiters, iconvName, &escapeProblem);
    if (!escapeProblem.reason.empty()) message.problem = escapeProblem;
  }
  message.logged = read ? utf8 : bytes;
  if (message.problem) {
    message.text = ToStandardDelimiters(Sanitised(in), usable ? delimiters : Hl7Delimiters(), "", nullptr);
    return message;
  }
  // A sender that writes UTF-8 but declares nothing gets its names stored in
  // the configured set's reading; say so, as it is most likely a mistake.
  if (term.empty() && !bom && std::string(iconvName) != "UTF-8" && HasNonAscii(in) && IsValidUtf8(in))
    message.note = "message without MSH-18 read as " + setName + ", but its bytes are UTF-8: declare MSH-18 " +
                   "UNICODE UTF-8 (or set HL7CharSet)";
  return message;
}

std::string EncodeForSender(const std::string& ack, const ReceivedMessage& message) {
  std::string out;
  WriteFromUtf8(ack, message.iconvName, out);
  return out;
}

}  // namespace tarvelin
