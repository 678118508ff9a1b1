// MAPI's property utilities: finding, comparing and copying property values, freeing row
// sets and address lists, and the fixed-size declarations of MAPI's counted structures.
#pragma once

#include "mapicode.h"
#include "mapidefs.h"

// Fixed-size twins of MAPI's counted structures, for declaring them on the stack or as
// constants; cast their address to the plain structure's pointer type.
#define SizedSSortOrderSet(n, name) \
  struct _SSortOrderSet_##name {    \
    ULONG cSorts;                   \
    ULONG cCategories;              \
    ULONG cExpanded;                \
    SSortOrder aSort[n];            \
  } name
#define SizedADRLIST(n, name) \
  struct _ADRLIST_##name {    \
    ULONG cEntries;           \
    ADRENTRY aEntries[n];     \
  } name
#define SizedSRowSet(n, name) \
  struct _SRowSet_##name {    \
    ULONG cRows;              \
    SRow aRow[n];             \
  } name
#define SizedSPropProblemArray(n, name) \
  struct _SPropProblemArray_##name {    \
    ULONG cProblem;                     \
    SPropProblem aProblem[n];           \
  } name
#define SizedENTRYID(n, name) \
  struct _ENTRYID_##name {    \
    BYTE abFlags[4];          \
    BYTE ab[n];               \
  } name
#define CbNewSPropProblemArray(n) (offsetof(SPropProblemArray, aProblem) + (n) * sizeof(SPropProblem))
#define CbSSortOrderSet(p) CbNewSSortOrderSet((p)->cSorts)
#define CbSRowSet(p) CbNewSRowSet((p)->cRows)
#define CbADRLIST(p) CbNewADRLIST((p)->cEntries)

// C linkage, as MAPI exports them: a client written in C links against them.
extern "C" {

// The first value in `rgprop` whose tag is `ulPropTag`; a tag of type PT_UNSPECIFIED matches
// by property ID alone. Null when there is none (or `rgprop` is null).
LPSPropValue STDAPICALLTYPE PpropFindProp(LPSPropValue rgprop, ULONG cprop, ULONG ulPropTag);

// TRUE when the value `lpSPropValueDst` contains `lpSPropValueSrc` as `ulFuzzyLevel` asks:
// the low word is FL_FULLSTRING, FL_PREFIX or FL_SUBSTRING; FL_IGNORECASE or FL_LOOSE in the
// high word fold case, for PT_STRING8 only (binaries always compare byte for byte). Both
// values must have the same type, PT_STRING8 or PT_BINARY (FALSE for any other, PT_UNICODE
// too, as in MAPI); a null string is never contained and contains nothing; the empty string
// is a prefix and a substring of every string.
BOOL STDAPICALLTYPE FPropContainsProp(LPSPropValue lpSPropValueDst, LPSPropValue lpSPropValueSrc, ULONG ulFuzzyLevel);

// Compares two values of the same type: less than zero, zero or greater than zero as the
// first is less than, equal to or greater than the second. Strings (PT_STRING8) compare in
// the user's locale with regard to case, as CompareStringA without flags; a null string
// comes before every other. Binaries compare byte for byte, a prefix before the longer
// value. Values of different types are ordered by their type.
LONG STDAPICALLTYPE LPropCompareProp(LPSPropValue lpSPropValueA, LPSPropValue lpSPropValueB);

// TRUE when `lpSPropValue1` `ulRelOp` `lpSPropValue2` holds (RELOP_LT ... RELOP_NE by
// LPropCompareProp; RELOP_RE: the first, a string, matches the second as an extended regular
// expression). FALSE for values of different types and for an unknown operator.
BOOL STDAPICALLTYPE FPropCompareProp(LPSPropValue lpSPropValue1, ULONG ulRelOp, LPSPropValue lpSPropValue2);

// Copies one value into `lpSPropValueDest`; its strings, binaries and arrays are allocated
// with `lpfAllocMore` linked to `lpvObject`.
SCODE STDAPICALLTYPE PropCopyMore(LPSPropValue lpSPropValueDest, LPSPropValue lpSPropValueSrc,
                                  LPALLOCATEMORE lpfAllocMore, LPVOID lpvObject);

// The bytes a deep copy of the `cValues` values takes: the array and everything it points to,
// packed as MAPI packs it (each piece aligned only as its type needs, texts and bytes not at
// all). MAPI_E_INVALID_PARAMETER for a count below 1, a value of type PT_NULL, PT_UNSPECIFIED
// or one that cannot be copied, a null text and a binary whose bytes are missing.
SCODE STDAPICALLTYPE ScCountProps(int cValues, LPSPropValue lpPropArray, ULONG* lpcb);
// Copies the values and everything they point to into `lpvDst`, which must hold at least what
// ScCountProps counted and be aligned for any type; `lpcb` (may be null) gets the bytes used.
// Refuses what ScCountProps refuses.
SCODE STDAPICALLTYPE ScCopyProps(int cValues, LPSPropValue lpPropArray, LPVOID lpvDst, ULONG* lpcb);
// Deep copy of the values into one buffer from `lpAllocateBuffer`, freed with one call.
SCODE STDAPICALLTYPE ScDupPropset(int cValues, LPSPropValue lpPropArray, LPALLOCATEBUFFER lpAllocateBuffer,
                                  LPSPropValue* lppPropArray);

// Frees a row set handed out by a table: every row's values, then the set. Null is accepted.
void STDAPICALLTYPE FreeProws(LPSRowSet lpRows);
// Frees an address list the same way.
void STDAPICALLTYPE FreePadrlist(LPADRLIST lpAdrList);

}  // extern "C"
