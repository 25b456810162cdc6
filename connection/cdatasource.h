// CDataSource: opens connections to the ERP database named by a descriptor
// and answers questions about the DBMS behind it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "q8vantorpt/ado.h"
#include "q8vantorpt/dictionary.h"

namespace q8 {

class CParse;
class SharedPropertyGroup;

class CDataSource {
 public:
  CDataSource() = default;
  CDataSource(const CDataSource&) = delete;
  CDataSource& operator=(const CDataSource&) = delete;

  const std::shared_ptr<CParse>& ParseObject() const { return parse_; }
  void SetParseObject(std::shared_ptr<CParse> parser) { parse_ = std::move(parser); }

  // A new open connection: client-side cursors, no command time limit,
  // isolation READ UNCOMMITTED. The caller owns it.
  ado::ConnectionPtr UnCommittedConnection() const;
  // A new open connection with isolation READ COMMITTED.
  ado::ConnectionPtr Connection() const;
  // A new open connection with server-side cursors.
  ado::ConnectionPtr ConnectionSrv() const;
  std::string ConnectString() const;
  std::string DBMSName() const;  // the descriptor's "DBMS Name"
  bool IsOracle() const;         // DBMSName() == "Oracle", case-sensitive

  // Capabilities, from the process-wide cache of this DBMS name and version.
  std::string DBMSVersion() const;
  bool MultipleResults() const;
  bool LikeEscapeClause() const;
  bool IEF() const;
  int32_t NumericFunctions() const;
  int32_t StringFunctions() const;
  int32_t SystemFunctions() const;
  int32_t DateTimeFunctions() const;
  bool ProcSupported(const std::string& proc_name) const;

  // Type information, from the process-wide cache of t_DataTypeInfo.
  void LoadDataTypeInfo(SharedPropertyGroup& group) const;
  std::string GetTypeName(int32_t data_type, int32_t& precision, int32_t& scale,
                          int32_t& actual_type, int32_t& actual_size, int32_t& bind_type) const;
  int32_t GetActualType(int32_t data_type, int32_t& precision, int32_t& scale,
                        int32_t& actual_size, int32_t& bind_type) const;
  int32_t GetBindType(int32_t data_type) const;

  // Whether the connection's Errors collection holds a real error; raises
  // the whole collection as one error when asked to.
  bool HasADOError(const ado::Connection& cn, bool raise_error) const;

 private:
  bool LoadCapabilities(bool raise_error) const;
  Variant ReadCapability(const std::string& name, bool raise_error) const;
  DictionaryPtr GetTypeRow(int32_t data_type) const;

  std::shared_ptr<CParse> parse_;
};

// The current row of a record set as a new Dictionary: field name → value.
DictionaryPtr RowToDictionary(const ado::Recordset& rs);

}  // namespace q8
