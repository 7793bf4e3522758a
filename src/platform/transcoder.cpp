#include "platform/transcoder.h"

#include <cerrno>
#include <stdexcept>

#include "platform/codepage.h"

namespace tarvelin {

namespace {

bool IsUtf8Name(const std::string& name) { return name == "UTF-8"; }

iconv_t Open(const std::string& to, const std::string& from) {
  const iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1))
    throw std::runtime_error("character set conversion from " + from + " to " + to + " is not available");
  return cd;
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Runs `cd` over all of `in`, appending to `out`. At input it cannot
// convert, `replace` is true: one character is skipped (an invalid byte, or
// a whole UTF-8 sequence) and "?" written; false: the conversion fails.
bool Run(iconv_t cd, std::string_view in, std::string& out, bool replace, std::size_t& replaced) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  char* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    if (!replace) return false;
    // EILSEQ or EINVAL: the input is UTF-8 here; skip its sequence.
    const std::size_t length = Utf8SequenceLength(std::string_view(inPtr, inLeft));
    const std::size_t skip = length == 0 ? 1 : length;
    inPtr += skip;
    inLeft -= skip;
    out += '?';
    ++replaced;
  }
  return true;
}

}  // namespace

Transcoder::Transcoder(const std::string& from, const std::string& to)
    : identity_(from == to), fromUtf8_(IsUtf8Name(from)), toUtf8_(IsUtf8Name(to)) {
  if (identity_) return;
  if (!fromUtf8_) decode_ = Open("UTF-8", from);
  try {
    if (!toUtf8_) encode_ = Open(to, "UTF-8");
  } catch (...) {
    if (decode_ != reinterpret_cast<iconv_t>(-1)) iconv_close(decode_);
    throw;
  }
}

Transcoder::~Transcoder() {
  if (decode_ != reinterpret_cast<iconv_t>(-1)) iconv_close(decode_);
  if (encode_ != reinterpret_cast<iconv_t>(-1)) iconv_close(encode_);
}

Transcoder::Outcome Transcoder::Convert(std::string_view in, std::string& out) {
  Outcome outcome;
  out.clear();
  // Every set we convert keeps ASCII as it is; UTF-8 is checked even when
  // it stays UTF-8.
  if (identity_ || IsAscii(in)) {
    outcome.Valid = !identity_ || !fromUtf8_ || IsValidUtf8(in);
    if (outcome.Valid) out.assign(in);
    return outcome;
  }
  // Read the source strictly into UTF-8 first, so that a byte the source
  // does not define is told apart from a character the target lacks.
  std::string_view utf8 = in;
  if (fromUtf8_) {
    outcome.Valid = IsValidUtf8(in);
  } else {
    utf8_.clear();
    std::size_t none = 0;
    outcome.Valid = Run(decode_, in, utf8_, false, none);
    utf8 = utf8_;
  }
  if (!outcome.Valid) return outcome;
  if (toUtf8_) {
    out.assign(utf8);
    return outcome;
  }
  Run(encode_, utf8, out, true, outcome.Replaced);
  return outcome;
}

}  // namespace tarvelin
