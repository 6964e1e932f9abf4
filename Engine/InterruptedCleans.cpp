#include "InterruptedCleans.h"

#include "SizeAccounting.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tidewell::engine {

namespace {

std::uint64_t movedBytes(const OperationDTO& op) {
    std::uint64_t sum = 0;
    for (const auto& i : *op.items)
        if (i.success) sum = saturatingAdd(sum, i.bytes);
    return sum;
}

}  // namespace

CleanLock::CleanLock(const std::string& dbPath, Wait wait) : fd_(open((dbPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ < 0) return;
    int rc;
    while ((rc = flock(fd_, LOCK_EX | (wait == Wait::No ? LOCK_NB : 0))) != 0 && errno == EINTR) {
    }
    held_ = rc == 0;
}

CleanLock::~CleanLock() {
    if (fd_ >= 0) close(fd_);
}

std::vector<CleanItemDTO> movedItems(const std::vector<CleanItemDTO>& items) {
    std::vector<CleanItemDTO> out;
    for (const auto& i : items)
        if (i.success) out.push_back(i);
    return out;
}

std::optional<DashboardDTO> dashboardAfter(Database& db, const std::string& project, const std::vector<MovedFolder>& moved) {
    if (moved.empty()) return std::nullopt;
    std::optional<DashboardDTO> dashboard;
    try {
        dashboard = db.lastDashboard();
    } catch (const DatabaseError&) {
        return std::nullopt;  // an unreadable stored scan is left for the next scan to replace
    }
    if (dashboard && !applyClean(*dashboard, project, moved)) dashboard.reset();
    return dashboard;
}

void completeInterruptedCleans(Database& db) {
    for (auto& p : db.pendingCleans()) {
        OperationDTO& op = p.operation;
        if (!op.items) op.items.emplace();
        if (!p.movingInfo.empty() && !op.items->empty()) {
            CleanItemDTO& last = op.items->back();
            struct stat st {};
            const bool there = lstat(p.movingTrashed.c_str(), &st) == 0;
            if (!there || static_cast<std::int64_t>(st.st_dev) != p.movingDev || static_cast<std::int64_t>(st.st_ino) != p.movingIno) {
                if (!there && errno == ENOENT) unlink(p.movingInfo.c_str());
                last.success = false;
                last.error = last.path + " was not moved: the clean was interrupted before it moved; left in place";
            }
        }
        op.items = movedItems(*op.items);
        op.bytes_reclaimed = movedBytes(op);
        std::vector<MovedFolder> moved;
        for (const auto& i : *op.items)
            if (i.success) moved.push_back({i.path, i.bytes});
        if (moved.empty()) db.dropPending(op.id);
        else db.recordClean(op, dashboardAfter(db, op.project_path.value_or(""), moved));
    }
}

void completeInterruptedCleansIfIdle(Database& db) {
    // Most commands find nothing to complete, and then write nothing.
    if (db.pendingCleans().empty()) return;
    const CleanLock lock(db.path(), CleanLock::Wait::No);
    if (lock.held()) completeInterruptedCleans(db);
}

}  // namespace tidewell::engine
