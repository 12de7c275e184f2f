#include "Platform/Toolkit/AnimationContext.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/MainQueue.h"

#include <memory>
#include <vector>

namespace lorvantine::AnimationContext {

namespace {

struct Group {
    Duration duration {};
    TimingFunction timing = TimingFunction::easeInEaseOut;
    int pending = 0;
    bool closed = false;
    std::function<void()> completion;

    static void finishIfDone(const std::shared_ptr<Group>& group)
    {
        if (!group->closed || group->pending > 0 || !group->completion)
            return;
        DispatchQueue::main().async(std::move(group->completion));
        group->completion = nullptr;
    }
};

std::vector<std::shared_ptr<Group>> s_groups;

} // namespace

void run(Duration duration, const std::function<void()>& changes, std::function<void()> completion, TimingFunction timing)
{
    MainQueue::requireMainThread("AnimationContext::run");
    auto group = std::make_shared<Group>();
    group->duration = duration;
    group->timing = timing;
    group->completion = std::move(completion);
    s_groups.push_back(group);
    if (changes)
        changes();
    s_groups.pop_back();
    group->closed = true;
    Group::finishIfDone(group);
}

Duration currentDuration() { return s_groups.empty() ? Duration {} : s_groups.back()->duration; }

TimingFunction currentTiming() { return s_groups.empty() ? TimingFunction::linear : s_groups.back()->timing; }

std::function<void()> enterAnimation()
{
    if (s_groups.empty())
        return {};
    auto group = s_groups.back();
    ++group->pending;
    return [group] {
        --group->pending;
        Group::finishIfDone(group);
    };
}

} // namespace lorvantine::AnimationContext
