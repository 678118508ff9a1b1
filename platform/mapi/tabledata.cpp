// Table data (ITableData) and its views (IMAPITable).
//
// The table data keeps its rows in insertion order, each row an immutable deep copy, with a
// hash index on the index column: HrModifyRow costs the same whatever the table holds. Views
// do not follow every change as it happens; each view rebuilds its restricted, sorted list
// of rows the next time it is used after the data changed (the data counts its changes). The
// cursor and the bookmarks remember the row they stand on (its insertion number and sort
// keys) and find it again after a rebuild, or the row that now follows its place when it was
// deleted. One lock per table data guards the data and all its views.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "mapiguid.h"
#include "mapiptr.h"
#include "mapitable.h"
#include "mapitags.h"
#include "mapiutil.h"
#include "propvalue.h"

namespace pxmapi {
namespace {

constexpr ULONG Align8(ULONG n) { return (n + 7u) & ~7u; }

struct Row {
  ULONGLONG seq = 0;  // insertion number: the table's natural order, kept when the row is replaced
  PropBlock values;
};
using RowPtr = std::shared_ptr<const Row>;

// The key of an index-column value: its bytes, for the types an index column can have.
bool IndexKey(const SPropValue& value, std::string& key) {
  const PV& v = value.Value;
  auto raw = [&](const void* p, std::size_t n) {
    key.assign(static_cast<const char*>(p), n);
    return true;
  };
  switch (PROP_TYPE(value.ulPropTag)) {
    case PT_BINARY: return (v.bin.cb == 0 || v.bin.lpb) && raw(v.bin.lpb, v.bin.cb);
    case PT_STRING8: return v.lpszA && raw(v.lpszA, std::strlen(v.lpszA));
    case PT_UNICODE: {
      if (!v.lpszW) return false;
      std::size_t n = 0;
      while (v.lpszW[n]) ++n;
      return raw(v.lpszW, n * sizeof(WCHAR));
    }
    case PT_LONG: return raw(&v.l, sizeof v.l);
    case PT_I2: return raw(&v.i, sizeof v.i);
    case PT_BOOLEAN: return raw(&v.b, sizeof v.b);
    case PT_I8: return raw(&v.li, sizeof v.li);
    case PT_SYSTIME: return raw(&v.ft, sizeof v.ft);
    case PT_CLSID: return v.lpguid && raw(v.lpguid, sizeof(GUID));
    default: return false;
  }
}

bool IndexableType(ULONG type) {
  switch (type) {
    case PT_BINARY:
    case PT_STRING8:
    case PT_UNICODE:
    case PT_LONG:
    case PT_I2:
    case PT_BOOLEAN:
    case PT_I8:
    case PT_SYSTIME:
    case PT_CLSID: return true;
    default: return false;
  }
}

HRESULT CheckSortOrder(const SSortOrderSet* sort, std::vector<SSortOrder>& out) {
  if (!sort) return MAPI_E_INVALID_PARAMETER;
  if (sort->cCategories != 0) return MAPI_E_TOO_COMPLEX;  // no categorized views
  std::vector<SSortOrder> keys(sort->aSort, sort->aSort + sort->cSorts);
  for (const auto& key : keys) {
    if (key.ulOrder == TABLE_SORT_COMBINE) return MAPI_E_TOO_COMPLEX;
    if (key.ulOrder != TABLE_SORT_ASCEND && key.ulOrder != TABLE_SORT_DESCEND) return MAPI_E_INVALID_PARAMETER;
    if (PROP_TYPE(key.ulPropTag) & MV_FLAG) return MAPI_E_TOO_COMPLEX;
  }
  out = std::move(keys);
  return S_OK;
}

class TableData;

// One notification to send to one advise sink once the table's lock is released. It owns what
// its values point to: the rows of the index values and the row copied for the view.
struct Pending {
  ComPtr<IMAPIAdviseSink> sink;
  ULONG event = TABLE_CHANGED;
  SPropValue index{};
  SPropValue prior{};
  RowPtr indexRow, priorRow;
  std::shared_ptr<SRow> row;
};

// A place in a view: the row it stands on, or the beginning or the end of the view (which stay
// the beginning and the end whatever rows come and go), as it was when last seen.
struct Mark {
  bool begin = false;
  bool end = true;
  ULONGLONG seq = 0;
  std::vector<SortKey> keys;
  std::size_t position = 0;
  ULONGLONG listVersion = 0;
};

class View final : public IMAPITable {
 public:
  View(TableData* data, CALLERRELEASE* release, ULONG_PTR callerData);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, LPVOID* ppvObj) override {
    if (!ppvObj) return MAPI_E_INVALID_PARAMETER;
    *ppvObj = nullptr;
    if (riid != IID_IUnknown && riid != IID_IMAPITable) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    AddRef();
    *ppvObj = static_cast<IMAPITable*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR* lppMAPIError) override {
    if (!lppMAPIError) return MAPI_E_INVALID_PARAMETER;
    *lppMAPIError = nullptr;  // nothing more to say than the result code
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                                   ULONG_PTR* lpulConnection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG_PTR ulConnection) override;
  HRESULT STDMETHODCALLTYPE GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) override;
  HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) override;
  HRESULT STDMETHODCALLTYPE GetRowCount(ULONG ulFlags, ULONG* lpulCount) override;
  HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) override;
  HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) override;
  HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) override;
  HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction lpRestriction, ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* lpbkPosition) override;
  HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK bkPosition) override;
  HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) override;
  HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* lppSortCriteria) override;
  HRESULT STDMETHODCALLTYPE QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) override;
  HRESULT STDMETHODCALLTYPE Abort() override { return S_OK; }  // nothing runs in the background
  HRESULT STDMETHODCALLTYPE ExpandRow(ULONG, LPBYTE, ULONG, ULONG, LPSRowSet*, ULONG*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE CollapseRow(ULONG, LPBYTE, ULONG, ULONG*) override { return MAPI_E_NO_SUPPORT; }
  HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG, ULONG, ULONG* lpulTableStatus) override {
    if (lpulTableStatus) *lpulTableStatus = TBLSTAT_COMPLETE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG, ULONG, LPBYTE, ULONG*, LPBYTE*) override {
    return MAPI_E_NO_SUPPORT;
  }
  HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG, ULONG, LPBYTE, BOOKMARK*) override { return MAPI_E_NO_SUPPORT; }

  virtual ~View();

  // For HrGetView, before the view is handed out.
  HRESULT InitialSort(const SSortOrderSet* sort);

  // Under the table's lock, after a change of the rows: what this view's sinks are to be told
  // of a row that was `before` and is now `after` (either may be null), or of a reload.
  void CollectNotifications(ULONG event, const RowPtr& before, const RowPtr& after, std::vector<Pending>& out);

 private:
  void Refresh();
  void Rebuild();
  // After a new restriction or sort order: rebuilds the list, puts the cursor at the start
  // and forgets the bookmarks, whose rows may be gone.
  HRESULT Reorder();
  int CompareTo(std::size_t index, const std::vector<SortKey>& keys, ULONGLONG seq) const;
  Mark MarkAt(std::size_t position) const;
  std::size_t Resolve(Mark& mark, bool* moved);
  HRESULT Origin(BOOKMARK bookmark, std::size_t& origin, HRESULT& warning);
  HRESULT MakeRow(const Row& row, SRow& out) const;

  std::atomic<ULONG> refs_{1};
  ComPtr<TableData> data_;
  CALLERRELEASE* release_;
  ULONG_PTR callerData_;

  // Everything below is guarded by the table data's lock.
  std::vector<ULONG> columns_;
  std::unique_ptr<Restriction> restriction_;
  std::vector<SSortOrder> sort_;
  bool collate_ = false;
  bool stale_ = true;
  ULONGLONG builtVersion_ = 0;
  ULONGLONG listVersion_ = 0;
  std::vector<RowPtr> list_;
  std::vector<SortKey> keys_;  // sort_.size() keys per row of list_
  std::size_t cursor_ = 0;
  std::map<BOOKMARK, Mark> bookmarks_;
  BOOKMARK nextBookmark_ = BOOKMARK_END + 1;
  std::map<ULONG_PTR, ComPtr<IMAPIAdviseSink>> sinks_;
  ULONG_PTR nextConnection_ = 1;
};

