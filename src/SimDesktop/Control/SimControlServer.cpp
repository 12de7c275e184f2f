#include "SimDesktop/Control/SimControlServer.h"

#include "SimDesktop/Control/SimControlChannel.h"
#include "SimDesktop/Control/SimControlInput.h"
#include "SimDesktop/Control/SimControlOutput.h"
#include "SimDesktop/Control/SimControlPipe.h"

#include "Platform/Dispatch/Dispatch.h"

#include <unistd.h>

namespace lorvantine {

Expected<std::unique_ptr<SimControlServer>, std::string> SimControlServer::start(std::shared_ptr<SimDesktop> desktop, Options options)
{
    std::unique_ptr<SimControlServer> server(new SimControlServer());
    server->m_channel = std::make_unique<SimControlChannel>(std::move(desktop));
    server->m_answer = std::move(options.answer);
    if (!server->m_answer)
        server->m_output = std::make_unique<SimControlOutput>(options.answerDescriptor);
    if (options.pipe) {
        auto pipe = SimControlPipe::open(options.pipe->empty() ? std::nullopt : options.pipe);
        if (!pipe)
            return Unexpected(pipe.error());
        server->m_pipe = std::move(*pipe);
    }
    SimControlServer* self = server.get();
    self->m_channel->onQuit = [self] {
        if (self->onQuit)
            self->onQuit();
    };
    auto onLine = [self](std::string line, SimControlInput::Line kind, SimControlInput::Place place) {
        self->take(std::move(line), kind, std::move(place));
    };
    const SimControlInput::Options lineLimits { .maxBytes = SimControlCommand::maxLineBytes, .maxHeld = heldLines };
    if (options.readStandardInput)
        self->m_standardInput = std::make_unique<SimControlInput>(STDIN_FILENO, lineLimits, onLine);
    if (self->m_pipe) {
        SimControlInput::Options pipeLimits = lineLimits;
        pipeLimits.reopen = [pipe = self->m_pipe.get()] { return pipe->reopen(); };
        self->m_pipeInput = std::make_unique<SimControlInput>(self->m_pipe->descriptor(), std::move(pipeLimits), onLine);
    }
    return server;
}

SimControlServer::~SimControlServer()
{
    m_standardInput.reset();
    m_pipeInput.reset();
    // The pipe goes as soon as nothing reads it, before the answers still waiting are given up.
    m_pipe.reset();
    m_output.reset();
}

std::optional<std::filesystem::path> SimControlServer::pipePath() const
{
    return m_pipe ? std::optional(m_pipe->path()) : std::nullopt;
}

void SimControlServer::setReady()
{
    if (m_ready)
        return;
    m_ready = true;
    handleNextWaiting();
}

void SimControlServer::take(std::string line, SimControlInput::Line kind, SimControlInput::Place place)
{
    // Behind the lines still waiting, so that they are carried out in the order they came.
    if (!m_ready || !m_waiting.empty()) {
        m_waiting.push_back({ std::move(line), kind, std::move(place) });
        return;
    }
    handle(std::move(line), kind, std::move(place));
}

void SimControlServer::handleNextWaiting()
{
    if (m_waiting.empty())
        return;
    WaitingLine next = std::move(m_waiting.front());
    m_waiting.pop_front();
    // Each in a turn of the main queue of its own, the next one posted first: a line that opens a
    // modal alert has the next one (the press that answers it) carried out by the alert's loop,
    // as lines still in the main queue are.
    if (!m_waiting.empty())
        DispatchQueue::main().async([this, alive = std::weak_ptr<bool>(m_alive)] {
            if (alive.lock())
                handleNextWaiting();
        });
    handle(std::move(next.line), next.kind, std::move(next.place));
}

void SimControlServer::handle(std::string line, SimControlInput::Line kind, SimControlInput::Place place)
{
    switch (kind) {
    case SimControlInput::Line::complete:
        answer(m_channel->handle(line), std::move(place));
        return;
    case SimControlInput::Line::tooLong:
        answer("error line longer than " + std::to_string(SimControlCommand::maxLineBytes) + " bytes", std::move(place));
        return;
    case SimControlInput::Line::cutOff:
        answer("error line cut off: its writer closed the pipe before the line feed", std::move(place));
        return;
    }
}

void SimControlServer::answer(std::string line, SimControlInput::Place place)
{
    if (m_answer)
        m_answer(line);
    else
        m_output->send(std::move(line), std::move(place));
}

} // namespace lorvantine
