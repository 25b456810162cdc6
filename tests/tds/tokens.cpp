// SQL Server's wire types and reply tokens, as the test server writes and
// reads them.
#include "tests/tds/tokens.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

namespace q8::tds {

namespace {

constexpr uint8_t kTokenLoginAck = 0xAD, kTokenEnvChange = 0xE3, kTokenError = 0xAA,
                  kTokenInfo = 0xAB, kTokenReturnStatus = 0x79, kTokenReturnValue = 0xAC,
                  kTokenColMetadata = 0x81, kTokenRow = 0xD1;

constexpr uint64_t kPlpNull = ~uint64_t{0};
// The largest non-max length of a character column, in bytes.
constexpr uint32_t kMaxInlineBytes = 8000;

// Days from 0001-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil, shifted to year 1).
int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 719162;  // 719162: 0001-01-01 to 1970-01-01
}

void CivilFromDays(int64_t days, int& y, int& m, int& d) {
  const int64_t z = days - 719162 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const int64_t kDays1900 = DaysFromCivil(1900, 1, 1);

// Days since 0001-01-01 and 100-nanosecond units of the day of an
// automation date (to the millisecond it carries).
void SplitDate(double days, int64_t& day, int64_t& ms_of_day) {
  date::Parts p = date::ToParts(days);
  day = DaysFromCivil(p.year, p.month, p.day);
  ms_of_day = ((p.hour * 60 + p.minute) * 60 + p.second) * 1000LL + p.millisecond;
}

double JoinDate(int64_t day, int64_t ms_of_day) {
  date::Parts p;
  CivilFromDays(day, p.year, p.month, p.day);
  p.hour = static_cast<int>(ms_of_day / 3600000);
  p.minute = static_cast<int>(ms_of_day / 60000 % 60);
  p.second = static_cast<int>(ms_of_day / 1000 % 60);
  p.millisecond = static_cast<int>(ms_of_day % 1000);
  return date::FromParts(p);
}

void PutLittle(Writer& w, uint64_t v, size_t bytes) {
  for (size_t i = 0; i < bytes; ++i) w.U8(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

uint64_t GetLittle(Reader& r, size_t bytes) {
  uint64_t v = 0;
  for (size_t i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(r.U8()) << (8 * i);
  return v;
}

size_t DecimalLength(int precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

size_t TimeBytes(int scale) { return scale <= 2 ? 3 : scale <= 4 ? 4 : 5; }

int64_t Pow10(int n) {
  int64_t v = 1;
  while (n-- > 0) v *= 10;
  return v;
}

// The collation's code page: 936 for the Chinese LCIDs, otherwise the
// server treats the bytes as Latin-1.
bool IsChineseCollation(std::string_view c) {
  if (c.size() < 4) return true;  // the server's own
  const uint32_t lcid = static_cast<uint8_t>(c[0]) | (static_cast<uint8_t>(c[1]) << 8) |
                        ((static_cast<uint8_t>(c[2]) & 0x0F) << 16);
  return lcid == 0x0804 || lcid == 0x1004;
}

std::string Latin1ToUtf8(std::string_view s) {
  std::string out;
  for (char ch : s) {
    const auto c = static_cast<uint8_t>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string CharacterBytes(const TypeInfo& t, std::string_view utf8) {
  if (t.IsUnicode()) return Utf8ToUtf16(utf8);
  if (auto gbk = Utf8ToCp936(utf8)) return *gbk;
  // Not representable: SQL Server writes "?" for it; so does the server.
  std::string out;
  for (char c : utf8)
    if ((static_cast<uint8_t>(c) & 0xC0) != 0x80) out += (static_cast<uint8_t>(c) < 0x80 ? c : '?');
  return out;
}

std::string CharacterText(const TypeInfo& t, std::string_view bytes) {
  if (t.IsUnicode()) return Utf16ToUtf8(bytes);
  if (IsChineseCollation(t.collation)) {
    if (auto s = Cp936ToUtf8(bytes)) return *s;
  }
  return Latin1ToUtf8(bytes);
}

void WriteCharacterValue(Writer& w, const TypeInfo& t, const std::string& bytes) {
  if (t.length == kPlpLength) {
    w.U64(bytes.size());
    if (!bytes.empty()) {
      w.U32(static_cast<uint32_t>(bytes.size()));
      w.Bytes(bytes);
    }
    w.U32(0);
  } else {
    w.U16(static_cast<uint16_t>(std::min<size_t>(bytes.size(), t.length)));
    w.Bytes(std::string_view(bytes).substr(0, t.length));
  }
}

void WriteNull(Writer& w, const TypeInfo& t) {
  switch (t.type) {
    case type::kBigVarChar:
    case type::kBigChar:
    case type::kNVarChar:
    case type::kNChar:
    case type::kBigVarBinary:
    case type::kBigBinary:
      if (t.length == kPlpLength)
        w.U64(kPlpNull);
      else
        w.U16(0xFFFF);
      return;
    case type::kText:
    case type::kNText:
    case type::kImage:
      w.U8(0);  // no text pointer
      return;
    default:
      w.U8(0);
  }
}

}  // namespace

bool TypeInfo::IsCharacter() const {
  switch (type) {
    case type::kBigVarChar:
    case type::kBigChar:
    case type::kNVarChar:
    case type::kNChar:
    case type::kText:
    case type::kNText:
    case type::kChar:
    case type::kVarChar:
      return true;
    default:
      return false;
  }
}

bool TypeInfo::IsUnicode() const {
  return type == type::kNVarChar || type == type::kNChar || type == type::kNText;
}

void ToTdsDateTime(double days, int32_t& tds_days, uint32_t& ticks) {
  int64_t day = 0, ms = 0;
  SplitDate(days, day, ms);
  int64_t t = (ms * 300 + 500) / 1000;
  if (t >= 300LL * 86400) {
    t -= 300LL * 86400;
    ++day;
  }
  tds_days = static_cast<int32_t>(day - kDays1900);
  ticks = static_cast<uint32_t>(t);
}

double FromTdsDateTime(int32_t tds_days, uint32_t ticks) {
  return JoinDate(kDays1900 + tds_days, (static_cast<int64_t>(ticks) * 1000 + 150) / 300);
}

TypeInfo ReadTypeInfo(Reader& r) {
  TypeInfo t;
  t.type = r.U8();
  switch (t.type) {
    case type::kNull:
      t.length = 0;
      break;
    case type::kInt1:
    case type::kBit:
      t.length = 1;
      break;
    case type::kInt2:
      t.length = 2;
      break;
    case type::kInt4:
    case type::kDateTim4:
    case type::kFlt4:
    case type::kMoney4:
      t.length = 4;
      break;
    case type::kInt8:
    case type::kMoney:
    case type::kDateTime:
    case type::kFlt8:
      t.length = 8;
      break;
    case type::kGuid:
    case type::kIntN:
    case type::kBitN:
    case type::kFltN:
    case type::kMoneyN:
    case type::kDateTimeN:
    case type::kChar:
    case type::kVarChar:
    case type::kBinary:
    case type::kVarBinary:
      t.length = r.U8();
      break;
    case type::kDecimal:
    case type::kNumeric:
    case type::kDecimalN:
    case type::kNumericN:
      t.length = r.U8();
      t.precision = r.U8();
      t.scale = r.U8();
      break;
    case type::kDateN:
      t.length = 3;
      break;
    case type::kTimeN:
    case type::kDateTime2N:
    case type::kDateTimeOffsetN:
      t.scale = r.U8();
      break;
    case type::kBigVarChar:
    case type::kBigChar:
    case type::kNVarChar:
    case type::kNChar:
      t.length = r.U16();
      t.collation = std::string(r.Bytes(5));
      break;
    case type::kBigVarBinary:
    case type::kBigBinary:
      t.length = r.U16();
      break;
    case type::kText:
    case type::kNText:
      t.length = r.U32();
      t.collation = std::string(r.Bytes(5));
      break;
    case type::kImage:
      t.length = r.U32();
      break;
    default:
      throw ProtocolError("parameter of wire type 0x" + std::to_string(t.type) +
                          " is not supported by the test server");
  }
  return t;
}

Variant ReadValue(Reader& r, const TypeInfo& t) {
  // The length of the value: fixed types have none on the wire.
  size_t len = 0;
  switch (t.type) {
    case type::kNull:
      return Variant::Null();
    case type::kInt1:
    case type::kBit:
    case type::kInt2:
    case type::kInt4:
    case type::kInt8:
    case type::kDateTim4:
    case type::kFlt4:
    case type::kMoney4:
    case type::kMoney:
    case type::kDateTime:
    case type::kFlt8:
      len = t.length;
      break;
    case type::kBigVarChar:
    case type::kBigChar:
    case type::kNVarChar:
    case type::kNChar:
    case type::kBigVarBinary:
    case type::kBigBinary: {
      std::string bytes;
      if (t.length == kPlpLength) {
        const uint64_t total = r.U64();
        if (total == kPlpNull) return Variant::Null();
        for (;;) {
          const uint32_t chunk = r.U32();
          if (chunk == 0) break;
          bytes.append(r.Bytes(chunk));
        }
      } else {
        const uint16_t n = r.U16();
        if (n == 0xFFFF) return Variant::Null();
        bytes = std::string(r.Bytes(n));
      }
      return t.IsCharacter() ? Variant(CharacterText(t, bytes)) : Variant(bytes);
    }
    case type::kText:
    case type::kNText:
    case type::kImage: {
      const uint32_t n = r.U32();
      if (n == 0xFFFFFFFF) return Variant::Null();
      std::string_view bytes = r.Bytes(n);
      return t.IsCharacter() ? Variant(CharacterText(t, bytes)) : Variant(std::string(bytes));
    }
    default:
      len = r.U8();
      if (len == 0) return Variant::Null();
  }

  switch (t.type) {
    case type::kBit:
    case type::kBitN:
      return Variant(r.U8() != 0);
    case type::kInt1:
    case type::kInt2:
    case type::kInt4:
    case type::kInt8:
    case type::kIntN: {
      uint64_t raw = GetLittle(r, len);
      int64_t v = 0;
      if (len == 1) {
        v = static_cast<uint8_t>(raw);  // tinyint is unsigned
      } else {
        const int shift = static_cast<int>(64 - 8 * len);
        v = static_cast<int64_t>(raw << shift) >> shift;
      }
      return Variant::FromInt64(v);
    }
    case type::kFlt4:
    case type::kFlt8:
    case type::kFltN: {
      if (len == 4) {
        uint32_t bits = static_cast<uint32_t>(GetLittle(r, 4));
        float f = 0;
        std::memcpy(&f, &bits, 4);
        return Variant(static_cast<double>(f));
      }
      uint64_t bits = GetLittle(r, 8);
      double d = 0;
      std::memcpy(&d, &bits, 8);
      return Variant(d);
    }
    case type::kMoney:
    case type::kMoney4:
    case type::kMoneyN: {
      int64_t v = 0;
      if (len == 4) {
        v = static_cast<int32_t>(GetLittle(r, 4));
      } else {
        const uint64_t high = GetLittle(r, 4), low = GetLittle(r, 4);
        v = static_cast<int64_t>((high << 32) | low);
      }
      return Variant(Decimal(v, 4));
    }
    case type::kDecimal:
    case type::kNumeric:
    case type::kDecimalN:
    case type::kNumericN: {
      const bool positive = r.U8() == 1;
      Int128 m = 0;
      for (size_t i = 0; i + 1 < len; ++i) m |= static_cast<Int128>(r.U8()) << (8 * i);
      return Variant(Decimal(positive ? m : -m, t.scale));
    }
    case type::kDateTim4:
    case type::kDateTime:
    case type::kDateTimeN: {
      if (len == 4) {
        const uint16_t days = r.U16(), minutes = r.U16();
        return Variant::Date(JoinDate(kDays1900 + days, minutes * 60000LL));
      }
      const auto days = static_cast<int32_t>(r.U32());
      const uint32_t ticks = r.U32();
      return Variant::Date(FromTdsDateTime(days, ticks));
    }
    case type::kDateN:
      return Variant::Date(JoinDate(static_cast<int64_t>(GetLittle(r, 3)), 0));
    case type::kTimeN:
    case type::kDateTime2N:
    case type::kDateTimeOffsetN: {
      const size_t tb = TimeBytes(t.scale);
      const auto units = static_cast<int64_t>(GetLittle(r, tb));
      const int64_t ms = t.scale >= 3 ? units / Pow10(t.scale - 3) : units * Pow10(3 - t.scale);
      int64_t day = 0;
      if (t.type != type::kTimeN) day = static_cast<int64_t>(GetLittle(r, 3));
      if (t.type == type::kDateTimeOffsetN) r.U16();  // the offset; the value is UTC
      return Variant::Date(
          JoinDate(t.type == type::kTimeN ? DaysFromCivil(1899, 12, 30) : day, ms));
    }
    case type::kGuid:
    case type::kChar:
    case type::kVarChar:
    case type::kBinary:
    case type::kVarBinary: {
      std::string_view bytes = r.Bytes(len);
      return t.IsCharacter() ? Variant(CharacterText(t, bytes)) : Variant(std::string(bytes));
    }
    default:
      throw ProtocolError("value of an unsupported wire type");
  }
}

void WriteTypeInfo(Writer& w, const TypeInfo& t) {
  w.U8(t.type);
  switch (t.type) {
    case type::kGuid:
    case type::kIntN:
    case type::kBitN:
    case type::kFltN:
    case type::kMoneyN:
    case type::kDateTimeN:
      w.U8(static_cast<uint8_t>(t.length));
      break;
    case type::kDecimalN:
    case type::kNumericN:
    case type::kDecimal:
    case type::kNumeric:
      w.U8(static_cast<uint8_t>(t.length));
      w.U8(t.precision);
      w.U8(t.scale);
      break;
    case type::kTimeN:
    case type::kDateTime2N:
    case type::kDateTimeOffsetN:
      w.U8(t.scale);
      break;
    case type::kBigVarChar:
    case type::kBigChar:
    case type::kNVarChar:
    case type::kNChar:
      w.U16(static_cast<uint16_t>(t.length));
      w.Bytes(t.collation.size() == 5 ? std::string_view(t.collation) : kChinesePrcCiAs);
      break;
    case type::kBigVarBinary:
    case type::kBigBinary:
      w.U16(static_cast<uint16_t>(t.length));
      break;
    default:
      break;  // fixed-length types and DATEN have nothing more
  }
}

void WriteValue(Writer& w, const TypeInfo& t, const Variant& v) {
  if (v.IsNull() || v.IsEmpty() || v.IsMissing()) {
    WriteNull(w, t);
    return;
  }
  switch (t.type) {
    case type::kIntN: {
      w.U8(static_cast<uint8_t>(t.length));
      PutLittle(w, static_cast<uint64_t>(v.ToInt64()), t.length);
      return;
    }
    case type::kBitN:
      w.U8(1);
      w.U8(v.ToBool() ? 1 : 0);
      return;
    case type::kFltN: {
      const double d = v.ToDouble();
      if (t.length == 4) {
        const float f = static_cast<float>(d);
        uint32_t bits = 0;
        std::memcpy(&bits, &f, 4);
        w.U8(4);
        w.U32(bits);
      } else {
        uint64_t bits = 0;
        std::memcpy(&bits, &d, 8);
        w.U8(8);
        w.U64(bits);
      }
      return;
    }
    case type::kMoneyN: {
      const auto m = static_cast<int64_t>(v.ToDecimal().Rescale(4).mantissa());
      w.U8(8);
      w.U32(static_cast<uint32_t>(static_cast<uint64_t>(m) >> 32));
      w.U32(static_cast<uint32_t>(static_cast<uint64_t>(m) & 0xFFFFFFFF));
      return;
    }
    case type::kDecimal:
    case type::kNumeric:
    case type::kDecimalN:
    case type::kNumericN: {
      const Int128 m = v.ToDecimal().Rescale(t.scale).mantissa();
      const Int128 mag = m < 0 ? -m : m;  // below 10^38, so never the lowest value
      w.U8(static_cast<uint8_t>(t.length));
      w.U8(m < 0 ? 0 : 1);
      for (size_t i = 0; i + 1 < t.length; ++i) w.U8(static_cast<uint8_t>((mag >> (8 * i)) & 0xFF));
      return;
    }
    case type::kDateTimeN: {
      const double days = v.ToDate();
      if (t.length == 4) {
        int64_t day = 0, ms = 0;
        SplitDate(days, day, ms);
        w.U8(4);
        w.U16(static_cast<uint16_t>(day - kDays1900));
        w.U16(static_cast<uint16_t>((ms + 30000) / 60000));
        return;
      }
      int32_t tds_days = 0;
      uint32_t ticks = 0;
      ToTdsDateTime(days, tds_days, ticks);
      w.U8(8);
      w.U32(static_cast<uint32_t>(tds_days));
      w.U32(ticks);
      return;
    }
    case type::kDateN:
    case type::kTimeN:
    case type::kDateTime2N:
    case type::kDateTimeOffsetN: {
      int64_t day = 0, ms = 0;
      SplitDate(v.ToDate(), day, ms);
      const size_t tb = TimeBytes(t.scale);
      const int64_t units = t.scale >= 3 ? ms * Pow10(t.scale - 3) : ms / Pow10(3 - t.scale);
      size_t len = t.type == type::kDateN ? 3 : t.type == type::kTimeN ? tb : tb + 3;
      if (t.type == type::kDateTimeOffsetN) len += 2;
      w.U8(static_cast<uint8_t>(len));
      if (t.type != type::kDateN) PutLittle(w, static_cast<uint64_t>(units), tb);
      if (t.type != type::kTimeN) PutLittle(w, static_cast<uint64_t>(day), 3);
      if (t.type == type::kDateTimeOffsetN) w.U16(0);
      return;
    }
    case type::kBigVarChar:
    case type::kBigChar:
    case type::kNVarChar:
    case type::kNChar:
      WriteCharacterValue(w, t, CharacterBytes(t, v.ToText()));
      return;
    case type::kBigVarBinary:
    case type::kBigBinary:
      WriteCharacterValue(w, t, v.ToText());
      return;
    default:
      throw ProtocolError("the test server cannot write a value of wire type " +
                          std::to_string(t.type));
  }
}

int AdoParameterType(const TypeInfo& t) {
  switch (t.type) {
    case type::kBit:
    case type::kBitN:
      return ado::kTypeBoolean;
    case type::kInt1:
    case type::kInt2:
    case type::kInt4:
      return ado::kTypeInteger;
    case type::kInt8:
      return ado::kTypeBigInt;
    case type::kIntN:
      return t.length == 8 ? ado::kTypeBigInt : ado::kTypeInteger;
    case type::kFlt4:
    case type::kFlt8:
    case type::kFltN:
      return ado::kTypeDouble;
    case type::kDecimal:
    case type::kNumeric:
    case type::kDecimalN:
    case type::kNumericN:
    case type::kMoney:
    case type::kMoney4:
    case type::kMoneyN:
      return ado::kTypeDecimal;
    case type::kDateTim4:
    case type::kDateTime:
    case type::kDateTimeN:
    case type::kDateTime2N:
    case type::kDateTimeOffsetN:
    case type::kTimeN:
      return ado::kTypeDBTimeStamp;
    case type::kDateN:
      return ado::kTypeDBDate;
    case type::kNVarChar:
    case type::kNChar:
    case type::kNText:
      return ado::kTypeVarWChar;
    default:
      return ado::kTypeVarChar;
  }
}

size_t Reply::TokenEndAfter(size_t offset) const {
  auto it = std::lower_bound(ends_.begin(), ends_.end(), offset);
  return it == ends_.end() ? w_.size() : *it;
}

namespace {

// A token with a two-byte length in front of its body.
void WriteSized(Reply& r, uint8_t token, const std::string& body) {
  r.w().U8(token);
  r.w().U16(static_cast<uint16_t>(body.size()));
  r.w().Bytes(body);
  r.EndToken();
}

}  // namespace

void WriteLoginAck(Reply& r, uint32_t tds_version, std::string_view program, uint32_t version) {
  Writer b;
  b.U8(1);  // SQL_TSQL
  // The version most significant byte first, unlike LOGIN7's.
  b.U16BigEndian(static_cast<uint16_t>(tds_version >> 16));
  b.U16BigEndian(static_cast<uint16_t>(tds_version & 0xFFFF));
  b.BVarChar(program);
  b.U8(static_cast<uint8_t>(version >> 24));
  b.U8(static_cast<uint8_t>(version >> 16));
  b.U8(static_cast<uint8_t>(version >> 8));
  b.U8(static_cast<uint8_t>(version));
  WriteSized(r, kTokenLoginAck, b.str());
}

void WriteEnvChange(Reply& r, uint8_t kind, std::string_view new_value,
                    std::string_view old_value) {
  Writer b;
  b.U8(kind);
  b.BVarChar(new_value);
  b.BVarChar(old_value);
  WriteSized(r, kTokenEnvChange, b.str());
}

void WriteCollationChange(Reply& r, std::string_view collation) {
  Writer b;
  b.U8(kEnvCollation);
  b.U8(static_cast<uint8_t>(collation.size()));
  b.Bytes(collation);
  b.U8(0);
  WriteSized(r, kTokenEnvChange, b.str());
}

void WriteMessage(Reply& r, bool error, const ServerMessage& m, std::string_view server) {
  Writer b;
  b.U32(static_cast<uint32_t>(m.number));
  b.U8(m.state);
  b.U8(m.severity);
  b.UsVarChar(m.text);
  b.BVarChar(server);
  b.BVarChar(m.procedure);
  b.U32(static_cast<uint32_t>(m.line));
  WriteSized(r, error ? kTokenError : kTokenInfo, b.str());
}

void WriteDone(Reply& r, uint8_t token, uint16_t status, uint16_t command, uint64_t rows) {
  r.w().U8(token);
  r.w().U16(status);
  r.w().U16(command);
  r.w().U64(rows);
  r.EndToken();
}

void WriteReturnStatus(Reply& r, int32_t value) {
  r.w().U8(kTokenReturnStatus);
  r.w().U32(static_cast<uint32_t>(value));
  r.EndToken();
}

void WriteReturnValue(Reply& r, uint16_t ordinal, std::string_view name, const TypeInfo& t,
                      const Variant& value) {
  Writer& w = r.w();
  w.U8(kTokenReturnValue);
  w.U16(ordinal);
  w.BVarChar(name);
  w.U8(0x01);     // an output parameter
  w.U32(0);       // user type
  w.U16(0x0009);  // nullable, updatability unknown
  WriteTypeInfo(w, t);
  WriteValue(w, t, value);
  r.EndToken();
}

std::vector<TypeInfo> ColumnTypes(const ado::RowSet& rows) {
  std::vector<TypeInfo> types;
  for (size_t c = 0; c < rows.column_count(); ++c) {
    const ado::ColumnInfo& info = rows.columns()[c];
    std::string declared;
    for (char ch : info.sql_type)
      declared += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    TypeInfo t;
    switch (info.type) {
      case ado::FieldType::kBool:
        t.type = type::kBitN;
        t.length = 1;
        break;
      case ado::FieldType::kInt: {
        t.type = type::kIntN;
        t.length = declared.starts_with("bigint")     ? 8
                   : declared.starts_with("smallint") ? 2
                   : declared.starts_with("tinyint")  ? 1
                                                      : 4;
        // A value the declared width cannot hold widens the column.
        const int64_t lo = t.length == 1 ? 0 : -(int64_t{1} << (8 * t.length - 1));
        const int64_t hi = t.length == 1 ? 255 : (int64_t{1} << (8 * t.length - 1)) - 1;
        for (size_t row = 0; row < rows.row_count() && t.length < 8; ++row) {
          if (rows.IsNull(row, c)) continue;
          const int64_t v = rows.GetInt(row, c);
          if (v < lo || v > hi) t.length = 8;
        }
        break;
      }
      case ado::FieldType::kDecimal: {
        t.type = declared.starts_with("numeric") ? type::kNumericN : type::kDecimalN;
        t.scale = static_cast<uint8_t>(std::clamp(info.scale, 0, 38));
        int precision = info.precision > 0 ? info.precision : 38;
        precision = std::clamp(precision, std::max<int>(t.scale, 1), 38);
        // The digits the values need, should the declared precision be short.
        for (size_t row = 0; row < rows.row_count(); ++row) {
          if (rows.IsNull(row, c)) continue;
          Int128 m = rows.GetDecimal(row, c).Rescale(t.scale).mantissa();
          int digits = 0;
          for (m = m < 0 ? -m : m; m > 0; m /= 10) ++digits;
          precision = std::max(precision, std::min(digits, 38));
        }
        t.precision = static_cast<uint8_t>(precision);
        t.length = static_cast<uint32_t>(DecimalLength(precision));
        break;
      }
      case ado::FieldType::kDouble:
        t.type = type::kFltN;
        t.length = 8;
        break;
      case ado::FieldType::kDateTime:
        t.type = type::kDateTimeN;
        t.length = declared.starts_with("smalldatetime") ? 4 : 8;
        break;
      case ado::FieldType::kText: {
        // varchar data is held in the collation's code page; a column with
        // text that code page cannot hold goes out as nvarchar.
        bool unicode = declared.starts_with("n");
        size_t longest = 0;
        for (size_t row = 0; row < rows.row_count() && !unicode; ++row) {
          if (rows.IsNull(row, c)) continue;
          if (auto gbk = Utf8ToCp936(rows.GetText(row, c)))
            longest = std::max(longest, gbk->size());
          else
            unicode = true;
        }
        if (unicode) {
          longest = 0;
          for (size_t row = 0; row < rows.row_count(); ++row)
            if (!rows.IsNull(row, c))
              longest = std::max(longest, Utf8ToUtf16(rows.GetText(row, c)).size());
        }
        t.type = unicode ? type::kNVarChar : type::kBigVarChar;
        const size_t declared_bytes =
            static_cast<size_t>(std::max(info.size, 0)) * (unicode ? 2 : 1);
        size_t bytes = std::max({declared_bytes, longest, size_t{unicode ? 2u : 1u}});
        t.length = bytes > kMaxInlineBytes ? kPlpLength : static_cast<uint32_t>(bytes);
        t.collation = std::string(kChinesePrcCiAs);
        break;
      }
    }
    types.push_back(std::move(t));
  }
  return types;
}

void WriteColumnMetadata(Reply& r, const ado::RowSet& rows, const std::vector<TypeInfo>& types) {
  Writer& w = r.w();
  w.U8(kTokenColMetadata);
  w.U16(static_cast<uint16_t>(types.size()));
  for (size_t c = 0; c < types.size(); ++c) {
    w.U32(0);       // user type
    w.U16(0x0009);  // nullable, updatability unknown
    WriteTypeInfo(w, types[c]);
    w.BVarChar(rows.columns()[c].name);
  }
  r.EndToken();
}

void WriteRow(Reply& r, const ado::RowSet& rows, const std::vector<TypeInfo>& types, size_t row) {
  Writer& w = r.w();
  w.U8(kTokenRow);
  for (size_t c = 0; c < types.size(); ++c) {
    const TypeInfo& t = types[c];
    if (rows.IsNull(row, c)) {
      WriteNull(w, t);
      continue;
    }
    switch (rows.columns()[c].type) {
      case ado::FieldType::kBool:
        WriteValue(w, t, Variant(rows.GetBool(row, c)));
        break;
      case ado::FieldType::kInt:
        WriteValue(w, t, Variant::FromInt64(rows.GetInt(row, c)));
        break;
      case ado::FieldType::kDecimal:
        WriteValue(w, t, Variant(rows.GetDecimal(row, c)));
        break;
      case ado::FieldType::kDouble:
        WriteValue(w, t, Variant(rows.GetDouble(row, c)));
        break;
      case ado::FieldType::kDateTime:
        WriteValue(w, t, Variant::Date(rows.GetDouble(row, c)));
        break;
      case ado::FieldType::kText:
        WriteCharacterValue(w, t, CharacterBytes(t, rows.GetText(row, c)));
        break;
    }
  }
  r.EndToken();
}

}  // namespace q8::tds
