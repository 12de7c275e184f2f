#include "Support/CallStack.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace lorvantine::CallStack {

namespace {

constexpr std::pair<const char*, const char*> shortNames[] = {
    { "[abi:cxx11]", "" },
    { "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >", "std::string" },
};

std::string hex(uintptr_t value)
{
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%jx", static_cast<uintmax_t>(value));
    return buffer;
}

} // namespace

// Not inlined, so that it has a frame of its own to leave out.
[[gnu::noinline]] std::string callers(int depth)
{
    if (depth <= 0)
        return "";
    // The stack starts with this function, and under a sanitizer with its hook on backtrace too:
    // it is read from our caller's frame, found by the address we return to.
    constexpr size_t ownFrames = 4;
    std::vector<void*> frames(static_cast<size_t>(depth) + ownFrames);
    const auto count = static_cast<size_t>(std::max(0, backtrace(frames.data(), static_cast<int>(frames.size()))));
    const void* returnAddress = __builtin_return_address(0);
    size_t first = 1;
    for (size_t i = 0; i < std::min(count, ownFrames); ++i) {
        if (frames[i] == returnAddress) {
            first = i;
            break;
        }
    }
    std::string line;
    for (size_t i = first; i < count && i < first + static_cast<size_t>(depth); ++i) {
        if (i > first)
            line += " ← ";
        line += frameName(frames[i]);
    }
    return line;
}

std::string frameName(const void* address)
{
    const auto at = reinterpret_cast<uintptr_t>(address);
    Dl_info info {};
    if (address == nullptr || dladdr(address, &info) == 0)
        return hex(at);
    if (info.dli_sname && info.dli_saddr) {
        int status = 0;
        char* demangled = abi::__cxa_demangle(info.dli_sname, nullptr, nullptr, &status);
        std::string name = status == 0 && demangled ? demangled : info.dli_sname;
        std::free(demangled);
        // As the source writes them: the string ABI's tag and std::string spelled out say nothing to a reader.
        for (const auto& [spelled, plain] : shortNames)
            for (size_t found; (found = name.find(spelled)) != std::string::npos;)
                name.replace(found, std::strlen(spelled), plain);
        return name.append(" + ").append(std::to_string(at - reinterpret_cast<uintptr_t>(info.dli_saddr)));
    }
    if (info.dli_fname && *info.dli_fname) {
        const char* slash = std::strrchr(info.dli_fname, '/');
        std::string file = slash ? slash + 1 : info.dli_fname;
        return file.append("+").append(hex(at - reinterpret_cast<uintptr_t>(info.dli_fbase)));
    }
    return hex(at);
}

} // namespace lorvantine::CallStack
