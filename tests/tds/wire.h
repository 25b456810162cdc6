// The byte level of the TDS test server: packets on a socket, little-endian
// readers and writers, and the text encodings the protocol uses (UTF-16LE
// for everything the client writes, a code page for varchar data).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace q8::tds {

// Packet types (the first byte of every packet header).
inline constexpr uint8_t kPacketSqlBatch = 0x01;
inline constexpr uint8_t kPacketRpc = 0x03;
inline constexpr uint8_t kPacketReply = 0x04;
inline constexpr uint8_t kPacketAttention = 0x06;
inline constexpr uint8_t kPacketTransaction = 0x0E;
inline constexpr uint8_t kPacketLogin7 = 0x10;
inline constexpr uint8_t kPacketPrelogin = 0x12;

inline constexpr uint8_t kStatusEndOfMessage = 0x01;
inline constexpr size_t kHeaderSize = 8;

// A malformed message from the client. The server ends the connection.
class ProtocolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The peer closed the connection (or it broke).
class Disconnected : public std::runtime_error {
 public:
  Disconnected() : std::runtime_error("the connection was closed") {}
};

// One message: the payloads of its packets up to the one marked end of
// message, joined.
struct Message {
  uint8_t type = 0;
  std::string payload;
};

// Reads and writes packets on a connected socket (blocking).
class PacketChannel {
 public:
  explicit PacketChannel(int fd) : fd_(fd) {}

  // The next whole message. Throws Disconnected or ProtocolError.
  Message ReadMessage();
  // True when a packet header can be read without waiting.
  bool Readable() const;
  // Writes `payload` as one packet of `type`; `last` marks the end of the
  // message. Throws Disconnected.
  void WritePacket(uint8_t type, std::string_view payload, bool last);
  // Writes a whole message split into packets of at most `packet_size` bytes.
  void WriteMessage(uint8_t type, std::string_view payload, size_t packet_size);

  int fd() const { return fd_; }

 private:
  void ReadExactly(char* out, size_t n);
  int fd_;
  uint8_t next_packet_id_ = 1;
};

// Reads little-endian values from a payload. Every read past the end throws
// ProtocolError.
class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}

  uint8_t U8();
  uint16_t U16();
  uint16_t U16BigEndian();
  uint32_t U32();
  uint64_t U64();
  std::string_view Bytes(size_t n);
  // UTF-16LE text of `chars` code units, as UTF-8.
  std::string Utf16(size_t chars);
  // B_VARCHAR (one-byte length) and US_VARCHAR (two-byte length) texts.
  std::string BVarChar() { return Utf16(U8()); }
  std::string UsVarChar() { return Utf16(U16()); }

  size_t position() const { return pos_; }
  void Seek(size_t pos);
  size_t remaining() const { return data_.size() - pos_; }
  std::string_view data() const { return data_; }

 private:
  void Need(size_t n) const;
  std::string_view data_;
  size_t pos_ = 0;
};

// Appends little-endian values to a byte string.
class Writer {
 public:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U16(uint16_t v);
  void U16BigEndian(uint16_t v);
  void U32(uint32_t v);
  void U64(uint64_t v);
  void Bytes(std::string_view b) { out_.append(b); }
  // UTF-8 text written as UTF-16LE with a one-byte (B_VARCHAR) or two-byte
  // (US_VARCHAR) count of code units in front.
  void BVarChar(std::string_view utf8);
  void UsVarChar(std::string_view utf8);

  std::string& str() { return out_; }
  size_t size() const { return out_.size(); }

 private:
  std::string out_;
};

// UTF-16LE bytes as UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view utf16le);
// UTF-8 as UTF-16LE bytes. Invalid bytes become U+FFFD.
std::string Utf8ToUtf16(std::string_view utf8);
// UTF-8 text in code page 936 (GBK), the code page of the server's Chinese
// collation; nullopt when a character has no GBK form.
std::optional<std::string> Utf8ToCp936(std::string_view utf8);
// Code page 936 bytes as UTF-8; nullopt when they are not valid GBK.
std::optional<std::string> Cp936ToUtf8(std::string_view gbk);

}  // namespace q8::tds
