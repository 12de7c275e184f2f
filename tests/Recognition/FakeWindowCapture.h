#pragma once

#include "Platform/Image.h"
#include "Platform/WindowCapturePort.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace lorvantine::testing {

// The capture tool: writes the picture registered for a window number to the path it is given,
// and exits 1 for a window it does not know. A test can make it fail to start, exit with another
// status, or write a file that is no PNG. Records every path it wrote to, with the file's mode.
class FakeWindowCapture final : public WindowCapturePort {
public:
    enum class Mode { normal, cannotStart, writesGarbage };

    void setPicture(uint32_t windowNumber, Image picture)
    {
        std::lock_guard lock(m_mutex);
        m_pictures[windowNumber] = std::move(picture);
    }
    void setMode(Mode mode) { m_mode = mode; }
    void setExitStatus(int status) { m_exitStatus = status; }
    // Each capture waits (at most two seconds) until `count` captures are under way at once.
    void meetConcurrentCaptures(int count) { m_rendezvous = count; }

    struct Call {
        uint32_t windowNumber = 0;
        std::string path;
        mode_t mode = 0; // of the file at `path` when the tool was started
    };
    std::vector<Call> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

    Expected<int, CaptureLaunchError> captureWindow(uint32_t windowNumber, const std::string& pngPath) override
    {
        struct stat info {};
        mode_t mode = ::lstat(pngPath.c_str(), &info) == 0 ? info.st_mode : 0;
        std::unique_lock lock(m_mutex);
        m_calls.push_back({windowNumber, pngPath, mode});
        if (m_rendezvous > 0) {
            ++m_arrived;
            m_arrival.notify_all();
            m_arrival.wait_for(lock, std::chrono::seconds(2), [&] { return m_arrived >= m_rendezvous; });
        }
        if (m_mode == Mode::cannotStart)
            return Unexpected(CaptureLaunchError{"no such file or directory"});
        if (m_exitStatus != 0)
            return m_exitStatus;
        if (m_mode == Mode::writesGarbage) {
            std::FILE* file = std::fopen(pngPath.c_str(), "wb");
            std::fputs("this is not a picture", file);
            std::fclose(file);
            return 0;
        }
        auto picture = m_pictures.find(windowNumber);
        if (picture == m_pictures.end())
            return 1;
        Image copy = picture->second;
        lock.unlock();
        return copy.savePNG(pngPath) ? 0 : 1;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_arrival;
    std::map<uint32_t, Image> m_pictures;
    std::vector<Call> m_calls;
    Mode m_mode = Mode::normal;
    int m_exitStatus = 0;
    int m_rendezvous = 0;
    int m_arrived = 0;
};

} // namespace lorvantine::testing
