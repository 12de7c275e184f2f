#include "SimDesktop/Control/SimControlServer.h"

#include "SimDesktop/Control/SimControlChannel.h"
#include "SimDesktop/Control/SimControlInput.h"
#include "SimDesktop/Control/SimControlOutput.h"
#include "SimDesktop/Control/SimControlPipe.h"

#include <unistd.h>

namespace lorvantine {

Expected<std::unique_ptr<SimControlServer>, std::string> SimControlServer::start(std::shared_ptr<SimDesktop> desktop, Options options)
{
    std::unique_ptr<SimControlServer> server(new SimControlServer());
    server->m_channel = std::make_unique<SimControlChannel>(std::move(desktop));
    server->m_answer = std::move(options.answer);
    if (!server->m_answer)
        server->m_output = std::make_unique<SimControlOutput>(STDOUT_FILENO);
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
        self->handle(std::move(line), kind, std::move(place));
    };
    if (options.readStandardInput)
        self->m_standardInput = std::make_unique<SimControlInput>(STDIN_FILENO, SimControlInput::Options { .maxBytes = SimControlCommand::maxLineBytes }, onLine);
    if (self->m_pipe)
        self->m_pipeInput = std::make_unique<SimControlInput>(
            self->m_pipe->descriptor(),
            SimControlInput::Options { .maxBytes = SimControlCommand::maxLineBytes, .reopen = [pipe = self->m_pipe.get()] { return pipe->reopen(); } },
            onLine);
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
