#pragma once
// The worklist list: filters at the top, a read-only table of the entries
// that match (today's by default, by start time), sortable by its column
// headings, a count and pages. Every value comes from the address (see
// ListQuery). Each row opens its entry by its accession number, which the
// server looks up; ADMIN users may tick rows to delete them.
#include "web/page_table.h"

namespace tarvelin {

// The page for "worklist".
PageResult WorklistPage(const PageRequest& request);

// The fragment for "display_wlquery" (the table, count and page links alone),
// for the same parameters.
PageResult WLQueryDisplay(const PageRequest& request);

}  // namespace tarvelin
