// Clean requests, dry runs, confirmation, real cleans and what a finished
// clean does: history, dashboard, lifetime total, character and sharing.

#include <algorithm>
#include <ctime>
#include <iterator>
#include <map>
#include <set>

#include "core/AppFiles.h"
#include "core/AppStore.h"
#include "core/CleanRules.h"
#include "core/EngineDatabase.h"
#include "core/ModelTexts.h"
#include "core/ProtectedStacks.h"
#include "core/ShellServices.h"
#include "foundation/Formatters.h"
#include "runtime/Clock.h"
#include "runtime/MainActor.h"

namespace tidewell {

namespace {
using Failure = std::pair<std::string, bool>;  // the error's text, and whether it was a cancel

Failure failureOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const EngineError& e) {
        return {e.message(), e.kind() == EngineError::Kind::cancelled};
    } catch (const std::exception& e) {
        return {e.what(), false};
    } catch (...) {
        return {"The engine failed.", false};
    }
}

std::vector<std::string> pathsOf(const std::vector<ProjectDTO>& projects) {
    std::vector<std::string> paths;
    for (const auto& p : projects) paths.push_back(p.path);
    return paths;
}

constexpr std::chrono::milliseconds kShareStepDelay{700};
}  // namespace

void AppStore::requestClean(const std::vector<ProjectDTO>& projects, bool caution, CleanScope scope) {
    if (isCleaning.get() || isScanning.get()) return;
    const auto protectedStacks = scope == CleanScope::batch
                                     ? ProtectedStacks::of(storedProtectedStacks(), dashboard.get())
                                     : ProtectedStacks{};
    auto eligible = eligibleProjects(projects, caution, protectedStacks);
    if (eligible.empty()) {
        // A project left alone for its protected stack is named, as the
        // stock sentence would not say why.
        std::vector<std::pair<std::string, std::string>> named;
        bool shielded = false;
        for (const auto& p : projects) {
            shielded = shielded || protectedStacks.protecting(p).has_value();
            if (auto reason = passedOverReason(p, caution, protectedStacks)) named.emplace_back(p.name, *reason);
        }
        lastError = shielded ? leftOutText(named) : std::string(kNoProjectsReadyText);
        return;
    }
    includeCaution = caution;
    cleanConfirmProjects = eligible;
    cleanConfirmProject = eligible.front();
    isCleaning = true;
    clearLastError();
    pendingCleanReport = std::nullopt;
    pressFailed_ = false;
    previewedArtifacts_.clear();
    requestedProjects_.clear();
    for (const auto& p : projects) requestedProjects_.emplace_back(p.name, passedOverReason(p, caution, protectedStacks));
    shieldedInside_.clear();
    if (!protectedStacks.ids.empty()) {
        // Only the protected ones matter, and they are few.
        std::vector<const ProjectDTO*> known;
        const auto keep = [&](const ProjectDTO& p) {
            if (protectedStacks.protecting(p)) known.push_back(&p);
        };
        if (const auto& d = dashboard.get())
            for (const auto& p : d->projects) keep(p);
        for (const auto& p : unlistedProjects_) keep(p);
        for (const auto& p : projects) keep(p);
        std::set<std::string> asked;
        for (const auto& p : projects) asked.insert(p.path);
        for (const auto& p : eligible) shieldedInside_.push_back(shieldedProjectsInside(p, known, protectedStacks, asked));
    }
    cleanStatus = calculatingText(eligible);

    const auto generation = ++cleanGeneration;
    auto token = std::make_shared<EngineCancelToken>();
    cleanCancelToken = token;
    const auto paths = pathsOf(eligible);
    // A request of several projects is a batch, however few of them it previews.
    const bool batch = projects.size() > 1;
    std::weak_ptr<int> alive = lifetime_;
    AppStore* store = this;
    cleanTask_ = platform::detachTask(platform::TaskPriority::userInitiated, [=] {
        std::vector<std::pair<std::size_t, CleanReportDTO>> reports;
        std::vector<std::pair<std::size_t, std::string>> leftOut;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (token->isCancelled()) return;  // cancelled between two projects: nothing more runs
            hopToMain(alive, store, [=](AppStore& s) {
                if (generation == s.cleanGeneration && !token->isCancelled())
                    s.cleanStatus = calculatingStepText(i, paths.size());
            });
            try {
                reports.emplace_back(i, EngineClient::clean(paths[i], false, caution, token));
            } catch (...) {
                auto [text, cancelled] = failureOf(std::current_exception());
                // One project that cannot be previewed never holds a batch back.
                if (!cancelled && batch) {
                    leftOut.emplace_back(i, text);
                    continue;
                }
                hopToMain(alive, store, [=](AppStore& s) { s.dryRunFailed(generation, text, cancelled); });
                return;
            }
        }
        hopToMain(alive, store, [=](AppStore& s) { s.dryRunFinished(generation, reports, leftOut); });
    });
}

