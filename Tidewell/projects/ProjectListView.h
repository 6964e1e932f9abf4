#pragma once

#include "projects/ProjectListRules.h"
#include "ui/View.h"

namespace tidewell {

class AppStore;

// The "Your Projects" page: header with the selection toolbar, the scan
// banner, search, idle filter and sort, the selection summary, the species
// filter and a grid of project cards, or an empty state. Search, sort and
// selection are the page's own and start afresh with each new page; the
// stack and idle filters are the store's. The rules live in ProjectListRules.
platform::ui::View ProjectListView(AppStore& store);
// The same page opened on a given state, for pictures and tests.
platform::ui::View ProjectListView(AppStore& store, ProjectListState initial);

}  // namespace tidewell
