/* A MAPI client written in C: it declares MAPI's functions as MAPI documents them and calls
 * them, so that linking it shows that they carry C linkage. */
#include <stddef.h>

typedef unsigned int ULONG;
typedef int LONG;
typedef LONG SCODE;
typedef LONG HRESULT;

typedef struct {
  ULONG ulPropTag;
  ULONG dwAlignPad;
  union {
    LONG l;
    char* lpszA;
    struct {
      ULONG cb;
      unsigned char* lpb;
    } bin;
  } Value;
} SPropValue;

typedef SCODE AllocateBuffer(ULONG cbSize, void** lppBuffer);
typedef SCODE AllocateMore(ULONG cbSize, void* lpObject, void** lppBuffer);
typedef ULONG FreeBuffer(void* lpBuffer);

SCODE MAPIAllocateBuffer(ULONG cbSize, void** lppBuffer);
SCODE MAPIAllocateMore(ULONG cbSize, void* lpObject, void** lppBuffer);
ULONG MAPIFreeBuffer(void* lpBuffer);
SPropValue* PpropFindProp(SPropValue* rgprop, ULONG cprop, ULONG ulPropTag);
int FPropContainsProp(SPropValue* lpSPropValueDst, SPropValue* lpSPropValueSrc, ULONG ulFuzzyLevel);
LONG LPropCompareProp(SPropValue* lpSPropValueA, SPropValue* lpSPropValueB);
int FPropCompareProp(SPropValue* lpSPropValue1, ULONG ulRelOp, SPropValue* lpSPropValue2);
SCODE PropCopyMore(SPropValue* lpSPropValueDest, SPropValue* lpSPropValueSrc, AllocateMore* lpfAllocMore,
                   void* lpvObject);
SCODE ScCountProps(int cValues, SPropValue* lpPropArray, ULONG* lpcb);
SCODE ScCopyProps(int cValues, SPropValue* lpPropArray, void* lpvDst, ULONG* lpcb);
SCODE ScDupPropset(int cValues, SPropValue* lpPropArray, AllocateBuffer* lpAllocateBuffer, SPropValue** lppPropArray);
void FreeProws(void* lpRows);
void FreePadrlist(void* lpAdrList);
SCODE CreateTable(const void* lpInterface, AllocateBuffer* lpAllocateBuffer, AllocateMore* lpAllocateMore,
                  FreeBuffer* lpFreeBuffer, void* lpvReserved, ULONG ulTableType, ULONG ulPropTagIndexColumn,
                  void* lpSPropTagArrayColumns, void** lppTableData);
HRESULT BuildDisplayTable(AllocateBuffer* lpAllocateBuffer, AllocateMore* lpAllocateMore, FreeBuffer* lpFreeBuffer,
                          void* lpMalloc, void* hInstance, unsigned cPages, void* lpPage, ULONG ulFlags,
                          void** lppTable, void** lppTblData);

#define PR_DISPLAY_NAME 0x3001001Eu
#define MAPI_E_INVALID_PARAMETER ((SCODE)0x80070057u)

/* Zero when every call answered as MAPI documents; otherwise the number of the failed check. */
int CallMapiFromC(void) {
  void* buffer = NULL;
  void* more = NULL;
  SPropValue name;
  SPropValue* copy = NULL;
  ULONG bytes = 0;
  void* table = NULL;
  if (MAPIAllocateBuffer(sizeof(SPropValue), &buffer) != 0) return 1;
  if (MAPIAllocateMore(8, buffer, &more) != 0) return 2;
  name.ulPropTag = PR_DISPLAY_NAME;
  name.dwAlignPad = 0;
  name.Value.lpszA = "Anna";
  if (PropCopyMore((SPropValue*)buffer, &name, MAPIAllocateMore, buffer) != 0) return 3;
  if (PpropFindProp((SPropValue*)buffer, 1, PR_DISPLAY_NAME) != buffer) return 4;
  if (LPropCompareProp(&name, (SPropValue*)buffer) != 0) return 5;
  if (!FPropCompareProp(&name, 4 /* RELOP_EQ */, (SPropValue*)buffer)) return 6;
  if (!FPropContainsProp(&name, (SPropValue*)buffer, 0 /* FL_FULLSTRING */)) return 7;
  if (ScCountProps(1, &name, &bytes) != 0 || bytes != sizeof(SPropValue) + 5) return 8;
  if (ScDupPropset(1, &name, MAPIAllocateBuffer, &copy) != 0) return 9;
  MAPIFreeBuffer(copy);
  if (ScCopyProps(0, &name, buffer, NULL) != MAPI_E_INVALID_PARAMETER) return 10;
  if (MAPIFreeBuffer(buffer) != 0) return 11;
  FreeProws(NULL);
  FreePadrlist(NULL);
  if (CreateTable(NULL, NULL, NULL, NULL, NULL, 0, 0, NULL, &table) != MAPI_E_INVALID_PARAMETER) return 12;
  if (BuildDisplayTable(NULL, NULL, NULL, NULL, NULL, 0, NULL, 0, &table, NULL) != MAPI_E_INVALID_PARAMETER) return 13;
  return 0;
}
