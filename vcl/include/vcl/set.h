// Sets of an enumeration ("set of TCacheOption"): a bit mask in which the element with ordinal n
// is bit n. `Bits` fixes the storage size (std::uint8_t for a set held in one byte).
//
// Value type; not synchronised (copy it across threads like an integer). Including, excluding or
// testing an element whose ordinal does not fit in `Bits` is a programming error: it is ignored
// (Include/Exclude) or reads as absent (Contains), never undefined behaviour.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace vcl {

template <typename E, typename Bits = std::uint32_t>
class Set {
  static_assert(std::is_enum_v<E>, "a set is a set of an enumeration");
  static_assert(std::is_unsigned_v<Bits>, "the storage of a set is an unsigned integer");

 public:
  using Element = E;
  using Storage = Bits;
  static constexpr unsigned kCapacity = sizeof(Bits) * 8;

  constexpr Set() = default;
  constexpr Set(std::initializer_list<E> elements) {
    for (E e : elements) Include(e);
  }
  static constexpr Set FromBits(Bits bits) {
    Set s;
    s.bits_ = bits;
    return s;
  }
  constexpr Bits ToBits() const { return bits_; }

  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr Set& Include(E e) {
    bits_ = static_cast<Bits>(bits_ | Bit(e));
    return *this;
  }
  constexpr Set& Exclude(E e) {
    bits_ = static_cast<Bits>(bits_ & ~Bit(e));
    return *this;
  }

  // Union, difference and intersection, as the original language writes them (+, -, *).
  friend constexpr Set operator+(Set a, Set b) {
    return FromBits(static_cast<Bits>(a.bits_ | b.bits_));
  }
  friend constexpr Set operator-(Set a, Set b) {
    return FromBits(static_cast<Bits>(a.bits_ & ~b.bits_));
  }
  friend constexpr Set operator*(Set a, Set b) {
    return FromBits(static_cast<Bits>(a.bits_ & b.bits_));
  }
  friend constexpr bool operator==(Set a, Set b) { return a.bits_ == b.bits_; }

 private:
  static constexpr Bits Bit(E e) {
    const auto ordinal = static_cast<std::uint64_t>(static_cast<std::underlying_type_t<E>>(e));
    return ordinal < kCapacity ? static_cast<Bits>(Bits{1} << ordinal) : Bits{0};
  }

  Bits bits_ = 0;
};

}  // namespace vcl
