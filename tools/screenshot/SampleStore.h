#pragma once
// The store the screenshot pages show: the shared store of a scratch home,
// filled with the sample disk and history.

#include "core/AppStore.h"
#include "SampleData.h"

// The shared store, made on first use in a scratch home (so nothing of the
// user's is read or written), with a dashboard of `projects` projects over
// `stacks` stacks and a history of previews and cleans.
tidewell::AppStore& sampleStore(int projects = 24, int stacks = 8);
