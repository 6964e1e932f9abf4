#include "ui/Lifecycle.h"

#include "runtime/MainActor.h"
#include "runtime/Task.h"

#include <QCoreApplication>

#include <chrono>
#include <map>

namespace platform::ui {

// --- ViewTask -----------------------------------------------------------------------

struct ViewTask::State {
    bool cancelled = false;
    unsigned nextItem = 0;
    std::map<unsigned, platform::WorkItem> pending;  // delayed work not yet run
    std::vector<std::function<void()>> onCancel;
};

ViewTask::ViewTask() : state_(std::make_shared<State>()) {}

bool ViewTask::isCancelled() const { return state_->cancelled; }

void ViewTask::cancel() const
{
    if (state_->cancelled) return;
    state_->cancelled = true;
    for (auto& [_, item] : state_->pending) item.cancel();
    state_->pending.clear();
    auto handlers = std::move(state_->onCancel);
    // Not while the process tears itself down: what the handlers touch may be gone.
    if (!QCoreApplication::instance() || QCoreApplication::closingDown()) return;
    for (auto& h : handlers)
        if (h) h();
}

void ViewTask::after(double seconds, std::function<void()> work) const
{
    if (state_->cancelled || !work) return;
    const unsigned n = state_->nextItem++;
    std::weak_ptr<State> weak = state_;
    state_->pending.emplace(n, platform::postToMainAfter(std::chrono::duration<double>(std::max(0.0, seconds)), [weak, n, work] {
        auto s = weak.lock();
        if (!s || s->cancelled) return;
        s->pending.erase(n);
        work();
    }));
}

void ViewTask::background(std::function<void()> work, std::function<void()> done) const
{
    if (state_->cancelled) return;
    std::weak_ptr<State> weak = state_;
    platform::detachTask(platform::TaskPriority::userInitiated, [weak, work = std::move(work), done = std::move(done)] {
        if (work) work();
        platform::postToMain([weak, done] {
            auto s = weak.lock();
            if (s && !s->cancelled && done) done();
        });
    });
}

void ViewTask::onCancel(std::function<void()> handler) const
{
    if (!handler) return;
    if (state_->cancelled) {
        handler();
        return;
    }
    state_->onCancel.push_back(std::move(handler));
}

// --- The hook nodes -----------------------------------------------------------------

namespace {

struct LastValue {
    bool has = false;
    std::any value;
};

struct TaskSlot {
    ViewTask current;
    std::string id;
    bool running = false;
    ~TaskSlot() { current.cancel(); }
};

class AppearNode final : public ModifierNode {
public:
    AppearNode(View content, std::function<void()> appear, std::function<void()> disappear)
        : ModifierNode(std::move(content)), appear_(std::move(appear)), disappear_(std::move(disappear)) {}
    void build(Element& self, BuildContext& ctx) const override
    {
        if (ctx.markPresent(self.identity(), disappear_) && appear_)
            ctx.afterBuild(appear_);
        ModifierNode::build(self, ctx);
    }

private:
    std::function<void()> appear_, disappear_;
};

class ChangeNode final : public ModifierNode {
public:
    ChangeNode(View content, std::any value, std::function<bool(const std::any&, const std::any&)> equal,
               std::function<void(const std::any&, const std::any&)> call)
        : ModifierNode(std::move(content)), value_(std::move(value)), equal_(std::move(equal)), call_(std::move(call)) {}
    void build(Element& self, BuildContext& ctx) const override
    {
        auto last = std::static_pointer_cast<LastValue>(
            ctx.stateSlot(self.identity() + "#change", [] { return std::static_pointer_cast<void>(std::make_shared<LastValue>()); }));
        if (last->has && !equal_(last->value, value_)) {
            auto call = call_;
            ctx.afterBuild([call, before = last->value, now = value_] { call(before, now); });
        }
        last->has = true;
        last->value = value_;
        ModifierNode::build(self, ctx);
    }

private:
    std::any value_;
    std::function<bool(const std::any&, const std::any&)> equal_;
    std::function<void(const std::any&, const std::any&)> call_;
};

class TaskNode final : public ModifierNode {
public:
    TaskNode(View content, std::string id, std::function<void(const ViewTask&)> work)
        : ModifierNode(std::move(content)), id_(std::move(id)), work_(std::move(work)) {}
    void build(Element& self, BuildContext& ctx) const override
    {
        const std::string identity = self.identity();
        auto slot = std::static_pointer_cast<TaskSlot>(
            ctx.stateSlot(identity + "#task", [] { return std::static_pointer_cast<void>(std::make_shared<TaskSlot>()); }));
        std::weak_ptr<TaskSlot> weak = slot;
        const bool appeared = ctx.markPresent(identity, [weak] {
            if (auto s = weak.lock()) {
                s->current.cancel();
                s->running = false;
            }
        });
        if (appeared || !slot->running || slot->id != id_) {
            slot->current.cancel();
            slot->current = ViewTask();
            slot->id = id_;
            slot->running = true;
            ViewTask task = slot->current;
            auto work = work_;
            ctx.afterBuild([task, work] {
                if (!task.isCancelled() && work) work(task);
            });
        }
        ModifierNode::build(self, ctx);
    }

private:
    std::string id_;
    std::function<void(const ViewTask&)> work_;
};

}  // namespace

namespace detail {
View onChangeView(const View& content, std::any value, std::function<bool(const std::any&, const std::any&)> equal,
                  std::function<void(const std::any&, const std::any&)> call)
{
    return View(detail::makeNode<ChangeNode>(content, std::move(value), std::move(equal), std::move(call)));
}
}  // namespace detail

View View::onAppear(std::function<void()> action) const
{
    return View(detail::makeNode<AppearNode>(*this, std::move(action), nullptr));
}

View View::onDisappear(std::function<void()> action) const
{
    return View(detail::makeNode<AppearNode>(*this, nullptr, std::move(action)));
}

View View::task(std::function<void(const ViewTask&)> work) const { return task(std::string(), std::move(work)); }

View View::task(std::string id, std::function<void(const ViewTask&)> work) const
{
    return View(detail::makeNode<TaskNode>(*this, std::move(id), std::move(work)));
}

}  // namespace platform::ui
