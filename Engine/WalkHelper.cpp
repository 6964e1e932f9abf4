#include "WalkHelper.h"

#include "FolderProbe.h"
#include "Home.h"
#include "Progress.h"
#include "ProjectDetector.h"
#include "Rules.h"
#include "ScanCommand.h"
#include "SizeAccounting.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace tidewell::engine {

namespace {

// A walk's threads may take much of their stacks' room (64 threads of 8 MB
// at most): the address space of a walk holds them all and its findings.
constexpr std::uint64_t kWalkAddressSpace = std::uint64_t(2) << 30;
// Walks in helpers at a time.
constexpr unsigned kWalksAtOnce = 4;
// How often a helper looks whether it was answered.

std::string number(std::uint64_t n) { return std::to_string(n); }

std::uint64_t toNumber(const std::string& s) {
    try {
        return std::stoull(s);
    } catch (const std::exception&) {
        return 0;
    }
}

std::int64_t toSigned(const std::string& s, std::int64_t otherwise) {
    try {
        return std::stoll(s);
    } catch (const std::exception&) {
        return otherwise;
    }
}

void printResult(HelperOutput& out, const WalkResult& walk) {
    for (const auto& p : walk.projects) {
        out.print({"project", p.path, number(p.folder.first), number(p.folder.second), p.name, number(p.stacks), p.pinned ? "1" : "0",
                   std::to_string(p.parent), p.insideArtifact ? "1" : "0", number(p.artifactStacks), number(p.totalBytes),
                   p.lastActivity ? std::to_string(*p.lastActivity) : ""});
        for (const auto& a : p.artifacts)
            out.print({"artifact", a.relPath, a.absPath, a.safetyClass, number(a.bytes), std::to_string(a.within)});
    }
    out.print({"total", number(walk.totalBytes)});
}

}  // namespace

int walkHelper(const std::vector<std::string>& args) {
    if (args.size() < 5) return 2;
    WalkSettings settings;
    settings.maxDepth = static_cast<int>(toNumber(args[0]));
    settings.rulesFile = args[1];
    settings.databasePath = args[2];
    settings.dataHome = args[3];
    const std::vector<std::string> roots(args.begin() + 4, args.end());
    // A walk's threads each take an arena of malloc's own by default, whose
    // reserved room alone would reach the helper's address space.
    mallopt(M_ARENA_MAX, 4);
    HelperOutput out;
    // From the start: the first look may wait for a slow share too.
    const HelperHeartbeat heartbeat(out);
    Rules rules;
    try {
        rules = settings.rulesFile.empty() ? builtinRules(homeFolder()) : loadRulesFile(settings.rulesFile, homeFolder());
    } catch (const RulesError& e) {
        out.print({"error", e.what()});
        return 0;
    }
    const ProjectDetector detector(rules);
    Progress progress([&out](const std::string& phase, const std::string& message, const std::optional<std::string>& path) {
        out.print({"event", phase, message, path ? "1" : "0", path.value_or("")});
    });
    const std::atomic<bool> never{false};
    ScanWalk scanWalk(detector, progress, never, settings.maxDepth, settings.dataHome, settings.databasePath);
    Walker& walker = scanWalk.walker;
    walker.checkListingsEnd();
    // The roots of one filesystem, in order, by one walker: the share is
    // asked by one walk at a time, and a folder reached from an earlier
    // root is listed once.
    for (std::size_t i = 0; i < roots.size(); ++i) {
        out.print({"root", number(i)});
        // The first look, as the engine's own walk makes it: the folder
        // opened, then the folders above it, by what they are.
        const int fd = open(roots[i].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            out.print({"error", std::strerror(errno)});
            continue;
        }
        std::vector<std::string> folders = {"folders"};
        for (const auto& [dev, ino] : foldersAround(fd)) folders.insert(folders.end(), {number(dev), number(ino)});
        out.print(folders);
        std::string error;
        if (!walker.walkRoot(roots[i], error, fd)) out.print({"error", error});
        close(fd);
    }
    printResult(out, walker.finish());
    return 0;
}

WalksApart::WalksApart(WalkSettings settings, const std::atomic<bool>& stop) : settings_(std::move(settings)), stop_(stop) {}

WalksApart::~WalksApart() {
    for (auto& w : walks_)
        if (w.reader.joinable()) w.reader.join();
}