void AppStore::dryRunFinished(std::uint64_t generation, std::vector<std::pair<std::size_t, CleanReportDTO>> reports,
                              std::vector<std::pair<std::size_t, std::string>> leftOut) {
    if (generation != cleanGeneration || (cleanCancelToken && cleanCancelToken->isCancelled())) return;
    if (!cleanConfirmProject.get()) return;
    const auto requested = cleanConfirmProjects.get();
    std::vector<ProjectDTO> previewed;
    std::vector<CleanReportDTO> previews;
    previewedArtifacts_.clear();
    // Every project a batch leaves out is named with its reason, in request order.
    std::map<std::size_t, std::string> leftOutReasons;
    for (const auto& [index, failure] : leftOut)
        if (index < requested.size()) leftOutReasons[index] = leftOutReason(failure, requested[index].path);
    bool listedAnything = !leftOutReasons.empty();
    std::string unmovable;  // why the first folder a preview could not offer stays
    // Each folder left in place inside a project the previews offer, with its reason.
    std::vector<std::string> leftInPlace;
    // Projects of a protected stack nested in a previewed one whose folders
    // stay with them, named once each unless the request named them.
    std::map<std::size_t, std::vector<std::pair<std::string, std::string>>> shieldedNamed;
    std::set<std::string> shieldedTold;
    for (auto& [index, report] : reports) {
        if (index >= requested.size()) continue;
        const bool offeredAnything = !report.items.empty() && !nothingOfferedReason(report);
        if (index < shieldedInside_.size()) {
            const auto& shielded = shieldedInside_[index];
            for (const auto held : dropShieldedItems(report, shielded)) {
                if (shielded[held].named || !shieldedTold.insert(shielded[held].path).second) continue;
                shieldedNamed[index].emplace_back(shielded[held].name, shielded[held].reason);
            }
        }
        // A preview lists folders this user cannot move as failed items, with
        // the reason: they are not offered, and each is told.
        if (unmovable.empty()) unmovable = firstFailureText(report, "");
        listedAnything = listedAnything || !report.items.empty();
        auto nothingOffered = nothingOfferedReason(report);
        if (nothingOffered && offeredAnything) nothingOffered = "all it offers lies inside projects of a protected stack";
        if (!nothingOffered) {
            for (const auto& item : report.items)
                if (!item.success) leftInPlace.push_back(leftInPlaceReason(item, folderInProjectName(item, requested[index])));
        }
        std::erase_if(report.items, [](const CleanItemDTO& item) { return !item.success; });
        if (nothingOffered) {
            leftOutReasons[index] = *nothingOffered;
            continue;
        }
        std::vector<std::string> folders;
        for (const auto& item : report.items) folders.push_back(item.path);
        previewedArtifacts_.emplace_back(requested[index].path, std::move(folders));
        previewed.push_back(requested[index]);
        previews.push_back(std::move(report));
    }

    auto merged = mergeCleanReports(previews);
    isCleaning = false;
    cleanStatus = "";
    // Every project the batch leaves out, passed over at the request or by
    // its preview, in the order asked.
    std::vector<std::pair<std::string, std::string>> named;
    bool passedOver = !shieldedNamed.empty();
    std::size_t previewIndex = 0;
    for (const auto& [name, reason] : requestedProjects_) {
        if (reason) {
            named.emplace_back(name, *reason);
            passedOver = true;
            continue;
        }
        const auto index = previewIndex++;
        if (auto found = leftOutReasons.find(index); found != leftOutReasons.end()) named.emplace_back(name, found->second);
        if (auto inside = shieldedNamed.find(index); inside != shieldedNamed.end())
            named.insert(named.end(), inside->second.begin(), inside->second.end());
    }
    // One banner tells every project left out and every folder left in place.
    // A batch in which no dry run listed anything has simply nothing to move.
    std::string told;
    if ((requestedProjects_.size() > 1 || !shieldedNamed.empty()) && !named.empty() && (listedAnything || passedOver))
        told = leftOutText(named);
    if (!leftInPlace.empty()) told += (told.empty() ? "" : ". ") + leftInPlaceText(leftInPlace);
    if (!told.empty()) {
        lastError = told;
    } else if (!unmovable.empty()) {
        lastError = unmovable;
    }
    if (merged.items.empty()) {
        if (!lastError.get() || lastError.get() == heldNotice) lastError = std::string(kNothingToMoveText);
        cancelClean();
        return;
    }
    if (previewed.size() != requested.size()) {
        if (previewed.front().id != cleanConfirmProject.get()->id) cleanConfirmProject = previewed.front();
        cleanConfirmProjects = previewed;
    }
    pendingCleanReport = std::move(merged);
}

