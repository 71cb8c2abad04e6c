// One row per value of an enum, with its words for a person and its key for
// a machine (the trace, the tool's JSON), so that the two cannot drift apart.
#pragma once

#include <cstddef>

namespace platform {

template <typename Enum>
struct EnumNames {
  Enum value;
  const wchar_t* text;
  const wchar_t* key;
};

// The row of `value` in `table`; the first row, which a table gives its
// fallback, when `value` is not listed (a number that another writer stored).
template <typename Enum, size_t N>
constexpr const EnumNames<Enum>& NamesOf(const EnumNames<Enum> (&table)[N], Enum value) {
  for (const EnumNames<Enum>& row : table) {
    if (row.value == value) return row;
  }
  return table[0];
}

// For a static_assert: one row per value from 0 to `last`, in that order.
template <typename Enum, size_t N>
constexpr bool ListsEveryValueInOrder(const EnumNames<Enum> (&table)[N], Enum last) {
  for (size_t i = 0; i < N; ++i) {
    if (static_cast<size_t>(table[i].value) != i) return false;
  }
  return static_cast<size_t>(last) + 1 == N;
}

}  // namespace platform