WalksApart::Walk* WalksApart::walkOf(const std::string& root) {
    for (auto& w : walks_)
        if (std::find(w.roots.begin(), w.roots.end(), root) != w.roots.end()) return &w;
    return nullptr;
}

bool WalksApart::add(const std::string& root) {
    if (const Walk* w = walkOf(root)) return w->started;
    if (access(HelperProcess::executable.c_str(), X_OK) != 0) {
        walks_.emplace_back().roots = {root};
        return false;
    }
    // Told without asking the filesystem: the mount of the nearest folder
    // the kernel holds on the way. Held only as far as a local folder, the
    // rest of the way may lead through a link or a mount to any share: such
    // a root is walked by itself, lest one silent share hold another's roots.
    bool whole = false;
    const std::uint64_t filesystem = heldMountOf(normalizePath(root), &whole);
    if (!whole && !mounts_.isRead()) mounts_.read();
    const bool joinable = whole || mounts_.mayNotAnswer(filesystem);
    for (auto& w : walks_)
        if (w.started && w.joinable && joinable && w.filesystem == filesystem) {
            w.roots.push_back(root);
            return true;
        }
    Walk& w = walks_.emplace_back();
    w.roots = {root};
    w.filesystem = filesystem;
    w.joinable = joinable;
    w.started = true;
    return true;
}

void WalksApart::begin() {
    for (auto& w : walks_) {
        if (!w.started || w.reader.joinable() || w.readWhenFinished) continue;
        w.args = {std::to_string(settings_.maxDepth), settings_.rulesFile, settings_.databasePath, settings_.dataHome};
        // The helper works in "/": a relative path is made whole here.
        for (const auto& root : w.roots) w.args.push_back(normalizePath(root));
        // The helper is started, read and left behind by a thread of its
        // own, so that its silence is timed while the engine walks other
        // folders.
        try {
            w.reader = std::thread([this, &w] { read(w); });
        } catch (const std::system_error&) {
            w.readWhenFinished = true;
        }
    }
}

void WalksApart::read(Walk& w) {
    static HelperSlots slots(kWalksAtOnce);
    HelperLimits limits;
    limits.silence = silenceWithin;
    limits.addressSpace = kWalkAddressSpace;
    HelperProcess helper(std::string(kWalkHelper), w.args, limits, slots, stop_);
    for (std::string line; helper.nextLine(line);) {
        std::lock_guard lock(w.m);
        w.lines.push_back(std::move(line));
        w.told.notify_one();
    }
    std::lock_guard lock(w.m);
    w.ended = true;
    w.end = helper.end();
    w.endText = helper.endText();
    w.startError = helper.startError();
    w.told.notify_one();
}

WalksApart::Outcome WalksApart::finish(const std::string& root, Progress& progress) {
    Walk* walk = walkOf(root);
    if (!walk) return {};
    if (!walk->started) {
        Outcome outcome;
        outcome.kind = Outcome::Kind::NoHelper;
        return outcome;
    }
    if (!walk->settled) settle(*walk, progress);
    const auto at = std::find(walk->roots.begin(), walk->roots.end(), root) - walk->roots.begin();
    return walk->outcomes[static_cast<std::size_t>(at)];
}

