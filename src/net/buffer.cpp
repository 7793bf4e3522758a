#include "net/buffer.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "service/log.h"

namespace tarvelin {

namespace {

// Resident set size of the process in units of 1000000 bytes.
long WorkingSetMB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long kilobytes = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> kilobytes;
      break;
    }
    status.ignore(4096, '\n');
  }
  return kilobytes * 1024 / 1000000;
}

}  // namespace

bool Buffer::SetIncomingEndian(int order) {
  inOrder_ = order;
  return true;
}

bool Buffer::SetOutgoingEndian(int order) {
  outOrder_ = order;
  return true;
}

bool Buffer::Write(const void* bytes, std::size_t count) {
  auto* p = static_cast<const std::uint8_t*>(bytes);
  outgoing_.insert(outgoing_.end(), p, p + count);
  return true;
}

void Buffer::Write8(std::uint8_t value) { outgoing_.push_back(value); }

void Buffer::Write16(std::uint16_t value) {
  auto high = static_cast<std::uint8_t>(value >> 8), low = static_cast<std::uint8_t>(value);
  if (outOrder_ == BigEndianOrder) {
    Write8(high);
    Write8(low);
  } else {
    Write8(low);
    Write8(high);
  }
}

void Buffer::Write32(std::uint32_t value) {
  auto high = static_cast<std::uint16_t>(value >> 16), low = static_cast<std::uint16_t>(value);
  if (outOrder_ == BigEndianOrder) {
    Write16(high);
    Write16(low);
  } else {
    Write16(low);
    Write16(high);
  }
}

bool Buffer::Flush() {
  // Everything queued in one send: a whole response (command and data set
  // PDUs) costs one system call when the socket buffer takes it.
  bool ok = true;
  if (outPos_ < outgoing_.size() && !Sock.SendBinary(outgoing_.data() + outPos_, outgoing_.size() - outPos_)) {
    WriteLog("ERROR, Buffer::Flush, failed socket::SendBinary, mem=" + std::to_string(WorkingSetMB()));
    ok = false;
  }
  outgoing_.clear();
  outPos_ = 0;
  return ok;
}

bool Buffer::ReadBlock() {
  std::uint8_t piece[ReceiveSize];
  int got;
  do {
    got = Sock.ReadBinary(piece, sizeof piece);
  } while (got == 0);
  if (got < 0) {
    WriteLog("ERROR, Buffer::ReadBlock, Error from ReadBinary()");
    return false;
  }
  Compact();
  incoming_.insert(incoming_.end(), piece, piece + got);
  return true;
}

bool Buffer::Read(void* destination, std::size_t count) {
  while (IncomingCount() < count) {
    if (!ReadBlock()) {
      WriteLog("ERROR, Buffer::Read, failed ReadBlock");
      return false;
    }
  }
  if (count > 0) std::memcpy(destination, incoming_.data() + readPos_, count);
  readPos_ += count;
  return true;
}

bool Buffer::Read8(std::uint8_t& value) { return Read(&value, 1); }

bool Buffer::Read16(std::uint16_t& value) {
  std::uint8_t b[2];
  if (!Read(b, 2)) {
    value = 0;
    return false;
  }
  value = inOrder_ == BigEndianOrder ? static_cast<std::uint16_t>(b[0] << 8 | b[1])
                                     : static_cast<std::uint16_t>(b[1] << 8 | b[0]);
  return true;
}

bool Buffer::Read32(std::uint32_t& value) {
  std::uint16_t first = 0, second = 0;
  bool ok = Read16(first) && Read16(second);
  value = inOrder_ == BigEndianOrder ? (std::uint32_t{first} << 16 | second)
                                     : (std::uint32_t{second} << 16 | first);
  if (!ok) value = 0;
  return ok;
}

std::uint8_t Buffer::Read8() {
  std::uint8_t value = 0;
  if (!Read8(value)) value = 0;
  return value;
}

std::uint16_t Buffer::Read16() {
  std::uint16_t value = 0;
  Read16(value);
  return value;
}

std::uint32_t Buffer::Read32() {
  std::uint32_t value = 0;
  Read32(value);
  return value;
}

bool Buffer::Skip(std::size_t count) {
  while (count > 0) {
    if (IncomingCount() == 0 && !ReadBlock()) {
      WriteLog("ERROR, Buffer::Read, failed ReadBlock");
      return false;
    }
    std::size_t take = std::min(count, IncomingCount());
    readPos_ += take;
    count -= take;
  }
  return true;
}

bool Buffer::MoveIn(Buffer& source, std::size_t count) {
  // Taken in pieces, so memory grows only as the bytes actually arrive.
  while (count > 0) {
    std::size_t take = std::min(count, std::max(source.IncomingCount(), ReceiveSize));
    Compact();
    std::size_t at = incoming_.size();
    incoming_.resize(at + take);
    if (!source.Read(incoming_.data() + at, take)) {
      incoming_.resize(at);
      WriteLog("ERROR, Buffer::MoveIn, in->Read");
      return false;
    }
    count -= take;
  }
  return true;
}

bool Buffer::MoveOut(Buffer& target, std::size_t count) {
  if (OutgoingCount() < count) {
    WriteLog("ERROR, Buffer::MoveOut, Outsize<Byte");
    return false;
  }
  target.Write(outgoing_.data() + outPos_, count);
  outPos_ += count;
  if (outPos_ == outgoing_.size()) {
    outgoing_.clear();
    outPos_ = 0;
  }
  return true;
}

std::vector<std::uint8_t> Buffer::TakeIncoming() {
  std::vector<std::uint8_t> bytes(incoming_.begin() + static_cast<std::ptrdiff_t>(readPos_),
                                  incoming_.end());
  incoming_.clear();
  readPos_ = 0;
  return bytes;
}

void Buffer::ClearQueues() {
  incoming_.clear();
  readPos_ = 0;
  outgoing_.clear();
  outPos_ = 0;
}

void Buffer::Compact() {
  // Drops bytes already read once they make up the larger part of the queue.
  if (readPos_ == incoming_.size()) {
    incoming_.clear();
    readPos_ = 0;
  } else if (readPos_ > 65536 && readPos_ > incoming_.size() / 2) {
    incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(readPos_));
    readPos_ = 0;
  }
}

}  // namespace tarvelin