class TableData final : public ITableData {
 public:
  TableData(LPALLOCATEBUFFER allocateBuffer, LPALLOCATEMORE allocateMore, LPFREEBUFFER freeBuffer, ULONG tableType,
            ULONG indexTag, std::vector<ULONG> columns)
      : allocateBuffer(allocateBuffer),
        allocateMore(allocateMore),
        freeBuffer(freeBuffer),
        tableType(tableType),
        columns(std::move(columns)),
        indexTag_(indexTag) {
    for (ULONG tag : this->columns) NoteTag(tag);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, LPVOID* ppvObj) override {
    if (!ppvObj) return MAPI_E_INVALID_PARAMETER;
    *ppvObj = nullptr;
    if (riid != IID_IUnknown && riid != IID_IMAPITableData) return MAPI_E_INTERFACE_NOT_SUPPORTED;
    AddRef();
    *ppvObj = static_cast<ITableData*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE HrGetView(LPSSortOrderSet lpSSortOrderSet, CALLERRELEASE* lpfCallerRelease,
                                      ULONG_PTR ulCallerData, LPMAPITABLE* lppMAPITable) override {
    if (!lppMAPITable) return MAPI_E_INVALID_PARAMETER;
    *lppMAPITable = nullptr;
    try {
      auto* view = new View(this, lpfCallerRelease, ulCallerData);
      if (lpSSortOrderSet) {
        if (const HRESULT hr = view->InitialSort(lpSSortOrderSet); FAILED(hr)) {
          view->Release();
          return hr;
        }
      }
      *lppMAPITable = view;
      return S_OK;
    } catch (const std::bad_alloc&) {
      return MAPI_E_NOT_ENOUGH_MEMORY;
    }
  }

  HRESULT STDMETHODCALLTYPE HrModifyRow(LPSRow lpSRow) override {
    if (!lpSRow || (lpSRow->cValues && !lpSRow->lpProps)) return MAPI_E_INVALID_PARAMETER;
    const SPropValue* index = PpropFindProp(lpSRow->lpProps, lpSRow->cValues, indexTag_);
    try {
      std::string key;
      if (!index || !IndexKey(*index, key)) return MAPI_E_INVALID_PARAMETER;
      auto row = std::make_shared<Row>();
      if (const SCODE sc = CopyToBlock(lpSRow->cValues, lpSRow->lpProps, row->values); FAILED(sc)) return sc;
      std::vector<Pending> pending;
      {
        std::lock_guard guard(mutex);
        const auto [slot, added] = index_.try_emplace(std::move(key), rows.size());
        RowPtr before;
        if (added) {
          row->seq = NextSeq();
          rows.push_back(row);
        } else {
          before = rows[slot->second];
          row->seq = before->seq;
          rows[slot->second] = row;
        }
        for (ULONG i = 0; i < lpSRow->cValues; ++i) NoteTag(lpSRow->lpProps[i].ulPropTag);
        ++version;
        Collect(added ? TABLE_ROW_ADDED : TABLE_ROW_MODIFIED, before, row, pending);
      }
      Deliver(pending);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return MAPI_E_NOT_ENOUGH_MEMORY;
    }
  }

  HRESULT STDMETHODCALLTYPE HrDeleteRow(LPSPropValue lpSPropValue) override {
    std::string key;
    if (!lpSPropValue || lpSPropValue->ulPropTag != indexTag_ || !IndexKey(*lpSPropValue, key))
      return MAPI_E_INVALID_PARAMETER;
    std::vector<Pending> pending;
    try {
      std::lock_guard guard(mutex);
      RowPtr gone;
      if (!DeleteKey(key, &gone)) return MAPI_E_NOT_FOUND;
      Collect(TABLE_ROW_DELETED, gone, nullptr, pending);
    } catch (const std::bad_alloc&) {
      // The row is gone; only the news of it could not be made.
    }
    Deliver(pending);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE HrQueryRow(LPSPropValue lpsPropValue, LPSRow* lppSRow, ULONG* lpuliRow) override {
    std::string key;
    if (!lppSRow) return MAPI_E_INVALID_PARAMETER;
    *lppSRow = nullptr;
    if (!lpsPropValue || lpsPropValue->ulPropTag != indexTag_ || !IndexKey(*lpsPropValue, key))
      return MAPI_E_INVALID_PARAMETER;
    std::lock_guard guard(mutex);
    const auto found = index_.find(key);
    if (found == index_.end()) return MAPI_E_NOT_FOUND;
    Compact();
    const std::size_t position = index_.find(key)->second;
    if (lpuliRow) *lpuliRow = static_cast<ULONG>(position);
    return CopyRow(*rows[position], lppSRow);
  }

  HRESULT STDMETHODCALLTYPE HrEnumRow(ULONG ulRowNumber, LPSRow* lppSRow) override {
    if (!lppSRow) return MAPI_E_INVALID_PARAMETER;
    *lppSRow = nullptr;
    std::lock_guard guard(mutex);
    Compact();
    if (ulRowNumber >= rows.size()) return S_OK;  // past the end: no row
    return CopyRow(*rows[ulRowNumber], lppSRow);
  }

  // Tells the views' sinks that the row whose index column is among the values changed.
  HRESULT STDMETHODCALLTYPE HrNotify(ULONG ulFlags, ULONG cValues, LPSPropValue lpSPropValue) override {
    if (ulFlags) return MAPI_E_UNKNOWN_FLAGS;
    if (!lpSPropValue || !cValues) return MAPI_E_INVALID_PARAMETER;
    const SPropValue* index = PpropFindProp(lpSPropValue, cValues, indexTag_);
    std::string key;
    if (!index || !IndexKey(*index, key)) return MAPI_E_INVALID_PARAMETER;
    std::vector<Pending> pending;
    try {
      std::lock_guard guard(mutex);
      const auto found = index_.find(key);
      if (found == index_.end()) return MAPI_E_NOT_FOUND;
      const RowPtr row = rows[found->second];
      Collect(TABLE_ROW_MODIFIED, row, row, pending);
    } catch (const std::bad_alloc&) {
      return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    Deliver(pending);
    return S_OK;
  }

  // Adds a row at place `uliRow` of the table's own order (0: first; the row count or more:
  // last). A row with the same index value already there is MAPI_E_INVALID_PARAMETER.
  HRESULT STDMETHODCALLTYPE HrInsertRow(ULONG uliRow, LPSRow lpSRow) override {
    if (!lpSRow || (lpSRow->cValues && !lpSRow->lpProps)) return MAPI_E_INVALID_PARAMETER;
    const SPropValue* index = PpropFindProp(lpSRow->lpProps, lpSRow->cValues, indexTag_);
    try {
      std::string key;
      if (!index || !IndexKey(*index, key)) return MAPI_E_INVALID_PARAMETER;
      auto row = std::make_shared<Row>();
      if (const SCODE sc = CopyToBlock(lpSRow->cValues, lpSRow->lpProps, row->values); FAILED(sc)) return sc;
      std::vector<Pending> pending;
      {
        std::lock_guard guard(mutex);
        if (index_.count(key)) return MAPI_E_INVALID_PARAMETER;
        Compact();
        const std::size_t place = std::min<std::size_t>(uliRow, rows.size());
        rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(place), row);
        // Insertion numbers give the table's order: renumber, keeping the marks of the rows.
        Renumber(place, row);
        for (auto& entry : index_)
          if (entry.second >= place) ++entry.second;
        index_.emplace(std::move(key), place);
        for (ULONG i = 0; i < lpSRow->cValues; ++i) NoteTag(lpSRow->lpProps[i].ulPropTag);
        ++version;
        Collect(TABLE_ROW_ADDED, nullptr, row, pending);
      }
      Deliver(pending);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return MAPI_E_NOT_ENOUGH_MEMORY;
    }
  }

  HRESULT STDMETHODCALLTYPE HrModifyRows(ULONG, LPSRowSet lpSRowSet) override {
    if (!lpSRowSet) return MAPI_E_INVALID_PARAMETER;
    for (ULONG i = 0; i < lpSRowSet->cRows; ++i)
      if (const HRESULT hr = HrModifyRow(&lpSRowSet->aRow[i]); FAILED(hr)) return hr;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE HrDeleteRows(ULONG ulFlags, LPSRowSet lprowsetToDelete, ULONG* cRowsDeleted) override {
    ULONG deleted = 0;
    std::vector<Pending> pending;
    if (ulFlags & TAD_ALL_ROWS) {
      std::lock_guard guard(mutex);
      deleted = static_cast<ULONG>(index_.size());
      rows.clear();
      index_.clear();
      tombstones_ = 0;
      ++version;
      try {
        Collect(TABLE_RELOAD, nullptr, nullptr, pending);
      } catch (const std::bad_alloc&) {
      }
    } else {
      if (!lprowsetToDelete) return MAPI_E_INVALID_PARAMETER;
      std::lock_guard guard(mutex);
      for (ULONG i = 0; i < lprowsetToDelete->cRows; ++i) {
        const SRow& row = lprowsetToDelete->aRow[i];
        const SPropValue* index = PpropFindProp(row.lpProps, row.cValues, indexTag_);
        std::string key;
        RowPtr gone;
        if (!index || !IndexKey(*index, key) || !DeleteKey(key, &gone)) continue;
        ++deleted;
        try {
          Collect(TABLE_ROW_DELETED, gone, nullptr, pending);
        } catch (const std::bad_alloc&) {
        }
      }
    }
    Deliver(pending);
    if (cRowsDeleted) *cRowsDeleted = deleted;
    return S_OK;
  }

  virtual ~TableData() = default;

  // What views share; guarded by `mutex` unless constant.
  std::mutex mutex;
  const LPALLOCATEBUFFER allocateBuffer;
  const LPALLOCATEMORE allocateMore;
  const LPFREEBUFFER freeBuffer;
  const ULONG tableType;
  const std::vector<ULONG> columns;
  std::vector<RowPtr> rows;  // insertion order; null where a row was deleted
  ULONGLONG version = 0;     // counts the changes of the rows
  std::vector<ULONG> allTags;
  std::vector<View*> views;  // every open view, for its advise sinks

  // The index column of a row held by the table.
  const SPropValue* IndexOf(const Row& row) const {
    return PpropFindProp(row.values.props, row.values.count, indexTag_);
  }

 private:
  // Insertion numbers leave room between rows, so that a row inserted between two others
  // mostly finds a number of its own.
  static constexpr ULONGLONG kSeqStep = 1u << 16;
  ULONGLONG NextSeq() {
    const ULONGLONG seq = nextSeq_;
    nextSeq_ += kSeqStep;
    return seq;
  }
  // Gives the row just inserted at `place` a number between its neighbours', numbering the
  // whole table afresh in the rare case that there is no room (marks on rows then find their
  // rows by their sort keys alone).
  void Renumber(std::size_t place, const std::shared_ptr<Row>& row) {
    if (place + 1 == rows.size()) {
      row->seq = NextSeq();
      return;
    }
    const ULONGLONG high = rows[place + 1]->seq;
    const ULONGLONG low = place > 0 ? rows[place - 1]->seq + 1 : 0;  // the lowest number free
    if (low < high) {
      row->seq = low + (high - low) / 2;
      return;
    }
    nextSeq_ = kSeqStep;
    for (RowPtr& r : rows) {
      if (r == row) {
        row->seq = NextSeq();
        continue;
      }
      auto copy = std::make_shared<Row>();
      if (FAILED(CopyToBlock(r->values.count, r->values.props, copy->values))) throw std::bad_alloc();
      copy->seq = NextSeq();
      r = std::move(copy);
    }
  }

  // The notifications of a change for the advise sinks of every view, made under the lock.
  void Collect(ULONG event, const RowPtr& before, const RowPtr& after, std::vector<Pending>& out) {
    for (View* view : views) view->CollectNotifications(event, before, after, out);
  }
  // Sends them; called without the lock, so that a sink may call the table again.
  static void Deliver(std::vector<Pending>& pending) {
    for (Pending& p : pending) {
      NOTIFICATION notification{};
      notification.ulEventType = fnevTableModified;
      TABLE_NOTIFICATION& table = notification.info.tab;
      table.ulTableEvent = p.event;
      table.hResult = S_OK;
      table.propIndex = p.index;
      table.propPrior = p.prior;
      if (p.row) table.row = *p.row;
      p.sink->OnNotify(1, &notification);
    }
    pending.clear();
  }

  void NoteTag(ULONG tag) {
    if (PROP_TYPE(tag) == PT_ERROR) return;
    // Tables have few distinct columns: a scan beats hashing until they are many.
    if (allTags.size() <= 32 && std::find(allTags.begin(), allTags.end(), tag) != allTags.end()) return;
    if (seenTags_.insert(tag).second) allTags.push_back(tag);
  }

  bool DeleteKey(const std::string& key, RowPtr* gone) {
    const auto found = index_.find(key);
    if (found == index_.end()) return false;
    *gone = std::move(rows[found->second]);
    rows[found->second] = nullptr;
    index_.erase(found);
    ++tombstones_;
    ++version;
    if (tombstones_ > 64 && tombstones_ > rows.size() / 2) Compact();
    return true;
  }

  // Drops the places of deleted rows, so that positions count live rows.
  void Compact() {
    if (tombstones_ == 0) return;
    std::vector<std::size_t> moved(rows.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      moved[i] = next;
      if (rows[i]) rows[next++] = std::move(rows[i]);
    }
    rows.resize(next);
    for (auto& entry : index_) entry.second = moved[entry.second];
    tombstones_ = 0;
  }

  // One buffer with the SRow and all its values, as HrQueryRow and HrEnumRow hand out.
  HRESULT CopyRow(const Row& row, LPSRow* out) const {
    ULONG bytes = 0;
    if (const SCODE sc = CountValues(row.values.count, row.values.props, bytes); FAILED(sc)) return sc;
    const ULONG head = Align8(sizeof(SRow));
    LPVOID buffer = nullptr;
    if (const SCODE sc = allocateBuffer(head + bytes, &buffer); FAILED(sc)) return sc;
    if (!buffer) return MAPI_E_NOT_ENOUGH_MEMORY;
    auto* srow = static_cast<LPSRow>(buffer);
    srow->ulAdrEntryPad = 0;
    srow->cValues = row.values.count;
    srow->lpProps = reinterpret_cast<LPSPropValue>(static_cast<std::byte*>(buffer) + head);
    CopyValues(row.values.count, row.values.props, srow->lpProps, nullptr);
    *out = srow;
    return S_OK;
  }

  std::atomic<ULONG> refs_{1};
  const ULONG indexTag_;
  std::unordered_map<std::string, std::size_t> index_;  // index-column key -> place in `rows`
  std::size_t tombstones_ = 0;
  ULONGLONG nextSeq_ = kSeqStep;
  std::unordered_set<ULONG> seenTags_;
};

View::View(TableData* data, CALLERRELEASE* release, ULONG_PTR callerData)
    : data_(ComPtr<TableData>::AddRefed(data)), release_(release), callerData_(callerData) {
  // The table's columns as they stand: those it was made with and those its rows brought.
  std::lock_guard guard(data->mutex);
  columns_ = data->allTags;
  data->views.push_back(this);
}

View::~View() {
  std::lock_guard guard(data_->mutex);
  data_->views.erase(std::find(data_->views.begin(), data_->views.end(), this));
}

HRESULT View::Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink, ULONG_PTR* lpulConnection) {
  if (!lpAdviseSink || !lpulConnection) return MAPI_E_INVALID_PARAMETER;
  // A table tells of its changes only; it has no other events to register for.
  if (!(ulEventMask & fnevTableModified) || (ulEventMask & ~fnevTableModified)) return MAPI_E_INVALID_PARAMETER;
  try {
    std::lock_guard guard(data_->mutex);
    const ULONG_PTR connection = nextConnection_++;
    sinks_.emplace(connection, ComPtr<IMAPIAdviseSink>::AddRefed(lpAdviseSink));
    *lpulConnection = connection;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
}

HRESULT View::Unadvise(ULONG_PTR ulConnection) {
  ComPtr<IMAPIAdviseSink> sink;  // released after the lock
  std::lock_guard guard(data_->mutex);
  const auto found = sinks_.find(ulConnection);
  if (found == sinks_.end()) return MAPI_E_NOT_FOUND;
  sink = std::move(found->second);
  sinks_.erase(found);
  return S_OK;
}

void View::CollectNotifications(ULONG event, const RowPtr& before, const RowPtr& after, std::vector<Pending>& out) {
  if (sinks_.empty()) return;
  auto shows = [&](const RowPtr& row) {
    return row && (!restriction_ || restriction_->Matches(row->values.props, row->values.count));
  };
  Pending note;
  note.event = event;
  note.prior.ulPropTag = PR_NULL;
  if (event != TABLE_RELOAD) {
    const bool was = shows(before), is = shows(after);
    if (!was && !is) return;  // a row this view does not show
    const RowPtr& row = is ? after : before;
    note.indexRow = row;
    note.index = *data_->IndexOf(*row);
    if (!is) {
      note.event = TABLE_ROW_DELETED;
    } else {
      note.event = was ? TABLE_ROW_MODIFIED : TABLE_ROW_ADDED;
      Refresh();
      const auto at = std::find(list_.begin(), list_.end(), after);
      if (at != list_.begin() && at != list_.end()) {
        note.priorRow = *(at - 1);
        note.prior = *data_->IndexOf(*note.priorRow);
      }
      LPFREEBUFFER free = data_->freeBuffer;
      note.row = std::shared_ptr<SRow>(new SRow{}, [free](SRow* r) {
        if (r->lpProps) free(r->lpProps);
        delete r;
      });
      if (FAILED(MakeRow(*after, *note.row))) throw std::bad_alloc();
    }
  }
  for (const auto& entry : sinks_) {
    out.push_back(note);
    out.back().sink = entry.second;
  }
}

ULONG View::Release() {
  const ULONG left = --refs_;
  if (left == 0) {
    if (release_) release_(callerData_, data_.get(), this);
    delete this;
  }
  return left;
}

HRESULT View::InitialSort(const SSortOrderSet* sort) {
  std::vector<SSortOrder> keys;
  if (const HRESULT hr = CheckSortOrder(sort, keys); FAILED(hr)) return hr;
  std::lock_guard guard(data_->mutex);
  sort_ = std::move(keys);
  stale_ = true;
  return S_OK;
}

int View::CompareTo(std::size_t index, const std::vector<SortKey>& keys, ULONGLONG seq) const {
  const std::size_t k = sort_.size();
  for (std::size_t j = 0; j < k; ++j) {
    int c = CompareSortKeys(keys_[index * k + j], keys[j]);
    if (sort_[j].ulOrder == TABLE_SORT_DESCEND) c = -c;
    if (c) return c;
  }
  const ULONGLONG own = list_[index]->seq;
  return own < seq ? -1 : (own > seq ? 1 : 0);
}

void View::Rebuild() {
  std::vector<RowPtr> rows;
  rows.reserve(data_->rows.size());
  for (const auto& row : data_->rows)
    if (row && (!restriction_ || restriction_->Matches(row->values.props, row->values.count))) rows.push_back(row);
  const std::size_t k = sort_.size();
  std::vector<SortKey> keys;
  if (k) {
    collate_ = LocaleCollates();
    keys.resize(rows.size() * k);
    std::string scratch;
    for (std::size_t i = 0; i < rows.size(); ++i)
      for (std::size_t j = 0; j < k; ++j)
        MakeSortKey(PpropFindProp(rows[i]->values.props, rows[i]->values.count, sort_[j].ulPropTag), collate_, scratch,
                    keys[i * k + j]);
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      for (std::size_t j = 0; j < k; ++j) {
        int c = CompareSortKeys(keys[a * k + j], keys[b * k + j]);
        if (sort_[j].ulOrder == TABLE_SORT_DESCEND) c = -c;
        if (c) return c < 0;
      }
      return rows[a]->seq < rows[b]->seq;
    });
    std::vector<RowPtr> sorted(rows.size());
    std::vector<SortKey> sortedKeys(keys.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
      sorted[i] = std::move(rows[order[i]]);
      for (std::size_t j = 0; j < k; ++j) sortedKeys[i * k + j] = std::move(keys[order[i] * k + j]);
    }
    rows = std::move(sorted);
    keys = std::move(sortedKeys);
  }
  list_ = std::move(rows);
  keys_ = std::move(keys);
  builtVersion_ = data_->version;
  stale_ = false;
  ++listVersion_;
}

Mark View::MarkAt(std::size_t position) const {
  Mark mark;
  mark.listVersion = listVersion_;
  mark.position = std::min(position, list_.size());
  // The first row is a row like any other: a mark on it follows it when rows come before it.
  // Only in an empty view is the place the beginning, where the first row to come will be.
  mark.begin = list_.empty();
  if (position >= list_.size()) return mark;
  mark.end = false;
  mark.seq = list_[position]->seq;
  const std::size_t k = sort_.size();
  mark.keys.assign(keys_.begin() + static_cast<std::ptrdiff_t>(position * k),
                   keys_.begin() + static_cast<std::ptrdiff_t>((position + 1) * k));
  return mark;
}

std::size_t View::Resolve(Mark& mark, bool* moved) {
  if (moved) *moved = false;
  if (mark.listVersion == listVersion_) return mark.position;
  if (mark.begin) return 0;
  if (mark.end) return list_.size();
  // Where the row stood in sort order; a replaced row may have moved, so look for it by its
  // insertion number too before taking its old place.
  std::size_t low = 0, high = list_.size();
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (CompareTo(mid, mark.keys, mark.seq) < 0)
      low = mid + 1;
    else
      high = mid;
  }
  std::size_t position = low;
  if (position >= list_.size() || list_[position]->seq != mark.seq) {
    const auto same = std::find_if(list_.begin(), list_.end(), [&](const RowPtr& r) { return r->seq == mark.seq; });
    if (same != list_.end())
      position = static_cast<std::size_t>(same - list_.begin());
    else if (moved)
      *moved = true;
  }
  mark = MarkAt(position);
  return position;
}