// Reads the whole walk of the filesystem, telling `progress` its events as
// they come, and tells how it ended for each of its roots.
void WalksApart::settle(Walk& walk, Progress& progress) {
    walk.settled = true;
    if (walk.readWhenFinished) {
        walk.readWhenFinished = false;
        read(walk);
    }
    const std::size_t roots = walk.roots.size();
    std::vector<Outcome> outcomes(roots);
    std::vector<std::optional<std::string>> errors(roots);
    std::vector<bool> answered(roots);
    std::optional<std::string> everyError;  // before any root: its rules
    std::optional<std::size_t> at;          // the root whose lines these are
    bool whole = false, malformed = false;
    std::int64_t announced = 0;
    WalkResult& result = walk.result;
    for (;;) {
        std::unique_lock lock(walk.m);
        walk.told.wait(lock, [&] { return !walk.lines.empty() || walk.ended; });
        if (walk.lines.empty()) break;
        const std::vector<std::string> f = helperFields(walk.lines.front());
        walk.lines.pop_front();
        lock.unlock();
        const std::string& kind = f[0];
        if (kind == "root" && f.size() == 2 && toNumber(f[1]) < roots && toSigned(f[1], -1) >= 0) {
            at = toNumber(f[1]);
        } else if (kind == "folders" && at) {
            answered[*at] = true;
            for (std::size_t i = 1; i + 1 < f.size(); i += 2) outcomes[*at].folders.emplace_back(toNumber(f[i]), toNumber(f[i + 1]));
        } else if (kind == "event" && f.size() == 5) {
            if (f[1] == "project") ++announced;
            progress.relay(f[1], f[2], f[3] == "1" ? std::optional(f[4]) : std::nullopt);
        } else if (kind == "project" && f.size() == 12) {
            WalkedProject p;
            p.path = f[1];
            p.folder = {toNumber(f[2]), toNumber(f[3])};
            p.name = f[4];
            p.stacks = toNumber(f[5]);
            p.pinned = f[6] == "1";
            p.parent = static_cast<int>(toSigned(f[7], -1));
            p.insideArtifact = f[8] == "1";
            p.artifactStacks = toNumber(f[9]);
            p.totalBytes = toNumber(f[10]);
            if (!f[11].empty()) p.lastActivity = toSigned(f[11], 0);
            result.projects.push_back(std::move(p));
        } else if (kind == "artifact" && f.size() == 6 && !result.projects.empty()) {
            result.projects.back().artifacts.push_back({f[1], f[2], f[3], toNumber(f[4]), static_cast<int>(toSigned(f[5], -1))});
        } else if (kind == "total" && f.size() == 2) {
            result.totalBytes = toNumber(f[1]);
            whole = true;
        } else if (kind == "error" && f.size() == 2) {
            (at ? errors[*at] : everyError) = f[1];
        } else if (kind != "alive") {
            malformed = true;
        }
    }
    // Each project after the one around it, each artifact within a project
    // listed: anything else is no walk's output.
    const int listed = static_cast<int>(result.projects.size());
    whole = whole && !malformed;
    for (int i = 0; i < listed && whole; ++i) {
        const WalkedProject& p = result.projects[i];
        whole = p.parent >= -1 && p.parent < i;
        for (const auto& a : p.artifacts) whole = whole && a.within >= -1 && a.within < listed;
    }
    if (!whole) result = {};
    using Kind = Outcome::Kind;
    using End = HelperProcess::End;
    bool answeredBefore = false;  // a root before this one was answered: the filesystem stopped after
    for (std::size_t i = 0; i < roots; ++i) {
        Outcome& outcome = outcomes[i];
        const std::optional<std::string>& error = everyError ? everyError : errors[i];
        answeredBefore = answeredBefore || answered[i];
        if (walk.end == End::Stopped) outcome.kind = Kind::Stopped;
        else if (error) outcome.kind = Kind::Unreadable, outcome.why = *error;
        else if (whole && answered[i]) outcome.kind = Kind::Walked;
        else if (walk.startError) outcome.kind = Kind::NotStarted, outcome.why = std::error_code(walk.startError, std::generic_category()).message();
        else if (malformed || whole) outcome.kind = Kind::Died, outcome.why = "it printed what no walk prints";
        else if (walk.end == End::Silent) outcome.kind = answeredBefore ? Kind::StoppedAnswering : Kind::NeverAnswered;
        else outcome.kind = Kind::Died, outcome.why = walk.endText;
    }
    // The projects found count those listed, and none of a folder not listed.
    progress.dropProjects(announced - listed * whole);
    walk.outcomes = std::move(outcomes);
}

void WalksApart::keep(const std::string& root) {
    if (Walk* walk = walkOf(root)) walk->kept = true;
}

std::vector<WalkResult> WalksApart::takeKept() {
    std::vector<WalkResult> out;
    for (auto& w : walks_)
        if (w.kept) out.push_back(std::move(w.result));
    return out;
}

void addWalk(WalkResult& into, WalkResult&& apart) {
    const int offset = static_cast<int>(into.projects.size());
    for (auto& p : apart.projects) {
        if (p.parent >= 0) p.parent += offset;
        for (auto& a : p.artifacts)
            if (a.within >= 0) a.within += offset;
        into.projects.push_back(std::move(p));
    }
    into.totalBytes = saturatingAdd(into.totalBytes, apart.totalBytes);
}

}  // namespace tidewell::engine
