#pragma once

#include "Documents/DocumentSource.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace lorvantine {

// Picks the document source for a bundle identifier. The lists are built once, thread-safely,
// on first use and never change afterwards.
namespace DocumentSourceRegistry {

// Every source the program knows, in ascending priority.
const std::vector<DocumentSource>& sources();
// Every bundle identifier some source serves.
const std::set<std::string>& allBundleIDs();

// The first session found by the sources that list `bundleID` exactly (case-sensitive), tried in
// ascending priority (equal priorities keep list order). Runs the sources on the caller's thread.
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);

// The same over a given list of sources.
std::shared_ptr<DocumentSession> detect(const std::string& bundleID, const std::vector<DocumentSource>& sources);
std::set<std::string> allBundleIDs(const std::vector<DocumentSource>& sources);

} // namespace DocumentSourceRegistry
} // namespace lorvantine
