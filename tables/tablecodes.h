#pragma once
// The page stream codes the table pass acts on. They are defined once, with
// pass one's stream format; the fallback below keeps the table pass buildable
// on its own (the tool and its tests) in a tree where that header is absent.

#if __has_include("passone/pagestream.h")
#include "passone/pagestream.h"
#else
inline constexpr unsigned char PS_TABLE = 1;
inline constexpr unsigned char PS_TR = 2;
inline constexpr unsigned char PS_TD = 3;
inline constexpr unsigned char PS_TD_NOALIGN = 4;
inline constexpr unsigned char PS_ALIGN_LEFT = 5;
inline constexpr unsigned char PS_ALIGN_RIGHT = 6;
inline constexpr unsigned char PS_ALIGN_CENTER = 7;
inline constexpr unsigned char PS_TD_END = 8;
inline constexpr unsigned char PS_TAB = 9;
inline constexpr unsigned char PS_NL = 10;
inline constexpr unsigned char PS_TR_END = 11;
inline constexpr unsigned char PS_TABLE_END = 12;
#endif
