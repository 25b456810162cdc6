// The master data of the demo database: units, currencies and rates,
// materials, customers and suppliers, warehouses and their places, prices,
// profile and calendar, the report catalogue and the data-access rights.
#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "tools/q8vantorpt/demo_generator.h"

namespace q8::tool::demo {

void Generator::Units() {
  Insert& u = Table("t_MeasureUnit", {"FMeasureUnitID", "?FNumber", "FName", "FCoefficient"});
  u.Int(kUnitPiece).Text("Pcs").Text("个").Int(1).Row();
  u.Int(2).Text("Box10").Text("箱").Int(10).Row();
  u.Int(3).Text("Box12").Text("箱").Int(12).Row();
  u.Int(4).Text("Box20").Text("箱").Int(20).Row();
  u.Int(kUnitKilogram).Text("kg").Text("千克").Int(1).Row();
  u.Int(6).Text("Set").Text("套").Int(4).Row();
}

void Generator::Currencies() {
  Insert& c = Table("t_Currency", {"FCurrencyID", "?FNumber", "?FName"});
  c.Int(kRmb).Text("RMB").Text("人民币").Row();
  c.Int(kUsd).Text("USD").Text("美元").Row();
  c.Int(kEur).Text("EUR").Text("欧元").Row();
  c.Int(kHkd).Text("HKD").Text("港币").Row();

  // Rates of the sales rate type; the base currency needs its own rate 1.
  // One expired rate per foreign currency, and a budget rate type that the
  // profile does not name.
  Insert& r = Table("t_ExchangeRateEntry", {"FExchangeRateType", "?FCyFrom", "FCyTo",
                                            "FExchangeRate", "FBegDate", "FEndDate"});
  const std::string begin = DateTime(DayNumber(2020, 1, 1)), end = DateTime(far_future_);
  r.Int(kSaleRateType).Int(kRmb).Int(kRmb).Int(1).Text(begin).Text(end).Row();
  r.Int(kSaleRateType)
      .Int(kRmb)
      .Int(kUsd)
      .Real(7.1)
      .Text(DateTime(DayNumber(2024, 1, 1)))
      .Text(end)
      .Row();
  r.Int(kSaleRateType)
      .Int(kRmb)
      .Int(kUsd)
      .Real(6.9)
      .Text(DateTime(DayNumber(2023, 1, 1)))
      .Text(DateTime(DayNumber(2023, 12, 31)))
      .Row();
  r.Int(kSaleRateType).Int(kRmb).Int(kEur).Real(7.82).Text(begin).Text(end).Row();
  r.Int(kSaleRateType).Int(kRmb).Int(kHkd).Real(0.91).Text(begin).Text(end).Row();
  r.Int(2).Int(kRmb).Int(kUsd).Real(7.3).Text(begin).Text(end).Row();
}

void Generator::Materials() {
  // About one material per 20 bill lines, from 40 up to 20,000.
  const int64_t count = std::clamp<int64_t>(target_ / 20, 40, 20000);
  std::vector<std::pair<size_t, size_t>> kinds;  // (category, part)
  for (size_t c = 0; c < kCategories.size(); ++c) {
    for (size_t p = 0; p < kCategories[c].parts.size(); ++p) {
      if (!kCategories[c].parts[p].name.empty()) kinds.emplace_back(c, p);
    }
  }
  // Auxiliary properties, one block of ids per set.
  Insert& aux = Table("t_AuxItem", {"FItemID", "?FNumber", "FName"});
  std::vector<int> aux_first(demo::kAuxSets.size()), aux_count(demo::kAuxSets.size());
  int aux_id = 1;
  for (size_t s = 0; s < demo::kAuxSets.size(); ++s) {
    aux_first[s] = aux_id;
    for (std::string_view name : demo::kAuxSets[s]) {
      if (name.empty()) continue;
      aux.Int(aux_id).Text(Pad(aux_id, 3)).Text(name).Row();
      ++aux_id;
      ++aux_count[s];
    }
  }

  std::map<std::pair<size_t, size_t>, int> seq;
  materials_.reserve(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) {
    const auto [c, p] = kinds[static_cast<size_t>(i) % kinds.size()];
    const demo::Category& cat = kCategories[c];
    const PartKind& kind = cat.parts[p];
    const int n = ++seq[{c, p}];
    Material m;
    m.id = kFirstMaterialId + static_cast<int>(i);
    m.number =
        std::string(cat.number) + "." + Pad(static_cast<int64_t>(p) + 1, 2) + "." + Pad(n, 4);
    m.short_number = Pad(n, 4);
    const std::string_view brand = cat.brands[rng_.Below(cat.brands.size())];
    const std::string_view vehicle = demo::kVehicles[rng_.Below(demo::kVehicles.size())];
    m.name = std::string(brand) + std::string(kind.name);
    m.model = std::string(kind.code_prefix) + "-" + Pad(rng_.Between(1000, 9999), 4) + " 适用" +
              std::string(vehicle);
    m.kind = &kind;
    m.box = kind.box == 0 ? 1 : kind.box;
    m.unit_id = kUnitPiece;
    m.store_unit_id = kind.box == 0 ? kUnitPiece : BoxUnit(kind.box);
    m.sec_unit_id = kind.weight_grams > 0 ? kUnitKilogram : 0;
    // List price within ±40 % of the kind's, to 10 fen; cost 60-78 % of it.
    m.sale_fen = kind.price_fen * rng_.Between(60, 140) / 100 / 10 * 10;
    m.cost_fen = m.sale_fen * rng_.Between(60, 78) / 100;
    if (kind.aux_set >= 0) {
      m.aux_first = aux_first[static_cast<size_t>(kind.aux_set)];
      m.aux_count = aux_count[static_cast<size_t>(kind.aux_set)];
    }
    m.deleted = rng_.Percent(1);
    materials_.push_back(std::move(m));
  }

  Insert& item = Table("t_ICItem", {"FItemID", "FNumber", "FShortNumber", "FName", "FModel",
                                    "FUnitID", "FStoreUnitID", "FSecUnitID", "FDeleted",
                                    "FQtyDecimal", "FPriceDecimal", "FSalePrice", "FStandardCost"});
  for (const Material& m : materials_) {
    item.Int(m.id)
        .Text(m.number)
        .Text(m.short_number)
        .Text(m.name)
        .Text(m.model)
        .Int(m.unit_id)
        .Int(m.store_unit_id)
        .Int(m.sec_unit_id)
        .Int(m.deleted ? 1 : 0)
        .Int(0)
        .Int(2)
        .Real(Fen(m.sale_fen))
        .Real(Fen(m.cost_fen))
        .Row();
  }
}

void Generator::Partners() {
  // Customers: about one per 250 bill lines, from 12 up to 800; three in
  // four sell on consignment.
  const int64_t count = std::clamp<int64_t>(target_ / 250, 12, 800);
  consignment_customers_ = static_cast<size_t>(count * 3 / 4);
  std::set<std::string> names;
  std::map<size_t, int> region_seq;
  for (int64_t i = 0; i < count; ++i) {
    const size_t region = rng_.Below(demo::kRegions.size());
    const demo::Region& r = demo::kRegions[region];
    // One draw per statement: the order of the operands of + is up to the
    // compiler, and the same seed must give the same names everywhere.
    const size_t trade = rng_.Below(demo::kTradeNames.size());
    const size_t city = rng_.Below(r.cities.size());
    std::string base = std::string(r.cities[city]) + std::string(demo::kTradeNames[trade]);
    std::string name =
        base + std::string(demo::kCustomerSuffixes[rng_.Below(demo::kCustomerSuffixes.size())]);
    for (int k = 2; !names.insert(name).second; ++k)
      name = base + "第" + std::to_string(k) + "分店";
    Customer c;
    c.id = next_item_id_++;
    const int n = ++region_seq[region];
    c.number = std::string(r.number) + "." + Pad(n, 4);
    c.short_number = Pad(n, 4);
    c.name = name;
    c.map_prefix = "K" + std::string(r.number) + Pad(n, 3);
    c.discount_pct = rng_.Between(85, 98);
    customers_.push_back(std::move(c));
  }
  // Customer codes in the order of the ledger.
  std::sort(customers_.begin(), customers_.end(),
            [](const Customer& a, const Customer& b) { return a.number < b.number; });

  Insert& item = Table("t_Item", {"FItemID", "FItemClassID", "FNumber", "FShortNumber", "FName"});
  Insert& org = Table("t_Organization", {"FItemID", "FNumber", "FName"});
  for (const Customer& c : customers_) {
    item.Int(c.id).Int(1).Text(c.number).Text(c.short_number).Text(c.name).Row();
    org.Int(c.id).Text(c.number).Text(c.name).Row();
  }
  for (size_t i = 0; i < demo::kSuppliers.size(); ++i) {
    const int id = next_item_id_++;
    suppliers_.push_back(id);
    item.Int(id)
        .Int(8)
        .Text("S." + Pad(static_cast<int64_t>(i) + 1, 3))
        .Text(Pad(static_cast<int64_t>(i) + 1, 3))
        .Text(demo::kSuppliers[i])
        .Row();
  }
}

void Generator::Warehouses() {
  struct Central {
    const char* number;
    const char* name;
    int type;
    int zones;
  };
  // Central warehouses: two ordinary ones with bins, and the virtual
  // warehouses (inspection, consigned-in, gifts) whose stock lies in
  // POInventory.
  static constexpr Central kCentral[] = {
      {"01", "总仓", 500, 4},     {"02", "北方分仓", 500, 2}, {"03", "待检仓", 20291, 0},
      {"04", "代管仓", 20293, 0}, {"05", "赠品仓", 504, 0},
  };
  int next_place = 1;
  for (const Central& c : kCentral) {
    Warehouse w;
    w.id = next_item_id_++;
    w.number = c.number;
    w.short_number = c.number;
    w.name = c.name;
    w.type = c.type;
    for (int z = 0; z < c.zones; ++z) {
      for (int shelf = 1; shelf <= 5; ++shelf) w.places.push_back(next_place++);
    }
    warehouses_.push_back(std::move(w));
  }
  // Consignment warehouses: one per consignment customer, a second for one
  // customer in five.
  int seq = 0;
  for (size_t i = 0; i < consignment_customers_; ++i) {
    Customer& c = customers_[i];
    const int count = rng_.Percent(20) ? 2 : 1;
    for (int k = 0; k < count; ++k) {
      Warehouse w;
      w.id = next_item_id_++;
      w.short_number = Pad(++seq, 3);
      w.number = "09." + w.short_number;
      // "广州顺达汽配有限公司" → "广州顺达寄售仓"
      const std::string_view full(c.name);
      const size_t cut = full.find("汽");
      w.name = std::string(full.substr(0, cut)) + (k == 0 ? "寄售仓" : "寄售二仓");
      w.type = 505;
      c.warehouses.push_back(w.id);
      warehouses_.push_back(std::move(w));
    }
  }

  Insert& item = Table("t_Item", {"FItemID", "FItemClassID", "FNumber", "FShortNumber", "FName"});
  Insert& stock = Table("t_Stock", {"FItemID", "FNumber", "FShortNumber", "FName", "FTypeID"});
  Insert& place = Table("t_StockPlace", {"FSPID", "FNumber", "FShortNumber", "FName"});
  for (const Warehouse& w : warehouses_) {
    item.Int(w.id).Int(5).Text(w.number).Text(w.short_number).Text(w.name).Row();
    stock.Int(w.id).Text(w.number).Text(w.short_number).Text(w.name).Int(w.type).Row();
    for (size_t k = 0; k < w.places.size(); ++k) {
      const char zone = static_cast<char>('A' + k / 5);
      const std::string shelf = Pad(static_cast<int64_t>(k % 5) + 1, 2);
      place.Int(w.places[k])
          .Text(w.number + "." + zone + shelf)
          .Text(std::string(1, zone) + shelf)
          .Text(w.name + std::string(1, zone) + "区" + shelf + "架")
          .Row();
    }
  }

  Insert& head = Table("t_QPCustInv", {"FID", "FCustID"});
  Insert& entry = Table("t_QPCustInvEntry", {"FID", "?FEntryID", "FStockID"});
  for (size_t i = 0; i < consignment_customers_; ++i) {
    const Customer& c = customers_[i];
    const int fid = static_cast<int>(i) + 1;
    head.Int(fid).Int(c.id).Row();
    int line = 0;
    for (int w : c.warehouses) entry.Int(fid).Int(++line).Int(w).Row();
  }

  // The customers' own codes for some of the materials they stock.
  Insert& map =
      Table("ICItemMapping", {"FItemID", "FPropertyID", "FCompanyID", "FMapNumber", "FMapName"});
  // One material in twelve, at most 40 per customer.
  const size_t mapped = std::min<size_t>(40, materials_.size() / 12);
  for (size_t i = 0; i < consignment_customers_; ++i) {
    const Customer& c = customers_[i];
    for (size_t k : Sample(rng_, materials_.size(), mapped)) {
      const Material& m = materials_[k];
      const std::string_view vehicle = demo::kVehicles[rng_.Below(demo::kVehicles.size())];
      map.Int(m.id)
          .Int(1)
          .Int(c.id)
          .Text(c.map_prefix + "-" + m.short_number + Pad(m.id % 97, 2))
          .Text(std::string(vehicle) + std::string(m.kind->name))
          .Row();
    }
  }
  positions_.resize(customers_.size());
}

void Generator::Prices() {
  Insert& ply = Table("IcPrcPly", {"FInterID", "FPlyType", "?FName"});
  ply.Int(1).Text("PrcAsm1").Text("客户价格政策").Row();
  ply.Int(2).Text("PrcAsm0").Text("基本价格政策").Row();
  ply.Int(3).Text("PrcAsm2").Text("客户类别价格政策").Row();

  Insert& e = Table("ICPrcPlyEntry",
                    {"FInterID", "FItemID", "FUnitID", "FCuryID", "FPrice", "FRelatedID",
                     "FChecked", "FBegDate", "FEndDate"},
                    false, kBatch);
  const std::string always = DateTime(DayNumber(2020, 1, 1)), never = DateTime(far_future_);
  // The base policy: every material at its list price per base unit, in its
  // stock unit; a dealer price for some materials in the class policy.
  for (const Material& m : materials_) {
    e.Int(2)
        .Int(m.id)
        .Int(m.store_unit_id)
        .Int(kRmb)
        .Real(Fen(m.sale_fen))
        .Int(0)
        .Int(1)
        .Text(always)
        .Text(never)
        .Row();
    if (rng_.Percent(20)) {
      e.Int(3)
          .Int(m.id)
          .Int(m.store_unit_id)
          .Int(kRmb)
          .Real(Fen(m.sale_fen * 92 / 100))
          .Int(0)
          .Int(1)
          .Text(always)
          .Text(never)
          .Row();
    }
  }
  // Customer prices: a discount on a third of the materials, some of them
  // expired, not approved, in US dollars or in the base unit (which the
  // stock-unit match does not take).
  const std::string year_begin = DateTime(year_start_),
                    mid_year = DateTime(DayNumber(kDemoYear, 6, 30));
  const size_t priced = std::min<size_t>(150, materials_.size() / 3);
  for (size_t i = 0; i < consignment_customers_; ++i) {
    const Customer& c = customers_[i];
    // The materials the customer sells most (the skewed picks of the bills
    // favour the first ones), and a few others.
    std::set<size_t> chosen;
    for (size_t k : Sample(rng_, std::min<size_t>(materials_.size(), priced * 2), priced / 2))
      chosen.insert(k);
    for (size_t k : Sample(rng_, materials_.size(), priced - chosen.size())) chosen.insert(k);
    for (size_t k : chosen) {
      const Material& m = materials_[k];
      const int64_t fen = m.sale_fen * c.discount_pct / 100;
      const int kind = static_cast<int>(rng_.Below(100));
      if (kind < 4) {  // in US dollars at 7.1
        e.Int(1)
            .Int(m.id)
            .Int(m.store_unit_id)
            .Int(kUsd)
            .Real(Fen(fen * 10 / 71))
            .Int(c.id)
            .Int(1)
            .Text(year_begin)
            .Text(never)
            .Row();
      } else if (kind < 10) {  // expired mid-year
        e.Int(1)
            .Int(m.id)
            .Int(m.store_unit_id)
            .Int(kRmb)
            .Real(Fen(fen * 97 / 100))
            .Int(c.id)
            .Int(1)
            .Text(always)
            .Text(mid_year)
            .Row();
      } else if (kind < 13) {  // entered, not yet approved
        e.Int(1)
            .Int(m.id)
            .Int(m.store_unit_id)
            .Int(kRmb)
            .Real(Fen(fen * 90 / 100))
            .Int(c.id)
            .Int(0)
            .Text(year_begin)
            .Text(never)
            .Row();
      } else if (kind < 16) {  // priced by the piece
        e.Int(1)
            .Int(m.id)
            .Int(kUnitPiece == m.store_unit_id ? 6 : kUnitPiece)
            .Int(kRmb)
            .Real(Fen(fen))
            .Int(c.id)
            .Int(1)
            .Text(year_begin)
            .Text(never)
            .Row();
      } else {
        e.Int(1)
            .Int(m.id)
            .Int(m.store_unit_id)
            .Int(kRmb)
            .Real(Fen(fen))
            .Int(c.id)
            .Int(1)
            .Text(year_begin)
            .Text(never)
            .Row();
      }
    }
  }
}

void Generator::ProfileAndCalendar() {
  Insert& p = Table("t_SystemProfile", {"FCategory", "FKey", "FValue", "?FDesc"});
  const std::string year = std::to_string(kDemoYear);
  p.Text("IC").Text("StartYear").Text("2020").Text("启用年度").Row();
  p.Text("IC").Text("StartPeriod").Text("1").Text("启用期间").Row();
  p.Text("IC").Text("CurrentYear").Text(year).Text("当前年度").Row();
  p.Text("IC").Text("CurrentPeriod").Text("12").Text("当前期间").Row();
  p.Text("IC")
      .Text("saleexchangeratetype")
      .Text(std::to_string(kSaleRateType))
      .Text("销售汇率类型")
      .Row();
  p.Text("GL").Text("CurrentYear").Text(year).Text("总账当前年度").Row();
  p.Text("GL").Text("CurrentPeriod").Text("12").Text("总账当前期间").Row();
  p.Text("GL").Text("Periodcount").Text("12").Text("会计期间数").Row();
  p.Text("GL").Text("FBWB").Text(std::to_string(kRmb)).Text("记账本位币").Row();

  Insert& cal = Table("t_PeriodDate", {"FYear", "FPeriod", "FStartDate", "FEndDate"});
  for (int y = 2020; y <= 2026; ++y) {
    for (int m = 1; m <= 12; ++m) {
      const int64_t first = DayNumber(y, m, 1);
      const int64_t last = (m == 12 ? DayNumber(y + 1, 1, 1) : DayNumber(y, m + 1, 1)) - 1;
      cal.Int(y).Int(m).Text(DateTime(first)).Text(DateTime(last)).Row();
    }
  }

  Insert& tt = Table("ictransactiontype", {"FID", "FName"});
  static constexpr std::pair<int, const char*> kTypes[] = {
      {1, "外购入库"},  {2, "产品入库"},        {5, "委外加工入库"},    {10, "其他入库"},
      {21, "销售出库"}, {24, "生产领料"},       {28, "委外加工出库"},   {29, "其他出库"},
      {41, "调拨单"},   {80, "销售发票(专用)"}, {86, "销售发票(普通)"},
  };
  for (const auto& [id, name] : kTypes) tt.Int(id).Text(name).Row();

  // Type names of the DBMS (SQL Server spellings), keyed by the ADO type code.
  Insert& ti = Table("t_DataTypeInfo",
                     {"FDataType", "FTypeName", "FMaxPrecision", "FMinScale", "FMaxScale",
                      "FActualType", "FBindType", "FActualSize"},
                     true);
  struct TypeRow {
    int code;
    const char* name;
    int max_precision, min_scale, max_scale, actual, bind, size;  // -1 = NULL
  };
  static constexpr TypeRow kTypeRows[] = {
      {2, "smallint", -1, -1, -1, 2, 2, 2},
      {3, "int", -1, -1, -1, 3, 3, 4},
      {5, "float", -1, -1, -1, 5, 5, 8},
      {6, "money", -1, -1, -1, 6, 6, 8},
      {11, "bit", -1, -1, -1, 11, 11, 1},
      {20, "bigint", -1, -1, -1, 20, 20, 8},
      {72, "uniqueidentifier", -1, -1, -1, 72, 72, 16},
      {129, "char()", 8000, -1, -1, 129, 129, -1},
      {130, "nchar()", 4000, -1, -1, 130, 130, -1},
      {131, "decimal", 38, 0, 38, 131, 131, -1},
      {135, "datetime", -1, -1, -1, 135, 135, 8},
      {200, "varchar()", 8000, -1, -1, 200, 200, -1},
      {201, "text", -1, -1, -1, 201, 200, 2147483647},
      {202, "nvarchar()", 4000, -1, -1, 202, 202, -1},
      {203, "ntext", -1, -1, -1, 203, 202, 1073741823},
      {205, "image", -1, -1, -1, 205, 205, 2147483647},
  };
  auto opt = [&](Insert& row, int v) -> Insert& { return v < 0 ? row.Null() : row.Int(v); };
  for (const TypeRow& t : kTypeRows) {
    ti.Int(t.code).Text(t.name);
    opt(ti, t.max_precision);
    opt(ti, t.min_scale);
    opt(ti, t.max_scale);
    ti.Int(t.actual).Int(t.bind);
    opt(ti, t.size);
    ti.Row();
  }
  Table("t_SupportedProc", {"FProcName"}, true).Text("GetPeriodStartEnd").Row();
}

// Two users whose rights the table-driven rights object reads: a sales
// representative of East China (region 02: its customers and their
// consignment warehouses) and a brake specialist (materials 01.*).
void Generator::DataRights() {
  if (!out_.HasTable("t_QPDataRight")) return;  // a schema without the rights table
  Insert& r = Table("t_QPDataRight", {"FUserID", "FDataTable", "FItemID"});
  for (const Customer& c : customers_) {
    if (c.number.rfind(std::string(kRightsRegion) + ".", 0) != 0) continue;
    r.Int(kRegionUser).Text("t_Organization").Int(c.id).Row();
    for (int w : c.warehouses) r.Int(kRegionUser).Text("t_Stock").Int(w).Row();
  }
  for (const Material& m : materials_) {
    if (m.number.rfind("01.", 0) == 0) r.Int(kBrakeUser).Text("t_ICItem").Int(m.id).Row();
  }
}

void Generator::Catalogue() {
  Insert& g = Table("ICReportGroup", {"FRptGrpID", "FRptGrpName"});
  g.Int(20086).Text("寄售管理报表").Row();
  g.Int(20087).Text("库存分析报表").Row();

  Insert& r = Table("ICReport", {"FInterID",
                                 "FRptName",
                                 "FRptName_CHT",
                                 "FRptName_EN",
                                 "FDetailRptName",
                                 "FDetailRptName_CHT",
                                 "FDetailRptName_EN",
                                 "FProcedure",
                                 "FTemplateID",
                                 "FNote",
                                 "Fsum",
                                 "FRptType",
                                 "FRptGrpID",
                                 "FRptProperty",
                                 "FRptStyle",
                                 "FObjectType",
                                 "FObjectID",
                                 "FBillType",
                                 "FVis",
                                 "FCountPriceType",
                                 "FMergeCol",
                                 "FEObjectType",
                                 "FEObjectID"});
  struct Report {
    int id, type;
    const char *chs, *cht, *en, *detail_chs, *detail_cht, *detail_en, *note;
  };
  static constexpr Report kReports[] = {
      {2008608, 1, "客户寄售库存表", "客戶寄售庫存表", "Customer Consignment Inventory",
       "客户寄售库存明细", "客戶寄售庫存明細", "Customer Consignment Inventory Detail",
       "寄售仓现存量，按客户、物料、仓库"},
      {2008609, 2, "寄售发出汇总表", "寄售發出匯總表", "Consignment Summary", "寄售发出汇总明细",
       "寄售發出匯總明細", "Consignment Summary Detail", "发出、退回、结算、开票及余额"},
      {2008610, 2, "寄售业务明细表", "寄售業務明細表", "Consignment Movement Detail",
       "寄售业务单据明细", "寄售業務單據明細", "Consignment Movement Bills",
       "逐单据行的寄售发出、退回、结算与开票"},
  };
  for (const Report& x : kReports) {
    r.Int(x.id)
        .Text(x.chs)
        .Text(x.cht)
        .Text(x.en)
        .Text(x.detail_chs)
        .Text(x.detail_cht)
        .Text(x.detail_en)
        .Text("GetRpt" + std::to_string(x.id) + "Data")
        .Text("QP" + std::to_string(x.id))
        .Text(x.note)
        .Int(1)
        .Int(x.type)
        .Int(20086)
        .Int(0)
        .Int(1)
        .Int(0)
        .Text("")
        .Int(0)
        .Int(1)
        .Int(0)
        .Text(x.id == 2008608 ? "FCustNumber,FCustName" : "")
        .Int(0)
        .Text("")
        .Row();
  }
}

}  // namespace q8::tool::demo