HRESULT View::Reorder() {
  bookmarks_.clear();
  cursor_ = 0;
  try {
    Rebuild();
    return S_OK;
  } catch (const std::bad_alloc&) {
    stale_ = true;
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
}

void View::Refresh() {
  if (!stale_ && builtVersion_ == data_->version) return;
  Mark cursor = MarkAt(cursor_);
  Rebuild();
  cursor_ = Resolve(cursor, nullptr);
}

HRESULT View::Origin(BOOKMARK bookmark, std::size_t& origin, HRESULT& warning) {
  warning = S_OK;
  switch (bookmark) {
    case BOOKMARK_BEGINNING: origin = 0; return S_OK;
    case BOOKMARK_CURRENT: origin = cursor_; return S_OK;
    case BOOKMARK_END: origin = list_.size(); return S_OK;
    default: {
      const auto found = bookmarks_.find(bookmark);
      if (found == bookmarks_.end()) return MAPI_E_INVALID_BOOKMARK;
      bool moved = false;
      origin = Resolve(found->second, &moved);
      if (moved) warning = MAPI_W_POSITION_CHANGED;
      return S_OK;
    }
  }
}

HRESULT View::MakeRow(const Row& row, SRow& out) const {
  std::vector<SPropValue> values(columns_.size());
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    const SPropValue* found = PpropFindProp(row.values.props, row.values.count, columns_[i]);
    if (found) {
      values[i] = *found;
    } else {
      values[i].ulPropTag = CHANGE_PROP_TYPE(columns_[i], PT_ERROR);
      values[i].Value.err = MAPI_E_NOT_FOUND;
    }
  }
  const auto count = static_cast<ULONG>(values.size());
  ULONG bytes = 0;
  if (const SCODE sc = CountValues(count, values.data(), bytes); FAILED(sc)) return sc;
  LPVOID buffer = nullptr;
  if (const SCODE sc = data_->allocateBuffer(bytes, &buffer); FAILED(sc)) return sc;
  if (!buffer) return MAPI_E_NOT_ENOUGH_MEMORY;
  CopyValues(count, values.data(), buffer, nullptr);
  out.ulAdrEntryPad = 0;
  out.cValues = count;
  out.lpProps = static_cast<LPSPropValue>(buffer);
  return S_OK;
}

