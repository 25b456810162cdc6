// The model of the demo database: what rows exist. The generator draws every
// choice from its own seeded random numbers (Rng), builds the master data in
// memory (materials, customers, warehouses), walks the year day by day
// writing bills in date order while it keeps the stock of every consignment
// position, and finally writes the stock that the movements leave. How the
// rows reach the file is the writer's business (demo_writer.h).
#pragma once

#include <algorithm>
#include <charconv>
#include <compare>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/q8vantorpt/demo_calendar.h"
#include "tools/q8vantorpt/demo_names.h"

namespace q8::tool::demo {

// SplitMix64: small, fast and the same on every platform. Every draw is an
// integer operation, so one seed gives the same database everywhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed ^ 0x5DEECE66DULL) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in [0, n). REQUIRES: n > 0.
  uint64_t Below(uint64_t n) {
    // Draws at or above the largest multiple of n (limit) are drawn again.
    // limit lies above UINT64_MAX - n, so it is needed only for the top n
    // values, and the common case costs one division instead of two.
    uint64_t v = Next();
    if (v > UINT64_MAX - n) {
      const uint64_t limit = UINT64_MAX - UINT64_MAX % n;
      while (v >= limit) v = Next();
    }
    return v % n;
  }
  int64_t Between(int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(Below(static_cast<uint64_t>(hi - lo + 1)));
  }
  // True with probability percent / 100.
  bool Percent(int percent) { return Below(100) < static_cast<uint64_t>(percent); }
  // Index in [0, n), favouring small indexes (a few customers and materials
  // carry most of the business, as in a real ledger).
  size_t Skewed(size_t n) {
    const uint64_t a = Below(n), b = Below(n);
    return static_cast<size_t>(std::min(a, b));
  }

 private:
  uint64_t state_;
};

// `v` in at least `width` digits, zero-padded ("%0*lld").
inline std::string Pad(int64_t v, int width) {
  char buf[24];
  if (v < 0) {
    std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(v));
    return buf;
  }
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  const int n = static_cast<int>(end - digits);
  std::string out(static_cast<size_t>(std::max(0, width - n)), '0');
  out.append(digits, end);
  return out;
}

// Money and quantities are kept in integers (fen, thousandths of a
// kilogram) and written as numbers with their decimals.
inline double Fen(int64_t fen) { return static_cast<double>(fen) / 100.0; }
inline double Milli(int64_t milli) { return static_cast<double>(milli) / 1000.0; }

// `count` distinct indexes below `n`, in increasing order.
inline std::vector<size_t> Sample(Rng& rng, size_t n, size_t count) {
  count = std::min(count, n);
  std::set<size_t> chosen;
  while (chosen.size() < count) chosen.insert(rng.Below(n));
  return {chosen.begin(), chosen.end()};
}

// Units of measure.
constexpr int kUnitPiece = 1;  // 个, the base unit of every material
constexpr int kUnitKilogram = 5;
inline int BoxUnit(int box) { return box == 10 ? 2 : box == 12 ? 3 : 4; }

// Currencies and rate types.
constexpr int kRmb = 1, kUsd = 1000, kEur = 1001, kHkd = 1002;
constexpr int kSaleRateType = 1;

// Materials have ids of their own range, apart from the t_Item ids of
// customers, suppliers and warehouses.
constexpr int kFirstMaterialId = 100001;

struct Material {
  // What the bills read first, together.
  int id;
  const PartKind* kind;
  int unit_id, store_unit_id, sec_unit_id;
  int box;  // base units per stock unit
  int64_t sale_fen, cost_fen;
  int aux_first = 0, aux_count = 0;  // t_AuxItem ids
  bool deleted = false;
  std::string number, short_number, name, model;
};

struct Customer {
  int id;
  std::string number, short_number, name, map_prefix;
  std::vector<int> warehouses;  // consignment warehouses
  int64_t discount_pct;         // of the list price, in the customer's price policy
};

struct Warehouse {
  int id;
  std::string number, short_number, name;
  int type;
  std::vector<int> places;  // t_StockPlace ids
};

