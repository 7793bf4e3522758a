#pragma once
// What the worklist list shows, read from its address (filters, order,
// page), so reload, Back and a bookmark show the same list, and written back
// into the addresses of its links.
#include <string>

#include "db/worklist_listing.h"
#include "web/request_params.h"

namespace tarvelin {

struct ListQuery {
  WorklistFilter Filter;  // texts as the database holds them (UTF-8)
  std::string Sort = "start";  // a key of the sortable columns
  bool Descending = false;
  int PageSize = 25;
  long long Page = 1;  // from 1
};

inline constexpr int kPageSizes[] = {10, 25, 50, 100};

// Reads DateFrom, DateTo (yyyy-mm-dd; neither given: today for both), Status,
// Modality (a code; the numbers 1..12 of older forms stand for the fixed
// list, 0 for all), Station, PatientID, LastName (family name), FirstName
// (given name), PatientName (FAMILY^GIVEN), Sort, Order (asc, desc),
// PageSize (one of kPageSizes, else 25), Page and Offset (older forms).
ListQuery ReadListQuery(const ParamList& params);

// The query text that gives `query` back ("DateFrom=...&..."), without "?".
std::string ListQueryText(const ListQuery& query);

// The order a sort key stands for (unknown keys: by start).
WorklistOrder OrderOf(const std::string& sort);

// A query text handed back by a form, reduced to the bytes a query text of
// ours holds, so it can go into a Location header safely.
std::string SafeQueryText(const std::string& text);

}  // namespace tarvelin