HRESULT View::GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) {
  if (!lpulTableStatus || !lpulTableType) return MAPI_E_INVALID_PARAMETER;
  *lpulTableStatus = TBLSTAT_COMPLETE;
  *lpulTableType = data_->tableType;
  return S_OK;
}

HRESULT View::SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) {
  if (!lpPropTagArray || lpPropTagArray->cValues == 0) return MAPI_E_INVALID_PARAMETER;
  if (ulFlags & ~(TBL_ASYNC | TBL_BATCH)) return MAPI_E_UNKNOWN_FLAGS;
  try {
    std::vector<ULONG> columns(lpPropTagArray->aulPropTag, lpPropTagArray->aulPropTag + lpPropTagArray->cValues);
    std::lock_guard guard(data_->mutex);
    columns_ = std::move(columns);
    return S_OK;
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
}

HRESULT View::QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) {
  if (!lpPropTagArray) return MAPI_E_INVALID_PARAMETER;
  *lpPropTagArray = nullptr;
  if (ulFlags & ~TBL_ALL_COLUMNS) return MAPI_E_UNKNOWN_FLAGS;
  std::lock_guard guard(data_->mutex);
  const std::vector<ULONG>& tags = (ulFlags & TBL_ALL_COLUMNS) ? data_->allTags : columns_;
  LPVOID buffer = nullptr;
  if (const SCODE sc = data_->allocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(tags.size())), &buffer); FAILED(sc))
    return sc;
  if (!buffer) return MAPI_E_NOT_ENOUGH_MEMORY;
  auto* array = static_cast<LPSPropTagArray>(buffer);
  array->cValues = static_cast<ULONG>(tags.size());
  std::copy(tags.begin(), tags.end(), array->aulPropTag);
  *lpPropTagArray = array;
  return S_OK;
}

