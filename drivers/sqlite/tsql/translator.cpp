// Translate: tokenize, split, and rewrite each statement of a batch.
#include "drivers/sqlite/tsql/translator.h"

#include "drivers/sqlite/tsql/rewriter.h"
#include "drivers/sqlite/tsql/splitter.h"
#include "drivers/sqlite/tsql/tokenizer.h"
#include "q8vantorpt/error.h"

namespace q8::tsql {

std::shared_ptr<const Batch> Translate(std::string_view tsql, const Catalog& catalog) {
  auto batch = std::make_shared<Batch>();
  const std::vector<Token> tokens = Tokenize(tsql);
  if (tokens.back().unterminated) Raise(kMissingEndCommentNumber, std::string(kMissingEndComment));
  const std::vector<TokenRange> ranges = SplitStatements(tokens);
  batch->statements.reserve(ranges.size() + 2);
  // The syntax trees of all statements live in one arena, released at once.
  Arena arena;
  TableSource tables(catalog);
  Rewriter rewriter(tsql, tokens, tables, &arena);
  for (const TokenRange& r : ranges) {
    try {
      rewriter.Rewrite(r, batch->statements);
    } catch (const StatementFailure&) {
      throw;
    } catch (const Error& e) {
      // The statement's own text, from its first token to the end of its last.
      std::string statement;
      if (r.end > r.begin) {
        const Token& first = tokens[r.begin];
        const Token& last = tokens[r.end - 1];
        statement = std::string(tsql.substr(first.pos, last.pos + last.len - first.pos));
      }
      throw StatementFailure(e, std::move(statement));
    }
  }
  return batch;
}

}  // namespace q8::tsql
