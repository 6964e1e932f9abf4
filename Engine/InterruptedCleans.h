#pragma once
// Cleans that ended abruptly (killed while moving) are completed in the
// history by the next engine command that opens the database, whichever it
// is: a user who only scans never keeps a trash entry the history lacks.

#include "Dashboard.h"
#include "Database.h"

#include <optional>
#include <string>
#include <vector>

namespace tidewell::engine {

// One clean at a time per database, and no completing of a clean while one
// moves: an exclusive lock on a file beside the database, released by the
// kernel when the process ends, however it ends.
class CleanLock {
public:
    enum class Wait { UntilFree, No };
    CleanLock(const std::string& dbPath, Wait wait);
    ~CleanLock();
    CleanLock(const CleanLock&) = delete;
    CleanLock& operator=(const CleanLock&) = delete;
    // False when another process holds it and `Wait::No` was asked.
    bool held() const { return held_; }

private:
    int fd_;
    bool held_ = false;
};

// With the lock held: the move in flight of each clean cut short counts when
// its folder reached the trash, else its reserved info file is removed; what
// moved joins the history and the stored dashboard.
void completeInterruptedCleans(Database& db);

// For commands other than clean: completes them unless a clean is running
// now (that clean completes them itself).
void completeInterruptedCleansIfIdle(Database& db);

// The items of a clean that moved.
std::vector<CleanItemDTO> movedItems(const std::vector<CleanItemDTO>& items);

// The stored dashboard with the moved folders of `project` taken out, or none
// (nothing moved, no dashboard, or one that cannot be read).
std::optional<DashboardDTO> dashboardAfter(Database& db, const std::string& project, const std::vector<MovedFolder>& moved);

}  // namespace tidewell::engine