// One consignment position: what lies in a warehouse of one material,
// auxiliary property and batch. A batch is named after its production day
// (Compact), so the day stands for the batch: -1 = no batch. Keys order as
// (warehouse, material, property, batch number), "" first.
struct PositionKey {
  int warehouse, material, aux;
  int32_t made_day;
  bool operator==(const PositionKey& o) const = default;
  auto operator<=>(const PositionKey& o) const = default;
};
struct Position {
  PositionKey key;
  int64_t qty = 0;
};

// The positions of one customer's consignment warehouses, in the order they
// were first sent to, with an open-addressing index by key. Each customer's
// positions lie together, so the draws of a bill stay in a small region.
class CustomerPositions {
 public:
  // The position of `key`, created empty if there is none (second = true).
  // References stay valid until the next call.
  std::pair<Position*, bool> FindOrAdd(const PositionKey& key) {
    if ((positions_.size() + 1) * 2 > slots_.size()) Grow();
    size_t i = Hash(key) & (slots_.size() - 1);
    for (; slots_[i] != 0; i = (i + 1) & (slots_.size() - 1)) {
      Position& p = positions_[slots_[i] - 1];
      if (p.key == key) return {&p, false};
    }
    positions_.push_back(Position{key, 0});
    slots_[i] = static_cast<uint32_t>(positions_.size());
    return {&positions_.back(), true};
  }
  std::vector<Position>& all() { return positions_; }
  const std::vector<Position>& all() const { return positions_; }
  // Indexes in all() of the positions that returns and settlements draw
  // from. A position leaves it when a draw finds it empty, and is not put
  // back when a later send fills it again.
  std::vector<uint32_t>& held() { return held_; }

 private:
  static size_t Hash(const PositionKey& k) {
    uint64_t h = static_cast<uint32_t>(k.warehouse);
    h = h * 0x9E3779B97F4A7C15ULL ^ static_cast<uint32_t>(k.material);
    h = h * 0x9E3779B97F4A7C15ULL ^ static_cast<uint32_t>(k.aux);
    h = h * 0x9E3779B97F4A7C15ULL ^ static_cast<uint32_t>(k.made_day);
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ULL;
    return static_cast<size_t>(h ^ (h >> 32));
  }
  void Grow() {
    slots_.assign(std::max<size_t>(64, slots_.size() * 2), 0);
    for (size_t p = 0; p < positions_.size(); ++p) {
      size_t i = Hash(positions_[p].key) & (slots_.size() - 1);
      while (slots_[i] != 0) i = (i + 1) & (slots_.size() - 1);
      slots_[i] = static_cast<uint32_t>(p + 1);
    }
  }

  std::vector<Position> positions_;
  std::vector<uint32_t> slots_;  // index in positions_ + 1; 0 = free
  std::vector<uint32_t> held_;
};

// The text of a day (days since 1970-01-01), formatted once. The texts stay
// where they are, so rows bind them with Insert::Kept().
class DayTexts {
 public:
  explicit DayTexts(std::string (*format)(int64_t)) : format_(format) {}
  const std::string& operator()(int64_t day) {
    if (day < 0 || day > kLastDay) {
      auto [it, fresh] = others_.try_emplace(day);
      if (fresh) it->second = format_(day);
      return it->second;
    }
    const size_t i = static_cast<size_t>(day);
    if (i >= texts_.size()) texts_.resize(i + 1);
    if (!texts_[i]) texts_[i] = std::make_unique<std::string>(format_(day));
    return *texts_[i];
  }

 private:
  static constexpr int64_t kLastDay = 100000;  // in 2243
  std::string (*format_)(int64_t);
  std::vector<std::unique_ptr<std::string>> texts_;  // by day
  std::map<int64_t, std::string> others_;
};

// The series of bill numbers: a prefix and a running number.
enum Series { kPurchase, kSend, kTransfer, kReturn, kSettlement, kSpecialInvoice, kInvoice };
constexpr const char* kSeriesPrefix[] = {"WIN", "XOUT", "CHG", "XTH", "JS", "ZSEFP", "ZPOFP"};

}  // namespace q8::tool::demo
