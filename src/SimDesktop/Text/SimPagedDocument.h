#pragma once

#include <cstdint>
#include <string>

namespace lorvantine {

// The whole text of a document that an application lays out over several page frames (one text
// area per page, as a word processor shows pages). Owned by the model and its page frames; only
// touched with the desktop locked.
struct SimPagedDocument {
    std::string text;
    int64_t utf16Length = 0;
};

} // namespace lorvantine