void AppStore::dryRunFailed(std::uint64_t generation, const std::string& description, bool cancelled) {
    if (generation != cleanGeneration) return;
    if (!cleanConfirmProject.get()) return;
    if (!cancelled) lastError = description;
    isCleaning = false;
    cleanStatus = "";
    cancelClean();
}

void AppStore::cleanAll() {
    showMainWindow();
    const auto& d = dashboard.get();
    // Active and pinned projects with something to move go to the request
    // too, which passes over them, so the banner names them with the rest.
    std::vector<ProjectDTO> projects;
    if (d)
        std::copy_if(d->projects.begin(), d->projects.end(), std::back_inserter(projects),
                     [](const ProjectDTO& p) { return p.reclaimable_bytes != 0; });
    std::stable_sort(projects.begin(), projects.end(),
                     [](const ProjectDTO& a, const ProjectDTO& b) { return a.reclaimable_bytes > b.reclaimable_bytes; });
    if (eligibleProjects(projects, true).empty()) {
        lastError = std::string(kNothingToCleanText);
        return;
    }
    requestClean(projects, true, CleanScope::batch);
}

void AppStore::confirmClean() {
    if (isScanning.get()) return;
    // Never twice at once, and only for a preview the user has seen. After a
    // clean that moved nothing, a second press runs the confirmed folders
    // again (the engine re-checks each), as long as one of them may still
    // move: a folder another clean took, or one no longer a real folder,
    // waits for no second press.
    if (isCleaning.get() || !pendingCleanReport.get() || !hasSomethingToMove(*pendingCleanReport.get())) return;
    std::vector<ProjectDTO> projects = cleanConfirmProjects.get();
    if (projects.empty() && cleanConfirmProject.get()) projects.push_back(*cleanConfirmProject.get());
    if (projects.empty()) return;
    // Only the folders the preview listed move; a project whose preview
    // listed none is not cleaned at all.
    std::vector<std::string> paths;
    std::vector<std::vector<std::string>> folders;
    for (const auto& [path, listed] : previewedArtifacts_) {
        if (listed.empty()) continue;
        paths.push_back(path);
        folders.push_back(listed);
    }
    if (paths.empty()) return;

    // The banner told why the last press moved nothing; this press tells its own.
    if (!pendingCleanReport.get()->dry_run || pressFailed_) clearLastError();
    pressFailed_ = false;
    isCleaning = true;
    const bool caution = includeCaution.get();
    cleanStatus = cleaningStepText(0, paths.size());

    ++cleanGeneration;
    cleanCancelToken = std::make_shared<EngineCancelToken>();
    cleanTask_ = platform::detachTask(
        platform::TaskPriority::userInitiated,
        [paths, folders, caution, clean = EngineTask{cleanGeneration, cleanCancelToken, lifetime_, this}] {
            executeCleans(paths, folders, caution, clean);
        });
}

