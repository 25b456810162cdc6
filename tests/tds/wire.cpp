// Packets, byte order and text encodings of the TDS test server.
#include "tests/tds/wire.h"

#include <errno.h>
#include <iconv.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace q8::tds {

namespace {

// Packets the server accepts: FreeTDS sends at most its negotiated packet
// size (up to 32 KiB); anything larger is not a TDS client.
constexpr size_t kMaxPacket = 65535;
// A message larger than this is refused rather than held in memory.
constexpr size_t kMaxMessage = 64u << 20;

void PutUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void PutUtf16(std::string& out, uint32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>((unit >> 8) & 0xFF);
}

// Converts with iconv; nullopt when a character cannot be converted.
std::optional<std::string> Iconv(const char* to, const char* from, std::string_view in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(in.size() * 2 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  bool ok = true;
  while (src_left > 0) {
    if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)) {
      if (errno == E2BIG) {
        size_t used = static_cast<size_t>(dst - out.data());
        out.resize(out.size() * 2);
        dst = out.data() + used;
        dst_left = out.size() - used;
        continue;
      }
      ok = false;
      break;
    }
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  out.resize(static_cast<size_t>(dst - out.data()));
  return out;
}

}  // namespace

void PacketChannel::ReadExactly(char* out, size_t n) {
  while (n > 0) {
    ssize_t got = ::recv(fd_, out, n, 0);
    if (got == 0) throw Disconnected();
    if (got < 0) {
      if (errno == EINTR) continue;
      throw Disconnected();
    }
    out += got;
    n -= static_cast<size_t>(got);
  }
}

Message PacketChannel::ReadMessage() {
  Message m;
  for (;;) {
    char header[kHeaderSize];
    ReadExactly(header, kHeaderSize);
    const auto type = static_cast<uint8_t>(header[0]);
    const auto status = static_cast<uint8_t>(header[1]);
    const size_t length = (static_cast<size_t>(static_cast<uint8_t>(header[2])) << 8) |
                          static_cast<uint8_t>(header[3]);
    if (length < kHeaderSize || length > kMaxPacket)
      throw ProtocolError("packet length " + std::to_string(length) + " out of range");
    if (m.payload.empty() && m.type == 0) m.type = type;
    if (type != m.type && type != kPacketAttention)
      throw ProtocolError("packet type changed inside a message");
    if (m.payload.size() + length > kMaxMessage) throw ProtocolError("message too large");
    const size_t start = m.payload.size();
    m.payload.resize(start + length - kHeaderSize);
    ReadExactly(m.payload.data() + start, length - kHeaderSize);
    if (type == kPacketAttention) {
      // An attention stands alone, whatever came before it.
      m.type = kPacketAttention;
      m.payload.clear();
      return m;
    }
    if (status & kStatusEndOfMessage) return m;
  }
}

