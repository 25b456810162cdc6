// The bills of the demo database (purchases, consignment sends, returns,
// settlements and their invoices, in date order) and the stock they leave.
#include <algorithm>
#include <string>
#include <vector>

#include "tools/q8vantorpt/demo_generator.h"

namespace q8::tool::demo {

// ---------------------------------------------------------------------------
// Bills.

const Material& Generator::PickMaterial() {
  for (;;) {
    const Material& m = materials_[rng_.Skewed(materials_.size())];
    if (!m.deleted || rng_.Percent(5)) return m;  // deleted materials moved before deletion
  }
}

Generator::Line Generator::NewLine(const Material& m, int64_t day, int64_t max_boxes) {
  Line l{};
  l.m = &m;
  l.aux = m.aux_count > 0
              ? m.aux_first + static_cast<int>(rng_.Below(static_cast<uint64_t>(m.aux_count)))
              : 0;
  l.made_day = -1;
  if (m.kind->shelf_days > 0) {
    // Batches are made on the 1st or 16th of a month, 1-6 months earlier.
    const Civil c = FromDayNumber(day - rng_.Between(30, 180));
    l.made_day = DayNumber(c.y, c.m, c.d < 16 ? 1 : 16);
  }
  if (m.box > 1 && rng_.Percent(85)) {
    l.qty = rng_.Between(1, max_boxes) * m.box;
    l.unit = m.store_unit_id;
  } else {
    l.qty = rng_.Between(1, max_boxes * (m.box > 1 ? 4 : 2));
    l.unit = kUnitPiece;
  }
  l.price_fen = m.cost_fen;
  return l;
}

void Generator::WriteStockBill(int tran_type, int bis_type, int sale_style, int rob, int supply_id,
                               int cust_id, int64_t day, const std::string& bill_no,
                               std::vector<Line>& lines, bool cancelled, bool checked,
                               int* inter_id_out) {
  const int id = next_bill_id_++;
  if (inter_id_out != nullptr) *inter_id_out = id;
  bill_->Int(id)
      .Text(bill_no)
      .Kept(Dt(day))
      .Int(tran_type)
      .Int(bis_type)
      .Int(sale_style)
      .Int(supply_id)
      .Int(cust_id)
      .Int(rob)
      .Int(checked ? 1 : 0)
      .Int(cancelled ? 1 : 0)
      .Row();
  int entry = 0;
  for (const Line& l : lines) {
    const int64_t unit_factor = l.unit == l.m->store_unit_id ? l.m->box : 1;
    bill_entry_->Int(id)
        .Int(++entry)
        .Int(next_bill_detail_++)
        .Int(l.m->id)
        .Int(l.aux)
        .Int(l.unit)
        .Int(l.dst_stock)
        .Int(l.src_stock)
        .Kept(Batch(l.made_day));
    if (l.made_day >= 0) {
      bill_entry_->Kept(Dt(l.made_day))
          .Int(l.m->kind->shelf_days)
          .Kept(Dt(l.made_day + l.m->kind->shelf_days));
    } else {
      bill_entry_->Null().Int(0).Null();
    }
    bill_entry_->Int(l.qty)
        .Real(static_cast<double>(l.qty) / static_cast<double>(unit_factor))
        .Real(Fen(l.price_fen))
        .Row();
    ++lines_written_;
  }
}

void Generator::WriteInvoice(const Customer& c, int64_t day, int source_inter_id,
                             const std::vector<Line>& lines) {
  const int id = next_sale_id_++;
  const bool special = rng_.Percent(40);  // VAT special invoice (80) or ordinary (86)
  const std::string bill_no = NextBillNo(special ? kSpecialInvoice : kInvoice);
  const bool cancelled = rng_.Percent(2);
  sale_->Int(id)
      .Text(bill_no)
      .Kept(Dt(day))
      .Int(special ? 80 : 86)
      .Int(104)
      .Int(c.id)
      .Int(1)
      .Int(Checked(day) ? 1 : 0)
      .Int(cancelled ? 1 : 0)
      .Int(1)
      .Row();
  int entry = 0;
  for (const Line& l : lines) {
    ++entry;
    const int64_t unit_factor = l.unit == l.m->store_unit_id ? l.m->box : 1;
    // Tax-inclusive price per base unit, at the customer's discount.
    const int64_t price = l.m->sale_fen * c.discount_pct / 100;
    sale_entry_->Int(id)
        .Int(entry)
        .Int(next_sale_detail_++)
        .Int(l.m->id)
        .Int(l.aux)
        .Int(l.unit)
        .Kept(Batch(l.made_day));
    if (l.made_day >= 0) {
      sale_entry_->Kept(Dt(l.made_day))
          .Int(l.m->kind->shelf_days)
          .Kept(Dt(l.made_day + l.m->kind->shelf_days));
    } else {
      sale_entry_->Null().Int(0).Null();
    }
    sale_entry_->Int(l.qty)
        .Real(static_cast<double>(l.qty) / static_cast<double>(unit_factor))
        .Real(Fen(price))
        .Int(source_inter_id)
        .Int(entry)
        .Row();
    ++lines_written_;
  }
}

void Generator::Send(int64_t day, int tran_type) {
  const size_t ci = rng_.Skewed(consignment_customers_);
  const Customer& c = customers_[ci];
  const int warehouse = c.warehouses[rng_.Below(c.warehouses.size())];
  const int source = warehouses_[rng_.Percent(80) ? 0 : 1].id;
  std::vector<Line> lines(static_cast<size_t>(rng_.Between(1, 6)));
  for (Line& l : lines) {
    l = NewLine(PickMaterial(), day, 10);
    l.src_stock = source;
    l.dst_stock = warehouse;
  }
  const bool cancelled = rng_.Percent(2);
  const std::string bill_no = NextBillNo(tran_type == 21 ? kSend : kTransfer);
  const bool checked = Checked(day);
  // A consignment send is a sales delivery (21) to the customer or a
  // transfer (41) into the customer's warehouse.
  WriteStockBill(tran_type, 37511, 0, 1, tran_type == 21 ? c.id : 0, c.id, day, bill_no, lines,
                 cancelled, checked, nullptr);
  if (cancelled) return;
  CustomerPositions& book = positions_[ci];
  for (const Line& l : lines) {
    auto [p, fresh] =
        book.FindOrAdd(PositionKey{warehouse, l.m->id, l.aux, static_cast<int32_t>(l.made_day)});
    if (fresh) book.held().push_back(static_cast<uint32_t>(book.all().size() - 1));
    p->qty += l.qty;
  }
}

void Generator::ReturnOrSettle(int64_t day, bool settle) {
  const size_t ci = rng_.Skewed(consignment_customers_);
  CustomerPositions& book = positions_[ci];
  std::vector<uint32_t>& held = book.held();
  // Positions that went down to nothing are dropped as they are met.
  std::vector<Line> lines;
  std::vector<uint32_t> touched;  // indexes in book.all(), one per line
  const size_t wanted = static_cast<size_t>(rng_.Between(1, settle ? 6 : 3));
  for (int tries = 0; lines.size() < wanted && !held.empty() && tries < 12; ++tries) {
    const size_t k = rng_.Below(held.size());
    const uint32_t at = held[k];
    const Position& p = book.all()[at];
    if (p.qty <= 0) {
      held[k] = held.back();
      held.pop_back();
      continue;
    }
    if (std::find(touched.begin(), touched.end(), at) != touched.end()) continue;
    const PositionKey& key = p.key;
    const Material& m = materials_[static_cast<size_t>(key.material - kFirstMaterialId)];
    Line l{};
    l.m = &m;
    l.aux = key.aux;
    l.made_day = key.made_day;
    // Settle up to 60 %, return up to 30 % of what lies there; whole boxes
    // when the position holds whole boxes.
    const int64_t share = std::max<int64_t>(1, p.qty * (settle ? 60 : 30) / 100);
    l.qty = rng_.Between(1, share);
    if (m.box > 1 && l.qty >= m.box && p.qty % m.box == 0) {
      l.qty -= l.qty % m.box;
      l.unit = m.store_unit_id;
    } else {
      l.unit = kUnitPiece;
    }
    l.price_fen = m.cost_fen;
    l.src_stock = key.warehouse;
    l.dst_stock = settle ? key.warehouse : warehouses_[0].id;
    lines.push_back(l);
    touched.push_back(at);
  }
  if (lines.empty()) {  // nothing lies with the customer yet: send instead
    Send(day, 21);
    return;
  }
  const Customer& c = customers_[ci];
  const bool cancelled = rng_.Percent(2);
  const std::string bill_no = NextBillNo(settle ? kSettlement : kReturn);
  const bool checked = Checked(day);
  int inter_id = 0;
  // A return (37512) goes from the customer's warehouse back to the central
  // one; a settlement (sale style 104) sells what lies with the customer.
  WriteStockBill(21, settle ? 0 : 37512, settle ? 104 : 0, 1, c.id, c.id, day, bill_no, lines,
                 cancelled, checked, &inter_id);
  if (cancelled) return;
  for (size_t i = 0; i < lines.size(); ++i) book.all()[touched[i]].qty -= lines[i].qty;
  // Seven settlements in ten are invoiced within two weeks, in this year.
  if (settle && rng_.Percent(70)) {
    const int64_t invoice_day = day + rng_.Between(0, 14);
    if (invoice_day <= year_end_) WriteInvoice(c, invoice_day, inter_id, lines);
  }
}

void Generator::Purchase(int64_t day) {
  const int supplier = suppliers_[rng_.Below(suppliers_.size())];
  const int warehouse = warehouses_[rng_.Percent(75) ? 0 : 1].id;
  std::vector<Line> lines(static_cast<size_t>(rng_.Between(1, 8)));
  for (Line& l : lines) {
    l = NewLine(PickMaterial(), day, 40);
    l.price_fen = l.m->cost_fen * rng_.Between(95, 105) / 100;
    l.src_stock = 0;
    l.dst_stock = warehouse;
  }
  const std::string bill_no = NextBillNo(kPurchase);
  // Drawn in this order, whatever order a compiler evaluates arguments in.
  const bool checked = Checked(day);
  const bool cancelled = rng_.Percent(1);
  WriteStockBill(1, 0, 0, 1, supplier, 0, day, bill_no, lines, cancelled, checked, nullptr);
}

void Generator::Bills() {
  bill_ = &Table("ICStockBill",
                 {"FInterID", "FBillNo", "FDate", "FTranType", "FBisType", "FSaleStyle",
                  "FSupplyID", "FCustID", "FROB", "FStatus", "FCancellation"},
                 false, kBatch);
  bill_entry_ = &Table("ICStockBillEntry",
                       {"FInterID", "FEntryID", "FDetailID", "FItemID", "FAuxPropID", "FUnitID",
                        "FDCStockID", "FSCStockID", "FBatchNo", "FKFDate", "FKFPeriod",
                        "FPeriodDate", "FQty", "FAuxQty", "FPrice"},
                       false, kBatch);
  sale_ = &Table("ICSale",
                 {"FInterID", "FBillNo", "FDate", "FTranType", "FSaleStyle", "FCustID", "FROB",
                  "FStatus", "FCancellation", "FExchangeRate"},
                 false, kBatch);
  sale_entry_ = &Table("ICSaleEntry",
                       {"FInterID", "FEntryID", "FDetailID", "FItemID", "FAuxPropID", "FUnitID",
                        "FBatchNo", "FKFDate", "FKFPeriod", "FPeriodDate", "FQty", "FAuxQty",
                        "FTaxPrice", "FSourceInterID", "FSourceEntryID"},
                       false, kBatch);
  const int64_t days = year_end_ - year_start_ + 1;
  while (lines_written_ < target_) {
    // The date advances with the lines written, so the year is filled evenly
    // whatever the scale.
    const int64_t day = year_start_ + std::min<int64_t>(days - 1, lines_written_ * days / target_);
    const uint64_t kind = rng_.Below(100);
    if (kind < 10) {
      Purchase(day);
    } else if (kind < 50) {
      Send(day, 21);
    } else if (kind < 54) {
      Send(day, 41);
    } else if (kind < 64) {
      ReturnOrSettle(day, false);
    } else {
      ReturnOrSettle(day, true);
    }
  }
}

// ---------------------------------------------------------------------------
// Stock.

void Generator::Stock() {
  Insert& ic =
      Table("ICInventory",
            {"FBrNo", "FItemID", "FBatchNo", "FMTONo", "FSupplyID", "FStockID", "FQty", "FBal",
             "FStockPlaceID", "FKFPeriod", "FKFDate", "FQtyLock", "FAuxPropID", "FSecQty"},
            false, kBatch);
  Insert& po =
      Table("POInventory",
            {"FBrNo", "FItemID", "FBatchNo", "FMTONo", "FSupplyID", "FStockID", "FQty", "FBal",
             "FStockPlaceID", "FKFPeriod", "FKFDate", "FStockTypeID", "FAuxPropID", "FSecQty"},
            false, kBatch);

  // A production date as the stock table holds it: text, now and then
  // unreadable or missing, as keyed in by hand.
  static const std::string impossible = std::to_string(kDemoYear) + "-02-30";
  auto kf_text = [&](Insert& row, int64_t made_day) -> Insert& {
    if (made_day < 0) return rng_.Percent(50) ? row.Kept("") : row.Null();
    const uint64_t r = rng_.Below(100);
    if (r < 2) return row.Kept(impossible);
    if (r < 3) return row.Kept("待定");
    if (r < 4) return row.Kept("");
    return row.Kept(DateOf(made_day));
  };
  auto write = [&](Insert& row, bool virtual_stock, int type, int warehouse, int place,
                   const Material& m, int aux, int64_t made_day, int64_t qty) {
    row.Kept("0")
        .Int(m.id)
        .Kept(Batch(made_day))
        .Kept("")
        .Int(0)
        .Int(warehouse)
        .Int(qty)
        .Real(Fen(qty * m.cost_fen))
        .Int(place)
        .Int(made_day >= 0 ? m.kind->shelf_days : 0);
    kf_text(row, made_day);
    if (virtual_stock) {
      row.Int(type);
    } else {
      row.Int(qty > 0 && rng_.Percent(5) ? rng_.Between(1, std::max<int64_t>(1, qty / 10)) : 0);
    }
    row.Int(aux).Real(Milli(qty * m.kind->weight_grams)).Row();
  };

  // Central warehouses: what the purchases left, in bins.
  for (size_t w = 0; w < 5; ++w) {
    const Warehouse& wh = warehouses_[w];
    const int share = w == 0 ? 90 : w == 1 ? 40 : 6;
    for (const Material& m : materials_) {
      if (!rng_.Percent(share)) continue;
      const int batches = m.kind->shelf_days > 0 ? static_cast<int>(rng_.Between(1, 2)) : 1;
      std::pair<int, int64_t> seen[2];  // one row per property and batch
      int seen_count = 0;
      for (int b = 0; b < batches; ++b) {
        Line l = NewLine(m, year_end_, w < 2 ? 60 : 5);
        const std::pair<int, int64_t> batch{l.aux, l.made_day};
        if (std::find(seen, seen + seen_count, batch) != seen + seen_count) continue;
        seen[seen_count++] = batch;
        const int place = wh.places.empty() ? 0 : wh.places[rng_.Below(wh.places.size())];
        const bool virtual_stock = wh.type != 500;
        write(virtual_stock ? po : ic, virtual_stock, wh.type, wh.id, place, m, l.aux, l.made_day,
              l.qty);
      }
    }
  }
  // Consignment warehouses: what the sends, returns and settlements left.
  // Positions sold out stay as rows with quantity 0, as the ledger keeps them.
  std::vector<const Position*> sorted;
  for (const CustomerPositions& book : positions_) {
    for (const Position& p : book.all()) sorted.push_back(&p);
  }
  std::sort(sorted.begin(), sorted.end(),
            [](const Position* a, const Position* b) { return a->key < b->key; });
  for (const Position* p : sorted) {
    write(ic, false, 505, p->key.warehouse, 0,
          materials_[static_cast<size_t>(p->key.material - kFirstMaterialId)], p->key.aux,
          p->key.made_day, p->qty);
  }
}

std::vector<std::pair<std::string, int64_t>> Generator::Run() {
  year_start_ = DayNumber(kDemoYear, 1, 1);
  year_end_ = DayNumber(kDemoYear, 12, 31);
  december_ = DayNumber(kDemoYear, 12, 1);
  far_future_ = DayNumber(2099, 12, 31);
  Units();
  Currencies();
  Materials();
  Partners();
  Warehouses();
  Prices();
  ProfileAndCalendar();
  Catalogue();
  DataRights();
  Bills();
  Stock();

  out_.FlushAll();
  return out_.RowCounts();
}

}  // namespace q8::tool::demo
