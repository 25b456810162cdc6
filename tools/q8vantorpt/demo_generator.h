// The generator of the demo database: the rows of every table, drawn from
// one seed and handed to the writer in a fixed order.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/q8vantorpt/demo_db.h"
#include "tools/q8vantorpt/demo_model.h"
#include "tools/q8vantorpt/demo_writer.h"

namespace q8::tool::demo {

class Generator {
 public:
  Generator(TableWriters& out, const DemoOptions& options)
      : out_(out), rng_(options.seed), target_(options.lines) {}

  // Writes every row through `out` and returns the rows written per table,
  // in the order the tables were first written.
  std::vector<std::pair<std::string, int64_t>> Run();

 private:
  void Units();
  void Currencies();
  void Materials();
  void Partners();
  void Warehouses();
  void Prices();
  void ProfileAndCalendar();
  void Catalogue();
  void DataRights();
  void Bills();
  void Stock();

  // Bills.
  struct Line {
    const Material* m;
    int aux;
    int64_t made_day;  // -1 = no batch
    int64_t qty;
    int unit;  // the line's unit
    int src_stock, dst_stock;
    int64_t price_fen;
  };
  void WriteStockBill(int tran_type, int bis_type, int sale_style, int rob, int supply_id,
                      int cust_id, int64_t day, const std::string& bill_no,
                      std::vector<Line>& lines, bool cancelled, bool checked, int* inter_id_out);
  void WriteInvoice(const Customer& c, int64_t day, int source_inter_id,
                    const std::vector<Line>& lines);
  void Send(int64_t day, int tran_type);
  void ReturnOrSettle(int64_t day, bool settle);
  void Purchase(int64_t day);
  Line NewLine(const Material& m, int64_t day, int64_t max_boxes);
  const Material& PickMaterial();
  bool Checked(int64_t day) { return day < december_ || rng_.Percent(70); }
  // The next number of a series, as "XOUT000123".
  std::string NextBillNo(Series series) {
    return kSeriesPrefix[series] + Pad(++bill_counters_[series], 6);
  }
  // DateTime(day), DateText(day) and the batch number of a production day
  // ("" for -1), each formatted once; rows bind them with Kept().
  const std::string& Dt(int64_t day) { return date_times_(day); }
  const std::string& DateOf(int64_t day) { return dates_(day); }
  const std::string& Batch(int64_t made_day) {
    static const std::string none;
    return made_day < 0 ? none : batches_(made_day);
  }

  Insert& Table(std::string table, std::initializer_list<std::string_view> columns,
                bool or_ignore = false, int batch = 1) {
    return out_.Table(std::move(table), columns, or_ignore, batch);
  }
  // Rows per statement for the large tables, each written by one Insert
  // (two Inserts of one table would interleave their rows differently).
  static constexpr int kBatch = 32;

  TableWriters& out_;
  Rng rng_;
  int64_t target_;
  int64_t lines_written_ = 0;
  int64_t year_start_ = 0, year_end_ = 0, december_ = 0, far_future_ = 0;
  int next_item_id_ = 1001;

  std::vector<Material> materials_;
  std::vector<Customer> customers_;  // consignment customers first
  size_t consignment_customers_ = 0;
  std::vector<Warehouse> warehouses_;  // central warehouses first
  std::vector<int> suppliers_;
  // Per customer index; the stock is written in key order at the end.
  std::vector<CustomerPositions> positions_;

  DayTexts date_times_{DateTime}, dates_{DateText}, batches_{Compact};
  Insert* bill_ = nullptr;
  Insert* bill_entry_ = nullptr;
  Insert* sale_ = nullptr;
  Insert* sale_entry_ = nullptr;
  int next_bill_id_ = 1, next_bill_detail_ = 1, next_sale_id_ = 1, next_sale_detail_ = 1;
  int bill_counters_[std::size(kSeriesPrefix)] = {};
};

}  // namespace q8::tool::demo
