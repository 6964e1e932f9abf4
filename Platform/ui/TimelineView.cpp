#include "ui/TimelineView.h"

#include "ui/Inspect.h"
#include "ui/ViewHost.h"

#include <cmath>

namespace platform::ui {

namespace {

class TimelineNode final : public Node {
public:
    TimelineNode(TimelineSchedule schedule, std::function<View(double)> content)
        : schedule_(schedule), content_(std::move(content)) {}

    void build(Element& self, BuildContext& ctx) const override
    {
        const double t = timelineTime(schedule_, ctx.now(), self.env->reduceMotion);
        ctx.addChild(self, content_ ? content_(t) : View(), "t");
    }

    void place(Element& self, Rect frame, LayoutContext& ctx) const override
    {
        Node::place(self, frame, ctx);
        if (!ctx.builder() || schedule_.paused || self.env->reduceMotion || self.env->get<ScenePhaseKey>() != ScenePhase::active)
            return;
        // Off screen (scrolled away or outside the window) it waits for the next layout.
        auto* host = dynamic_cast<ViewHost*>(ctx.builder());
        if (host) {
            const Rect v = visualFrame(self);
            const Size s = host->size();
            if (v.maxX() <= 0 || v.maxY() <= 0 || v.x >= s.width || v.y >= s.height) return;
        }
        const double now = ctx.builder()->now();
        double wait = schedule_.interval;
        if (schedule_.kind == TimelineSchedule::Kind::periodic)
            wait = schedule_.interval * (std::floor(now / schedule_.interval) + 1) - now;
        else if (host)
            // The interval runs from this frame's time: counted from here, the
            // time spent building and laying out would stretch every period.
            wait -= now - host->frameTime();
        ctx.builder()->requestFrame(std::max(wait, 1e-3), self);
    }

private:
    TimelineSchedule schedule_;
    std::function<View(double)> content_;
};

}  // namespace

double timelineTime(const TimelineSchedule& schedule, double now, bool reduceMotion)
{
    if (reduceMotion) return 0;
    if (schedule.kind == TimelineSchedule::Kind::periodic)
        return schedule.interval * std::floor(now / schedule.interval + 1e-9);
    return now;
}

View TimelineView(TimelineSchedule schedule, std::function<View(double)> content)
{
    return View(detail::makeNode<TimelineNode>(schedule, std::move(content)));
}

}  // namespace platform::ui