HRESULT View::GetRowCount(ULONG, ULONG* lpulCount) {
  if (!lpulCount) return MAPI_E_INVALID_PARAMETER;
  std::lock_guard guard(data_->mutex);
  Refresh();
  *lpulCount = static_cast<ULONG>(list_.size());
  return S_OK;
}

HRESULT View::SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) {
  std::lock_guard guard(data_->mutex);
  Refresh();
  std::size_t origin = 0;
  HRESULT warning = S_OK;
  if (const HRESULT hr = Origin(bkOrigin, origin, warning); FAILED(hr)) return hr;
  const auto size = static_cast<long long>(list_.size());
  const long long target = std::clamp(static_cast<long long>(origin) + lRowCount, 0LL, size);
  cursor_ = static_cast<std::size_t>(target);
  if (lplRowsSought) *lplRowsSought = static_cast<LONG>(target - static_cast<long long>(origin));
  return warning;
}

HRESULT View::SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) {
  if (ulDenominator == 0) return MAPI_E_INVALID_PARAMETER;
  std::lock_guard guard(data_->mutex);
  Refresh();
  if (ulNumerator >= ulDenominator)
    cursor_ = list_.size();
  else
    cursor_ = static_cast<std::size_t>(ULONGLONG{ulNumerator} * list_.size() / ulDenominator);
  return S_OK;
}

