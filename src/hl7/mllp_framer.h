#pragma once
// Cuts the byte stream of one HL7 connection into messages.
//
// A message framed 0x0B ... 0x1C 0x0D is collected across reads and delivered
// once, without its envelope; several frames in one read are delivered one by
// one, in order. Bytes outside a frame (a peer that sends no envelope) are
// taken as they come: each read's run of them is one message. A run of only
// blanks and line ends (a stray CR LF after an end block) is no message.
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace tarvelin {

class MllpFramer {
 public:
  static constexpr char StartBlock = 0x0B;
  static constexpr char EndBlock = 0x1C;
  static constexpr char CarriageReturn = 0x0D;
  // An order is a few kilobytes; a frame larger than this is refused.
  static constexpr std::size_t MaxFrame = 1 << 20;

  // Takes the bytes of one read. Stops taking bytes once a frame exceeds
  // MaxFrame (see Overflowed).
  void Feed(std::string_view bytes);

  // The next complete message, in arrival order; false when none is ready.
  bool Next(std::string& message);

  // True when a frame grew past MaxFrame without an end block; the
  // connection is beyond repair and must be answered and closed.
  bool Overflowed() const { return overflowed_; }

  // The bytes of the frame still being collected.
  const std::string& Partial() const { return frame_; }
  // True while a start block has come without its end block.
  bool InFrame() const { return inFrame_; }

  // Incomplete frames abandoned because a new start block arrived; the
  // count is reset by reading it.
  int TakeAbandoned();

 private:
  void EndUnframedRun(std::string& run);

  std::deque<std::string> ready_;
  std::string frame_;
  bool inFrame_ = false;
  bool overflowed_ = false;
  int abandoned_ = 0;
};

}  // namespace tarvelin
