#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lorvantine {

// One pasteboard item: its representations in the order they were written, type → raw bytes.
struct PasteboardItem {
    std::vector<std::pair<std::string, std::string>> representations;

    const std::string* dataForType(const std::string& type) const
    {
        for (const auto& [t, data] : representations)
            if (t == type)
                return &data;
        return nullptr;
    }
    friend bool operator==(const PasteboardItem&, const PasteboardItem&) = default;
};

namespace PasteboardType {
inline constexpr const char* string = "public.utf8-plain-text";
inline constexpr const char* html = "public.html";
inline constexpr const char* rtf = "public.rtf";
} // namespace PasteboardType

// The general pasteboard. Safe to call from any thread.
class PasteboardPort {
public:
    virtual ~PasteboardPort() = default;

    // Grows by one whenever anyone clears the pasteboard to write to it.
    virtual int64_t changeCount() = 0;
    virtual std::vector<PasteboardItem> pasteboardItems() = 0;
    // The first item's data for `type`, read as UTF-8 text; none when absent.
    virtual std::optional<std::string> stringForType(const std::string& type) = 0;

    // Empties the pasteboard; returns the new change count.
    virtual int64_t clearContents() = 0;
    // Appends items (after `clearContents`, as the platform requires for a fresh write).
    virtual bool writeObjects(const std::vector<PasteboardItem>& items) = 0;
    // Puts `string` under `type` on the first item, making one when there is none.
    virtual bool setString(const std::string& string, const std::string& type) = 0;
};

} // namespace lorvantine