HRESULT View::QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) {
  if (!lpulRow || !lpulNumerator || !lpulDenominator) return MAPI_E_INVALID_PARAMETER;
  std::lock_guard guard(data_->mutex);
  Refresh();
  *lpulRow = static_cast<ULONG>(cursor_);
  *lpulNumerator = static_cast<ULONG>(cursor_);
  *lpulDenominator = static_cast<ULONG>(std::max<std::size_t>(list_.size(), 1));
  return S_OK;
}

HRESULT View::FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) {
  if (!lpRestriction) return MAPI_E_INVALID_PARAMETER;
  if (ulFlags & ~DIR_BACKWARD) return MAPI_E_UNKNOWN_FLAGS;
  std::unique_ptr<Restriction> test;
  if (const HRESULT hr = Restriction::Compile(lpRestriction, test); FAILED(hr)) return hr;
  std::lock_guard guard(data_->mutex);
  Refresh();
  std::size_t origin = 0;
  HRESULT warning = S_OK;
  if (const HRESULT hr = Origin(bkOrigin, origin, warning); FAILED(hr)) return hr;
  auto matches = [&](std::size_t i) { return test->Matches(list_[i]->values.props, list_[i]->values.count); };
  if (ulFlags & DIR_BACKWARD) {
    for (std::size_t i = origin; i-- > 0;)  // a backward search starts at the row before the origin
      if (matches(i)) {
        cursor_ = i;
        return warning;
      }
  } else {
    for (std::size_t i = origin; i < list_.size(); ++i)
      if (matches(i)) {
        cursor_ = i;
        return warning;
      }
  }
  return MAPI_E_NOT_FOUND;
}

