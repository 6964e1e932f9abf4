// Every test program runs the same way inside and outside CTest: the bundle and
// source folders default to the ones this build made, and a test started where
// neither can be found stops at once with what it needs, instead of skipping
// or failing case by case.
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace {

bool isFolder(const char* path) {
    struct stat st {};
    return path && ::stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

const bool environmentReady = [] {
    ::setenv("TIDEWELL_BUNDLE", TIDEWELL_BUILT_BUNDLE, 0);
    ::setenv("TIDEWELL_SOURCE_DIR", TIDEWELL_BUILT_SOURCE, 0);
    if (!isFolder(std::getenv("TIDEWELL_BUNDLE")) || !isFolder(std::getenv("TIDEWELL_SOURCE_DIR"))) {
        std::fprintf(stderr,
                     "These tests need the built bundle and the source tree: set TIDEWELL_BUNDLE to the build's "
                     "Tidewell folder (for example build/Tidewell) and TIDEWELL_SOURCE_DIR to the checkout, or run "
                     "them through ctest --test-dir build.\n");
        std::exit(2);
    }
    return true;
}();

}  // namespace