void AppStore::executeCleans(const std::vector<std::string>& paths, const std::vector<std::vector<std::string>>& folders,
                             bool caution, const EngineTask& clean) {
    const auto generation = clean.generation;
    const auto& token = clean.token;
    const auto& alive = clean.alive;
    AppStore* const store = clean.store;
    const auto startedAtUnix = static_cast<std::int64_t>(std::time(nullptr));
    std::vector<CleanReportDTO> reports;
    std::int64_t cleaned = 0;
    std::optional<Failure> failure;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (token->isCancelled()) {
            failure = Failure{EngineError::cancelled().message(), true};
            break;
        }
        hopToMain(alive, store, [=](AppStore& s) {
            if (generation == s.cleanGeneration && !token->isCancelled())
                s.cleanStatus = cleaningStepText(i, paths.size());
        });
        try {
            auto report = EngineClient::clean(paths[i], true, caution, token, folders[i]);
            if (movedItemCount(report) > 0) ++cleaned;
            reports.push_back(std::move(report));
        } catch (...) {
            failure = failureOf(std::current_exception());
            break;
        }
    }
    // The reload has a token of its own: a cancel of the clean must not
    // stop it, since the engine may already have moved folders.
    auto reloadToken = std::make_shared<EngineCancelToken>();
    std::optional<DashboardDTO> engineDashboard;
    std::vector<OperationDTO> history;
    {
        std::lock_guard lock(engineLock());
        try {
            engineDashboard = EngineClient::last(reloadToken);
        } catch (...) {
            engineDashboard.reset();
        }
    }
    {
        std::lock_guard lock(engineLock());
        try {
            history = EngineClient::log(50, reloadToken);
        } catch (...) {
            history.clear();
        }
    }
    // A run stopped part-way leaves no report for the project it was in,
    // but the engine records what it moved; only that is credited.
    const auto stranded = failure ? unaccountedCleanBytes(history, reports, paths, startedAtUnix) : 0;
    const auto month = cleansRecordedSince(monthStartUnix(std::int64_t(platform::secondsSince1970(platform::now()))));
    hopToMain(alive, store, [=](AppStore& s) {
        s.cleanEnded(generation, reports, cleaned, engineDashboard, history, failure, stranded);
        // Only once this clean is credited: the month's records hold it too.
        if (s.applyMonthCleansRecorded(month, s.operations.get()))
            leaderboardSync(s.character.get(), s.lifetimeReclaimedBytes.get(), 2.0);
    });
    if (engineDashboard) saveLastDashboard(*engineDashboard);
    if (!history.empty()) saveOperations(history);
}

void AppStore::cleanEnded(std::uint64_t generation, std::vector<CleanReportDTO> reports, std::int64_t cleanedProjects,
                          std::optional<DashboardDTO> engineDashboard, std::vector<OperationDTO> history,
                          std::optional<std::pair<std::string, bool>> failure, std::uint64_t stranded) {
    const auto merged = mergeCleanReports(reports);
    const auto moved = movedBytes(merged);
    const bool current = generation == cleanGeneration && cleanCancelToken && !cleanCancelToken->isCancelled();

    if (!current) {
        // Cancelled or superseded: the screens stay as the user left them,
        // but what the engine moved is history and counts towards the total.
        if (!history.empty()) operations = std::move(history);
        if (engineDashboard && !isScanning.get() && !isCleaning.get()) applyDashboard(*engineDashboard);
        if (const auto credit = platform::saturatingAdd(moved, stranded); credit > 0) {
            recordReclaim(credit);
            leaderboardSync(character.get(), lifetimeReclaimedBytes.get(), 2.0);
        }
        return;
    }

    if (!failure) {
        finishClean(reports, cleanedProjects, engineDashboard, history);
    } else if (moved > 0) {
        // Failed part-way: what moved is applied as after any clean.
        finishClean(reports, cleanedProjects, engineDashboard, history);
        recordReclaim(stranded);
        if (!failure->second) lastError = cleanFailureText(failure->first);
    } else {
        // Nothing moved: the confirmation keeps its preview for another
        // press, and the banner says why this one did nothing until then.
        isCleaning = false;
        cleanStatus = "";
        if (!failure->second) {
            lastError = cleanFailureText(failure->first);
            pressFailed_ = true;
        }
        if (engineDashboard) applyDashboard(*engineDashboard);
        if (!history.empty()) operations = std::move(history);
        recordReclaim(stranded);
    }
    if (!engineDashboard && dashboard.get()) {
        auto shown = *dashboard.get();
        platform::detachTask(platform::TaskPriority::utility, [shown] { saveLastDashboard(shown); });
    }
}

void AppStore::cancelClean() {
    if (cleanCancelToken) cleanCancelToken->cancel();
    previewedArtifacts_.clear();
    pendingCleanReport = std::nullopt;
    cleanConfirmProject = std::nullopt;
    cleanConfirmProjects = std::vector<ProjectDTO>{};
    cleanStatus = "";
    isCleaning = false;
}

