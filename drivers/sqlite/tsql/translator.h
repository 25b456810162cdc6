// T-SQL to SQLite translation for the embedded engine.
//
// The component sends T-SQL batches written for the ERP's SQL Server: many
// statements with no ";" between them, local "#" temporary tables, bracketed
// names and types, ISNULL, getdate(), CONVERT(datetime, …), datetime
// arithmetic and comparisons with date literals, exact decimal arithmetic
// typed by SQL Server's rules, implicit conversions by data type precedence,
// and text compared without regard to case and trailing blanks.
// Translate() turns such a batch into a list of SQLite statements, each with
// the SQL Server type of its result columns, so that running them one by one
// gives the rows SQL Server would give. RegisterFunctions() installs, on every
// SQLite connection, the functions and the collation the translated text uses.
//
// Unknown syntax passes through unchanged, so that SQLite reports it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "q8vantorpt/ado.h"

struct sqlite3;

namespace q8::tsql {

// The static SQL Server type of a column or expression.
struct SqlType {
  bool known = false;
  ado::FieldType kind = ado::FieldType::kText;
  int precision = 0;  // decimal precision
  int scale = 0;      // decimal scale
  int size = 0;       // text length in characters, 0 when unknown or max
  std::string name;  // SQL Server spelling: "int", "decimal(23,10)", "nvarchar(80)", "datetime" …

  static SqlType FromDeclared(std::string_view declared);  // parses "decimal(23, 10)", "[int]" …
};

struct ColumnDecl {
  std::string name;
  SqlType type;
};

// The declared columns of the database's tables; the executor implements it
// over the open database (PRAGMA table_info), including temporary tables
// created by earlier executions on the same connection.
class Catalog {
 public:
  virtual ~Catalog() = default;
  // The columns of a table in declared order, or nullopt when it does not exist.
  virtual std::optional<std::vector<ColumnDecl>> Table(std::string_view name) const = 0;
};

struct Statement {
  enum class Kind {
    kQuery,       // returns rows (a SELECT)
    kChange,      // INSERT, UPDATE, DELETE: yields a row count unless NOCOUNT is on
    kDdl,         // CREATE TABLE, DROP TABLE, CREATE INDEX …
    kNoOp,        // SET TRANSACTION ISOLATION LEVEL, DBCC TRACEOFF, SET … accepted and ignored
    kSetNocount,  // SET NOCOUNT ON/OFF (nocount tells which)
  };
  Kind kind = Kind::kNoOp;
  std::string sql;       // SQLite text, no trailing ";" (empty for kNoOp, kSetNocount)
  std::string original;  // the T-SQL text of the statement, for error messages
  bool nocount = false;  // kSetNocount: the new setting
  // kQuery: per result column, the SQL Server type (known == false when the
  // translator could not type it) and the name SQL Server reports (nullopt:
  // take SQLite's column name; "" for an unnamed expression). Both are empty
  // when the translator does not know the columns at all (a statement that
  // passed through unchanged, or * over a table the catalog does not know):
  // the executor then takes SQLite's names and declared types.
  std::vector<SqlType> result_types;
  std::vector<std::optional<std::string>> result_names;
};

struct Batch {
  std::vector<Statement> statements;
};

// Translates a batch. Temporary tables created by the batch are known to the
// statements after their CREATE. Raises q8::Error (source "Q8VANTORpt", SQL
// Server's number and text) for a date literal that cannot be read where a
// datetime is compared (241), for a grouped query whose select list names a
// column that is neither grouped nor aggregated (8120), which SQLite would
// accept, and for a "/*" comment without its end (113); otherwise never
// fails: what it does not understand passes through.
//
// One T-SQL statement gives one Statement, except SELECT … INTO t (a kDdl
// CREATE of t with the query's column types, then a kChange INSERT) and DROP
// TABLE a, b (one kDdl per table); these share `original`.
//
// The SQLite text quotes identifiers with "…". The executor should turn off
// SQLite's double-quoted string literals (sqlite3_db_config with
// SQLITE_DBCONFIG_DQS_DML and SQLITE_DBCONFIG_DQS_DDL set to 0), so that a
// misspelt column is an error, as on SQL Server, and not a string. Datetime
// values bound to "?" are best bound as canonical text.
std::shared_ptr<const Batch> Translate(std::string_view tsql, const Catalog& catalog);

// The failure of one statement of a batch in Translate: the error as SQL
// Server words it, and the T-SQL text of the statement, so that a message
// can name the statement that failed rather than the batch.
class StatementFailure : public Error {
 public:
  StatementFailure(const Error& error, std::string statement)
      : Error(error), statement_(std::move(statement)) {}
  const std::string& statement() const { return statement_; }

 private:
  std::string statement_;
};

// As Translate, cached by the batch text and `catalog_key` (which names the
// database and its schema version), so a repeated report pays once.
std::shared_ptr<const Batch> TranslateCached(std::string_view tsql, const Catalog& catalog,
                                             std::string_view catalog_key);

// Installs the functions and the collation used by translated statements on
// one SQLite connection. Returns SQLITE_OK or an SQLite error code.
// tsql_getdate() reads the local clock on every call (with milliseconds, in
// SQL Server's steps of 1/300 s).
int RegisterFunctions(sqlite3* db);

// Error texts raised by the functions, as SQL Server words them. The executor
// maps them to SQL Server's numbers.
inline constexpr std::string_view kDivideByZero = "Divide by zero error encountered.";  // 8134
inline constexpr std::string_view kDateConversion =
    "Conversion failed when converting date and/or time from character string.";  // 241
inline constexpr std::string_view kDateOverflow =
    "Adding a value to a 'datetime' column caused an overflow.";  // 517
inline constexpr std::string_view kArithmeticOverflow =
    "Arithmetic overflow error converting expression to data type datetime.";  // 8115
// Families of texts that name a value or a type, known by how they begin:
// "Arithmetic overflow error converting numeric to data type int." (8115),
// "Conversion failed when converting the varchar value 'x' to data type
// int." (245), "Error converting data type varchar to numeric." (8114), "The
// conversion of the varchar value '3000000000' overflowed an int column."
// (248).
inline constexpr std::string_view kOverflowFamily = "Arithmetic overflow error ";
inline constexpr std::string_view kConversionFamily = "Conversion failed when converting the ";
inline constexpr std::string_view kConvertingFamily = "Error converting data type ";
inline constexpr std::string_view kValueOverflowFamily = "The conversion of the ";
// Raised by Translate for a "/*" comment that the batch never closes.
inline constexpr std::string_view kMissingEndComment = "Missing end comment mark '*/'.";

inline constexpr int kDivideByZeroNumber = 8134;
inline constexpr int kDateConversionNumber = 241;
inline constexpr int kDateOverflowNumber = 517;
inline constexpr int kArithmeticOverflowNumber = 8115;
inline constexpr int kConversionFailedNumber = 245;
inline constexpr int kErrorConvertingNumber = 8114;
inline constexpr int kValueOverflowNumber = 248;
inline constexpr int kNotGroupedNumber = 8120;        // raised by Translate
inline constexpr int kMissingEndCommentNumber = 113;  // raised by Translate

// The name of the collation the translator applies to text comparisons,
// GROUP BY, ORDER BY and the text columns of work tables: Unicode case
// folding, trailing blanks ignored.
inline constexpr std::string_view kCollation = "TSQL_CI";

}  // namespace q8::tsql
