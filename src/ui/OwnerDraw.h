#pragma once

#include <cstdint>

namespace tarnel {

// The state handed to an owner-drawn list entry; bit n stands for the member with ordinal n.
enum TOwnerDrawStateBit : uint8_t {
  odSelected,
  odGrayed,
  odDisabled,
  odChecked,
  odFocused,
  odDefault,
  odHotLight,
  odInactive,
  odNoAccel,
  odNoFocusRect,
  odReserved1,
  odReserved2,
  odComboBoxEdit
};
using TOwnerDrawState = uint32_t;
constexpr TOwnerDrawState OwnerDraw(TOwnerDrawStateBit Bit) {
  return TOwnerDrawState{1} << Bit;
}

}  // namespace tarnel