HRESULT View::Restrict(LPSRestriction lpRestriction, ULONG ulFlags) {
  if (ulFlags & ~(TBL_ASYNC | TBL_BATCH)) return MAPI_E_UNKNOWN_FLAGS;
  std::unique_ptr<Restriction> restriction;
  if (lpRestriction)
    if (const HRESULT hr = Restriction::Compile(lpRestriction, restriction); FAILED(hr)) return hr;
  std::lock_guard guard(data_->mutex);
  restriction_ = std::move(restriction);
  return Reorder();
}

HRESULT View::CreateBookmark(BOOKMARK* lpbkPosition) {
  if (!lpbkPosition) return MAPI_E_INVALID_PARAMETER;
  std::lock_guard guard(data_->mutex);
  Refresh();
  try {
    const BOOKMARK id = nextBookmark_++;
    bookmarks_.emplace(id, MarkAt(cursor_));
    *lpbkPosition = id;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
}

HRESULT View::FreeBookmark(BOOKMARK bkPosition) {
  if (bkPosition <= BOOKMARK_END) return S_OK;
  std::lock_guard guard(data_->mutex);
  return bookmarks_.erase(bkPosition) ? S_OK : MAPI_E_INVALID_BOOKMARK;
}

HRESULT View::SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) {
  if (ulFlags & ~(TBL_ASYNC | TBL_BATCH)) return MAPI_E_UNKNOWN_FLAGS;
  std::vector<SSortOrder> keys;
  if (const HRESULT hr = CheckSortOrder(lpSortCriteria, keys); FAILED(hr)) return hr;
  std::lock_guard guard(data_->mutex);
  sort_ = std::move(keys);
  return Reorder();
}

