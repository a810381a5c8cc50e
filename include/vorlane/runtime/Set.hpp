// TSet: a set of enumeration elements held in one machine word, element n in bit n.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace vorlane::System {

template <class E, class Word>
class TSet {
  static_assert(std::is_enum_v<E> && std::is_unsigned_v<Word>);

 public:
  using Element = E;
  using WordType = Word;
  static constexpr int Capacity = sizeof(Word) * 8;

  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> elements) {
    for (E e : elements) FBits |= Bit(e);
  }
  static constexpr TSet FromBits(Word bits) {
    TSet s;
    s.FBits = bits;
    return s;
  }

  constexpr Word Bits() const { return FBits; }
  constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr TSet& Include(E e) {
    FBits |= Bit(e);
    return *this;
  }
  constexpr TSet& Exclude(E e) {
    FBits &= static_cast<Word>(~Bit(e));
    return *this;
  }
  constexpr int Count() const { return __builtin_popcountll(FBits); }

  friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(a.FBits | b.FBits); }
  friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.FBits & ~b.FBits); }
  friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(a.FBits & b.FBits); }
  friend constexpr bool operator==(TSet a, TSet b) = default;

 private:
  static constexpr Word Bit(E e) { return static_cast<Word>(Word{1} << static_cast<int>(e)); }
  Word FBits = 0;
};

}  // namespace vorlane::System
