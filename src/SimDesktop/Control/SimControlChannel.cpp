#include "SimDesktop/Control/SimControlChannel.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Alert.h"
#include "SimDesktop/Control/SimControlActions.h"
#include "SimDesktop/Rendering/SimRenderer.h"
#include "SimDesktop/SimDesktop.h"

namespace lorvantine {

std::string SimControlChannel::handle(std::string_view line)
{
    auto command = SimControlCommand::parse(line);
    return SimControlActions::answerLine(command ? execute(*command) : "error " + command.error());
}

std::string SimControlChannel::execute(const SimControlCommand& command)
{
    using Verb = SimControlCommand::Verb;
    switch (command.verb) {
    case Verb::front: {
        const auto pid = m_desktop->pidOf(command.text);
        if (!pid)
            return "error no running application " + command.text;
        if (!m_desktop->setFrontmost(*pid))
            return "error " + command.text + " cannot come to the front";
        return "ok " + std::to_string(*pid);
    }
    case Verb::trust:
        m_desktop->setTrusted(command.on);
        return "ok";
    case Verb::inputMonitoring:
        m_desktop->setInputMonitoring(command.access);
        return "ok";
    case Verb::snapshot:
        return snapshot(command.text);
    case Verb::quit:
        // An alert waiting for an answer would keep its nested loop, and the run, alive.
        Alert::abortModal();
        if (onQuit)
            DispatchQueue::main().async(onQuit);
        return "ok";
    default:
        break;
    }
    // Through the installed ports: with a shared desktop, that desktop's.
    return SimControlActions::perform(command, Platform::current()).value_or("error unknown command");
}

std::string SimControlChannel::snapshot(const std::string& path)
{
    auto picture = SimRenderer::renderScreen(*m_desktop, 0, 1.0);
    if (!picture)
        return "error no screen to draw";
    if (auto saved = picture->image.savePNG(path); !saved)
        return "error " + saved.error().message;
    return "ok " + path;
}

} // namespace lorvantine
