// An unsigned 256-bit integer: just what exact decimal arithmetic needs when
// a product or a scaled dividend outgrows 128 bits (the product of two
// 38-digit mantissas, a dividend scaled up by 10^38).
#pragma once

#include <cstdint>

namespace q8 {

__extension__ typedef unsigned __int128 UInt128;

// Four 64-bit limbs, little end first.
struct U256 {
  uint64_t limb[4] = {0, 0, 0, 0};

  U256() = default;
  explicit U256(UInt128 v) {
    limb[0] = static_cast<uint64_t>(v);
    limb[1] = static_cast<uint64_t>(v >> 64);
  }

  static U256 Mul(UInt128 a, UInt128 b) {
    U256 r;
    const uint64_t x[2] = {static_cast<uint64_t>(a), static_cast<uint64_t>(a >> 64)};
    const uint64_t y[2] = {static_cast<uint64_t>(b), static_cast<uint64_t>(b >> 64)};
    for (int i = 0; i < 2; ++i) {
      UInt128 carry = 0;
      for (int j = 0; j < 2; ++j) {
        const UInt128 t = static_cast<UInt128>(x[i]) * y[j] + r.limb[i + j] + carry;
        r.limb[i + j] = static_cast<uint64_t>(t);
        carry = t >> 64;
      }
      r.limb[i + 2] = static_cast<uint64_t>(carry);
    }
    return r;
  }

  bool FitsUInt128() const { return limb[2] == 0 && limb[3] == 0; }
  UInt128 Low() const { return (static_cast<UInt128>(limb[1]) << 64) | limb[0]; }

  // this * m; false when the product does not fit 256 bits.
  bool MulSmall(uint64_t m) {
    UInt128 carry = 0;
    for (uint64_t& l : limb) {
      const UInt128 t = static_cast<UInt128>(l) * m + carry;
      l = static_cast<uint64_t>(t);
      carry = t >> 64;
    }
    return carry == 0;
  }
  // Divides in place by d and returns the remainder.
  uint64_t DivSmall(uint64_t d) {
    UInt128 rem = 0;
    for (int i = 3; i >= 0; --i) {
      const UInt128 cur = (rem << 64) | limb[i];
      limb[i] = static_cast<uint64_t>(cur / d);
      rem = cur % d;
    }
    return static_cast<uint64_t>(rem);
  }
  // this + o; false on a carry out of 256 bits.
  bool Add(const U256& o) {
    UInt128 carry = 0;
    for (int i = 0; i < 4; ++i) {
      const UInt128 t = static_cast<UInt128>(limb[i]) + o.limb[i] + carry;
      limb[i] = static_cast<uint64_t>(t);
      carry = t >> 64;
    }
    return carry == 0;
  }
  // this - o. REQUIRES: this >= o.
  void Sub(const U256& o) {
    uint64_t borrow = 0;
    for (int i = 0; i < 4; ++i) {
      const uint64_t a = limb[i], b = o.limb[i];
      limb[i] = a - b - borrow;
      borrow = (a < b || (a == b && borrow)) ? 1 : 0;
    }
  }
  void Increment() {
    for (uint64_t& l : limb) {
      if (++l != 0) break;
    }
  }
  // Two's complement: the 256-bit pattern of -this.
  void Negate() {
    for (uint64_t& l : limb) l = ~l;
    Increment();
  }
  int Compare(const U256& o) const {
    for (int i = 3; i >= 0; --i) {
      if (limb[i] != o.limb[i]) return limb[i] < o.limb[i] ? -1 : 1;
    }
    return 0;
  }
  void ShiftLeft1() {
    for (int i = 3; i > 0; --i) limb[i] = (limb[i] << 1) | (limb[i - 1] >> 63);
    limb[0] <<= 1;
  }
  bool Bit(int i) const { return (limb[i / 64] >> (i % 64)) & 1; }
  void SetBit(int i) { limb[i / 64] |= uint64_t{1} << (i % 64); }

  // n / d and n % d, bit by bit: slow, for the rare wide cases.
  static void DivMod(const U256& n, const U256& d, U256* q, U256* r) {
    *q = U256();
    *r = U256();
    for (int i = 255; i >= 0; --i) {
      r->ShiftLeft1();
      if (n.Bit(i)) r->limb[0] |= 1;
      if (r->Compare(d) >= 0) {
        r->Sub(d);
        q->SetBit(i);
      }
    }
  }
};

}  // namespace q8