HRESULT View::QuerySortOrder(LPSSortOrderSet* lppSortCriteria) {
  if (!lppSortCriteria) return MAPI_E_INVALID_PARAMETER;
  *lppSortCriteria = nullptr;
  std::lock_guard guard(data_->mutex);
  LPVOID buffer = nullptr;
  if (const SCODE sc = data_->allocateBuffer(static_cast<ULONG>(CbNewSSortOrderSet(sort_.size())), &buffer); FAILED(sc))
    return sc;
  if (!buffer) return MAPI_E_NOT_ENOUGH_MEMORY;
  auto* set = static_cast<LPSSortOrderSet>(buffer);
  set->cSorts = static_cast<ULONG>(sort_.size());
  set->cCategories = 0;
  set->cExpanded = 0;
  std::copy(sort_.begin(), sort_.end(), set->aSort);
  *lppSortCriteria = set;
  return S_OK;
}

HRESULT View::QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) {
  if (!lppRows) return MAPI_E_INVALID_PARAMETER;
  *lppRows = nullptr;
  if (lRowCount == 0) return MAPI_E_INVALID_PARAMETER;
  if (ulFlags & ~TBL_NOADVANCE) return MAPI_E_UNKNOWN_FLAGS;
  std::lock_guard guard(data_->mutex);
  try {
    Refresh();
  } catch (const std::bad_alloc&) {
    stale_ = true;
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
  // Backward reads step back first and then read forward, so rows come in table order.
  const long long wanted = lRowCount;
  std::size_t start = cursor_, count = 0;
  if (wanted > 0) {
    count = std::min<std::size_t>(static_cast<std::size_t>(wanted), list_.size() - cursor_);
  } else {
    count = std::min<std::size_t>(static_cast<std::size_t>(-wanted), cursor_);
    start = cursor_ - count;
  }
  LPVOID buffer = nullptr;
  if (const SCODE sc = data_->allocateBuffer(static_cast<ULONG>(CbNewSRowSet(count)), &buffer); FAILED(sc)) return sc;
  if (!buffer) return MAPI_E_NOT_ENOUGH_MEMORY;
  auto* set = static_cast<LPSRowSet>(buffer);
  set->cRows = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (const HRESULT hr = MakeRow(*list_[start + i], set->aRow[i]); FAILED(hr)) {
      for (ULONG j = 0; j < set->cRows; ++j) data_->freeBuffer(set->aRow[j].lpProps);
      data_->freeBuffer(set);
      return hr;
    }
    ++set->cRows;
  }
  if (!(ulFlags & TBL_NOADVANCE)) cursor_ = wanted > 0 ? start + count : start;
  *lppRows = set;
  return S_OK;
}

}  // namespace
}  // namespace pxmapi

SCODE STDAPICALLTYPE CreateTable(LPCIID lpInterface, LPALLOCATEBUFFER lpAllocateBuffer, LPALLOCATEMORE lpAllocateMore,
                                 LPFREEBUFFER lpFreeBuffer, LPVOID, ULONG ulTableType, ULONG ulPropTagIndexColumn,
                                 LPSPropTagArray lpSPropTagArrayColumns, LPTABLEDATA* lppTableData) {
  if (!lppTableData) return MAPI_E_INVALID_PARAMETER;
  *lppTableData = nullptr;
  if (lpInterface && *lpInterface != IID_IMAPITableData && *lpInterface != IID_IUnknown)
    return MAPI_E_INTERFACE_NOT_SUPPORTED;
  if (!lpAllocateBuffer || !lpAllocateMore || !lpFreeBuffer || !lpSPropTagArrayColumns) return MAPI_E_INVALID_PARAMETER;
  if (!pxmapi::IndexableType(PROP_TYPE(ulPropTagIndexColumn))) return MAPI_E_INVALID_PARAMETER;
  try {
    std::vector<ULONG> columns(lpSPropTagArrayColumns->aulPropTag,
                               lpSPropTagArrayColumns->aulPropTag + lpSPropTagArrayColumns->cValues);
    *lppTableData = new pxmapi::TableData(lpAllocateBuffer, lpAllocateMore, lpFreeBuffer, ulTableType,
                                          ulPropTagIndexColumn, std::move(columns));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return MAPI_E_NOT_ENOUGH_MEMORY;
  }
}
