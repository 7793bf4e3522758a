#pragma once
// The byte queue between the association layer and a Socket: PDUs are
// written field by field and sent with Flush; incoming bytes are received in
// pieces of at most 1024 bytes and handed out in the exact amounts asked for.
// Also used without a connection, as the message part buffer of PDataTF.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/socket.h"

namespace tarvelin {

class Buffer {
 public:
  static constexpr int LittleEndianOrder = 1;
  static constexpr int BigEndianOrder = 2;
  static constexpr std::size_t ReceiveSize = 1024;  // largest single receive

  Socket Sock;  // owned: created and destroyed with the buffer

  Buffer() = default;
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  bool SetIncomingEndian(int order);
  bool SetOutgoingEndian(int order);

  // Appends to the outgoing queue.
  bool Write(const void* bytes, std::size_t count);
  void Write8(std::uint8_t value);
  void Write16(std::uint16_t value);
  void Write32(std::uint32_t value);

  // Sends the whole outgoing queue and empties it.
  bool Flush();

  // Receives one piece from the socket into the incoming queue.
  bool ReadBlock();
  // Takes exactly `count` incoming bytes, receiving as needed.
  bool Read(void* destination, std::size_t count);
  // Single values in the incoming order; 0 when the read failed.
  std::uint8_t Read8();
  std::uint16_t Read16();
  std::uint32_t Read32();
  // The same, reporting whether the read succeeded.
  bool Read8(std::uint8_t& value);
  bool Read16(std::uint16_t& value);
  bool Read32(std::uint32_t& value);
  bool Skip(std::size_t count);

  // Reads `count` bytes from `source` and queues them as incoming here.
  // Memory grows only as the bytes arrive.
  bool MoveIn(Buffer& source, std::size_t count);
  // Takes `count` bytes from this outgoing queue and writes them into `target`.
  bool MoveOut(Buffer& target, std::size_t count);

  std::size_t IncomingCount() const { return incoming_.size() - readPos_; }
  std::size_t OutgoingCount() const { return outgoing_.size() - outPos_; }

  // Removes and returns every queued incoming byte.
  std::vector<std::uint8_t> TakeIncoming();
  // Drops everything queued in both directions.
  void ClearQueues();

 private:
  void Compact();

  int inOrder_ = LittleEndianOrder;
  int outOrder_ = LittleEndianOrder;
  std::vector<std::uint8_t> incoming_;  // bytes from readPos_ on are unread
  std::size_t readPos_ = 0;
  std::vector<std::uint8_t> outgoing_;  // bytes from outPos_ on are unsent
  std::size_t outPos_ = 0;
};

}  // namespace tarvelin
