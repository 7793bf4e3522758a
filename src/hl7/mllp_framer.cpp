#include "hl7/mllp_framer.h"

#include "service/text.h"

namespace tarvelin {

void MllpFramer::Feed(std::string_view bytes) {
  if (overflowed_) return;
  std::string run;  // bytes outside any frame in this read
  for (char c : bytes) {
    if (!inFrame_) {
      if (c == StartBlock) {
        EndUnframedRun(run);
        inFrame_ = true;
        frame_.clear();
      } else {
        run.push_back(c);
      }
      continue;
    }
    if (c == CarriageReturn && !frame_.empty() && frame_.back() == EndBlock) {
      frame_.pop_back();
      ready_.push_back(std::move(frame_));
      frame_.clear();
      inFrame_ = false;
      continue;
    }
    if (c == StartBlock) {
      // The sender gave up on the frame and started over.
      ++abandoned_;
      frame_.clear();
      continue;
    }
    frame_.push_back(c);
    // An end block may stand right after MaxFrame bytes of content.
    if (frame_.size() > MaxFrame + (c == EndBlock ? 1 : 0)) {
      overflowed_ = true;
      return;
    }
  }
  EndUnframedRun(run);
}

void MllpFramer::EndUnframedRun(std::string& run) {
  if (!Trim(run).empty()) ready_.push_back(std::move(run));
  run.clear();
}

bool MllpFramer::Next(std::string& message) {
  if (ready_.empty()) return false;
  message = std::move(ready_.front());
  ready_.pop_front();
  return true;
}

int MllpFramer::TakeAbandoned() {
  int count = abandoned_;
  abandoned_ = 0;
  return count;
}

}  // namespace tarvelin
