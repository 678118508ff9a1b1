// Interface identifiers of MAPI's interfaces, with MAPI's documented values.
#pragma once

#include "mapidefs.h"

#define PX_DEFINE_OLEGUID(name, l) \
  inline constexpr IID name = {(l), 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}}

PX_DEFINE_OLEGUID(IID_IUnknown, 0x00000000);
