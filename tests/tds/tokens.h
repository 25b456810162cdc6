// The token stream of the TDS test server: SQL Server's wire types (TYPE_INFO
// and values, read from RPC parameters and written into results) and the
// tokens of a reply.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/variant.h"
#include "tests/tds/wire.h"

namespace q8::tds {

// Wire types (TYPE_INFO's first byte) the server writes or reads.
namespace type {
inline constexpr uint8_t kNull = 0x1F;
inline constexpr uint8_t kInt1 = 0x30, kBit = 0x32, kInt2 = 0x34, kInt4 = 0x38, kInt8 = 0x7F;
inline constexpr uint8_t kDateTim4 = 0x3A, kFlt4 = 0x3B, kMoney = 0x3C, kDateTime = 0x3D,
                         kFlt8 = 0x3E, kMoney4 = 0x7A;
inline constexpr uint8_t kGuid = 0x24, kIntN = 0x26, kDecimal = 0x37, kNumeric = 0x3F, kBitN = 0x68,
                         kDecimalN = 0x6A, kNumericN = 0x6C, kFltN = 0x6D, kMoneyN = 0x6E,
                         kDateTimeN = 0x6F;
inline constexpr uint8_t kDateN = 0x28, kTimeN = 0x29, kDateTime2N = 0x2A, kDateTimeOffsetN = 0x2B;
inline constexpr uint8_t kChar = 0x2F, kVarChar = 0x27, kBinary = 0x2D, kVarBinary = 0x25;
inline constexpr uint8_t kBigVarBinary = 0xA5, kBigVarChar = 0xA7, kBigBinary = 0xAD,
                         kBigChar = 0xAF, kNVarChar = 0xE7, kNChar = 0xEF;
inline constexpr uint8_t kText = 0x23, kNText = 0x63, kImage = 0x22;
}  // namespace type

// Length of a variable type that is sent as PLP chunks (the max types).
inline constexpr uint32_t kPlpLength = 0xFFFF;

// The collation of the server: Chinese_PRC_CI_AS (LCID 0x0804, case-,
// kana- and width-insensitive), whose varchar data is code page 936.
inline constexpr std::string_view kChinesePrcCiAs{"\x04\x08\xD0\x00\x00", 5};

// One TYPE_INFO.
struct TypeInfo {
  uint8_t type = type::kNull;
  uint32_t length = 0;  // bytes of the value, or kPlpLength; 0 for fixed types
  uint8_t precision = 0;
  uint8_t scale = 0;
  std::string collation;  // 5 bytes, for character types

  bool IsCharacter() const;
  bool IsUnicode() const;
};

// Reads a TYPE_INFO as it precedes a parameter value. Throws ProtocolError
// for a type the server does not know.
TypeInfo ReadTypeInfo(Reader& r);
// Reads one value of `t`: Null, Bool, Long (Decimal beyond 32 bits), Double,
// Decimal, Date or String (varchar data decoded from code page 936).
Variant ReadValue(Reader& r, const TypeInfo& t);
// Writes a TYPE_INFO and one value of it (converted to the type).
void WriteTypeInfo(Writer& w, const TypeInfo& t);
void WriteValue(Writer& w, const TypeInfo& t, const Variant& v);

// The ado parameter type that carries a value of `t` into the engine.
int AdoParameterType(const TypeInfo& t);

// Automation dates (days since 1899-12-30) and the TDS datetime (days since
// 1900-01-01 and 1/300 s of the day).
void ToTdsDateTime(double days, int32_t& tds_days, uint32_t& ticks);
double FromTdsDateTime(int32_t tds_days, uint32_t ticks);

// A reply under construction: the token stream and where each token ends,
// so that an attention can cut it at a token boundary.
class Reply {
 public:
  Writer& w() { return w_; }
  // Marks the end of the token just written.
  void EndToken() { ends_.push_back(w_.size()); }
  const std::string& bytes() { return w_.str(); }
  // The first token end at or after `offset` (the size when none).
  size_t TokenEndAfter(size_t offset) const;
  bool empty() const { return w_.size() == 0; }

 private:
  Writer w_;
  std::vector<size_t> ends_;
};

// DONE status bits.
inline constexpr uint16_t kDoneFinal = 0x0000, kDoneMore = 0x0001, kDoneError = 0x0002,
                          kDoneCount = 0x0010, kDoneAttention = 0x0020;
inline constexpr uint8_t kTokenDone = 0xFD, kTokenDoneProc = 0xFE, kTokenDoneInProc = 0xFF;

// ENVCHANGE types.
inline constexpr uint8_t kEnvDatabase = 1, kEnvLanguage = 2, kEnvPacketSize = 4, kEnvCollation = 7;

// TDS versions as LOGIN7 and LOGINACK carry them.
inline constexpr uint32_t kTds71 = 0x71000001, kTds72 = 0x72090002, kTds73 = 0x730B0003,
                          kTds74 = 0x74000004;
// LOGINACK for `tds_version`, naming the program and its version
// (major, minor, build as 0xMMmmBBBB).
void WriteLoginAck(Reply& r, uint32_t tds_version, std::string_view program, uint32_t version);
void WriteEnvChange(Reply& r, uint8_t type, std::string_view new_value, std::string_view old_value);
void WriteCollationChange(Reply& r, std::string_view collation);
// An ERROR (error = true) or INFO token.
struct ServerMessage {
  int32_t number = 0;
  uint8_t state = 1;
  uint8_t severity = 16;  // "class"
  std::string text;
  std::string procedure;
  int32_t line = 1;
};
void WriteMessage(Reply& r, bool error, const ServerMessage& m, std::string_view server);
void WriteDone(Reply& r, uint8_t token, uint16_t status, uint16_t command, uint64_t rows);
void WriteReturnStatus(Reply& r, int32_t value);
void WriteReturnValue(Reply& r, uint16_t ordinal, std::string_view name, const TypeInfo& t,
                      const Variant& value);

// The wire type of each column of `rows`, as SQL Server would declare it.
std::vector<TypeInfo> ColumnTypes(const ado::RowSet& rows);
void WriteColumnMetadata(Reply& r, const ado::RowSet& rows, const std::vector<TypeInfo>& types);
// One ROW token for row `row`.
void WriteRow(Reply& r, const ado::RowSet& rows, const std::vector<TypeInfo>& types, size_t row);

}  // namespace q8::tds