void AppStore::finishClean(const std::vector<CleanReportDTO>& reports, std::int64_t cleanedProjects,
                           const std::optional<DashboardDTO>& engineDashboard,
                           const std::vector<OperationDTO>& history) {
    const auto merged = mergeCleanReports(reports);
    const auto movedCount = movedItemCount(merged);
    // A clean that moved nothing stays on the confirmation, which lists each
    // folder it left at the size its preview showed, for a second press.
    pendingCleanReport = movedCount == 0 ? withPreviewSizes(merged, pendingCleanReport.get()) : merged;
    isCleaning = false;
    cleanStatus = "";
    if (movedCount == 0) {
        lastError = firstFailureText(merged, kCouldNotMoveText);
        return;
    }
    cleanConfirmProject = std::nullopt;
    cleanConfirmProjects = std::vector<ProjectDTO>{};
    activityLog = cleanOutcomeText(cleanedProjects, movedCount, merged.bytes_reclaimed);
    if (movedCount < merged.items.size()) lastError = firstFailureText(merged, kSomeNotMovedText);
    if (engineDashboard) applyDashboard(*engineDashboard);
    else
        for (const auto& report : reports) applyCleanReports(report);
    if (!history.empty()) operations = history;
    recordReclaim(movedBytes(merged));
    leaderboardSync(character.get(), lifetimeReclaimedBytes.get(), 2.0);
    refreshStartupDisk();
    offerSharePrompt(merged.bytes_reclaimed, cleanedProjects);
}

void AppStore::applyCleanReports(const CleanReportDTO& report) {
    if (!dashboard.get()) return;
    auto next = dashboardAfterClean(*dashboard.get(), report);
    if (!next) return;
    // The shown dashboard never held the projects it left out, but a clean
    // takes no project away: one of a protected stack still shields the
    // folders inside it.
    auto unlisted = std::move(unlistedProjects_);
    applyDashboard(*next);
    for (auto& p : unlisted)
        if (std::none_of(unlistedProjects_.begin(), unlistedProjects_.end(),
                         [&](const ProjectDTO& kept) { return kept.path == p.path; }))
            unlistedProjects_.push_back(std::move(p));
}

void AppStore::recordReclaim(std::uint64_t bytes) {
    if (bytes == 0) return;
    const auto before = lifetimeReclaimedBytes.get();
    seedUnlockCelebrated(before);
    const auto total = platform::saturatingAdd(before, bytes);
    setLifetimeReclaimedBytes(total);
    characterMeal = CharacterMeal{bytes, platform::now()};
    if (auto unlocked = celebrateNewUnlock(total)) newUnlock = *unlocked;
}

void AppStore::offerSharePrompt(std::uint64_t bytes, std::int64_t projectCount) {
    if (bytes == 0) return;
    // A history longer than the engine's log can hold must never make the
    // total look smaller than what was really reclaimed.
    const auto total = std::max(totalReclaimedBytes(operations.get()), lifetimeReclaimedBytes.get());
    const auto milestone = nextShareMilestone(total);
    if (milestone && findMainWindow()) {
        std::weak_ptr<int> alive = lifetime_;
        const auto moment = ShareMoment::make(ShareMoment::Kind::milestone, *milestone, projectCount);
        platform::postToMainAfter(kShareStepDelay, [this, alive, moment] {
            if (alive.lock()) presentShare(moment);
        });
        return;
    }
    sharePrompt = ShareMoment::make(ShareMoment::Kind::clean, bytes, projectCount);
}

void AppStore::presentShare(const ShareMoment& moment) {
    sharePrompt = std::nullopt;
    showMainWindow();
    selectedSection = AppSection::dashboard;
    std::weak_ptr<int> alive = lifetime_;
    platform::postToMainAfter(kShareStepDelay, [this, alive, moment] {
        if (!alive.lock()) return;
        shareWindowImage = captureMainWindowImage();
        shareSheet = moment;
    });
}

void AppStore::shareTotal() {
    std::vector<OperationDTO> cleans;
    std::set<std::string> projects;
    for (const auto& op : operations.get()) {
        if (!movedSomething(op)) continue;
        cleans.push_back(op);
        if (op.project_path) projects.insert(*op.project_path);
    }
    const auto bytes = std::max(totalReclaimedBytes(cleans), lifetimeReclaimedBytes.get());
    presentShare(ShareMoment::make(ShareMoment::Kind::total, bytes, static_cast<std::int64_t>(projects.size())));
}

}  // namespace tidewell
