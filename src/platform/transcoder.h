#pragma once
// Converts text from one character set to another through glibc's iconv,
// for the sets of charset_names.h (all keep ASCII as it is). Bytes that are
// not valid in the source set make the conversion fail: they are never
// passed on under another set's name. A character the target set lacks
// becomes "?", and the caller is told how many were replaced.
//
// A transcoder keeps its iconv descriptors; it serves one thread at a time.
#include <cstddef>
#include <string>
#include <string_view>

#include <iconv.h>

namespace tarvelin {

class Transcoder {
 public:
  // Between two iconv names. Throws std::runtime_error when iconv knows
  // either of them not.
  Transcoder(const std::string& from, const std::string& to);
  ~Transcoder();
  Transcoder(const Transcoder&) = delete;
  Transcoder& operator=(const Transcoder&) = delete;

  struct Outcome {
    bool Valid = true;          // false: `in` is not text of the source set; `out` is then empty
    std::size_t Replaced = 0;   // characters the target set lacks, written as "?"
  };

  // Replaces `out` with `in` in the target set.
  Outcome Convert(std::string_view in, std::string& out);

  // True when both sides are the same set: Convert then only copies (and
  // checks that UTF-8 is well-formed).
  bool Identity() const { return identity_; }

 private:
  bool identity_;
  bool fromUtf8_, toUtf8_;
  iconv_t decode_ = reinterpret_cast<iconv_t>(-1);  // source set to UTF-8
  iconv_t encode_ = reinterpret_cast<iconv_t>(-1);  // UTF-8 to target set
  std::string utf8_;  // reused between calls
};

}  // namespace tarvelin