bool PacketChannel::Readable() const {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

void PacketChannel::WritePacket(uint8_t type, std::string_view payload, bool last) {
  const size_t length = payload.size() + kHeaderSize;
  std::string packet;
  packet.reserve(length);
  packet += static_cast<char>(type);
  packet += static_cast<char>(last ? kStatusEndOfMessage : 0);
  packet += static_cast<char>((length >> 8) & 0xFF);
  packet += static_cast<char>(length & 0xFF);
  packet += '\0';  // SPID
  packet += '\0';
  packet += static_cast<char>(next_packet_id_++);
  packet += '\0';  // window
  packet.append(payload);
  const char* p = packet.data();
  size_t left = packet.size();
  while (left > 0) {
    ssize_t sent = ::send(fd_, p, left, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      throw Disconnected();
    }
    p += sent;
    left -= static_cast<size_t>(sent);
  }
}

void PacketChannel::WriteMessage(uint8_t type, std::string_view payload, size_t packet_size) {
  const size_t room = std::max<size_t>(packet_size, 512) - kHeaderSize;
  do {
    const size_t n = std::min(room, payload.size());
    WritePacket(type, payload.substr(0, n), n == payload.size());
    payload.remove_prefix(n);
  } while (!payload.empty());
}

void Reader::Need(size_t n) const {
  if (data_.size() - pos_ < n)
    throw ProtocolError("message ends early (at byte " + std::to_string(pos_) + ", " +
                        std::to_string(n) + " more wanted)");
}

uint8_t Reader::U8() {
  Need(1);
  return static_cast<uint8_t>(data_[pos_++]);
}

uint16_t Reader::U16() {
  Need(2);
  uint16_t v = static_cast<uint16_t>(static_cast<uint8_t>(data_[pos_]) |
                                     (static_cast<uint8_t>(data_[pos_ + 1]) << 8));
  pos_ += 2;
  return v;
}

uint16_t Reader::U16BigEndian() {
  Need(2);
  uint16_t v = static_cast<uint16_t>((static_cast<uint8_t>(data_[pos_]) << 8) |
                                     static_cast<uint8_t>(data_[pos_ + 1]));
  pos_ += 2;
  return v;
}

uint32_t Reader::U32() {
  Need(4);
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(data_[pos_ + i]);
  pos_ += 4;
  return v;
}

uint64_t Reader::U64() {
  Need(8);
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(data_[pos_ + i]);
  pos_ += 8;
  return v;
}

std::string_view Reader::Bytes(size_t n) {
  Need(n);
  std::string_view v = data_.substr(pos_, n);
  pos_ += n;
  return v;
}

std::string Reader::Utf16(size_t chars) { return Utf16ToUtf8(Bytes(chars * 2)); }

void Reader::Seek(size_t pos) {
  if (pos > data_.size()) throw ProtocolError("offset beyond the message");
  pos_ = pos;
}

void Writer::U16(uint16_t v) {
  U8(static_cast<uint8_t>(v & 0xFF));
  U8(static_cast<uint8_t>(v >> 8));
}

void Writer::U16BigEndian(uint16_t v) {
  U8(static_cast<uint8_t>(v >> 8));
  U8(static_cast<uint8_t>(v & 0xFF));
}

void Writer::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

void Writer::U64(uint64_t v) {
  for (int i = 0; i < 8; ++i) U8(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

void Writer::BVarChar(std::string_view utf8) {
  const std::string u = Utf8ToUtf16(utf8);
  const size_t units = std::min<size_t>(u.size() / 2, 255);
  U8(static_cast<uint8_t>(units));
  Bytes(std::string_view(u).substr(0, units * 2));
}

void Writer::UsVarChar(std::string_view utf8) {
  const std::string u = Utf8ToUtf16(utf8);
  const size_t units = std::min<size_t>(u.size() / 2, 65535);
  U16(static_cast<uint16_t>(units));
  Bytes(std::string_view(u).substr(0, units * 2));
}

std::string Utf16ToUtf8(std::string_view b) {
  std::string out;
  out.reserve(b.size());
  const size_t units = b.size() / 2;
  auto unit = [&](size_t i) {
    return static_cast<uint32_t>(static_cast<uint8_t>(b[2 * i]) |
                                 (static_cast<uint8_t>(b[2 * i + 1]) << 8));
  };
  for (size_t i = 0; i < units; ++i) {
    uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      uint32_t low = unit(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        PutUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;
    PutUtf8(out, u);
  }
  return out;
}

std::string Utf8ToUtf16(std::string_view s) {
  std::string out;
  out.reserve(s.size() * 2);
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<uint8_t>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t n = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      n = 3;
    } else if ((c & 0xF8) == 0xF0) {
      n = 4;
    }
    if (n > 1) {
      if (i + n > s.size()) {
        n = 1;
      } else {
        cp = c & (0xFF >> (n + 1));
        for (size_t k = 1; k < n; ++k) {
          const auto cc = static_cast<uint8_t>(s[i + k]);
          if ((cc & 0xC0) != 0x80) {
            cp = 0xFFFD;
            n = 1;
            break;
          }
          cp = (cp << 6) | (cc & 0x3F);
        }
      }
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      PutUtf16(out, 0xD800 + (cp >> 10));
      PutUtf16(out, 0xDC00 + (cp & 0x3FF));
    } else {
      PutUtf16(out, cp);
    }
  }
  return out;
}

std::optional<std::string> Utf8ToCp936(std::string_view utf8) {
  return Iconv("CP936", "UTF-8", utf8);
}

std::optional<std::string> Cp936ToUtf8(std::string_view gbk) {
  return Iconv("UTF-8", "CP936", gbk);
}

}  // namespace q8::tds
