#include "CLI/ReportFiles.h"

#include "Support/Files.h"
#include "Support/Log.h"

namespace lorvantine::ReportFiles {

bool write(const std::string& path, std::string_view bytes)
{
    auto written = Files::writeAtomically(path, bytes, Files::Durability::unflushed);
    if (!written)
        Log::line("❌ 无法写入报告: " + written.error().message);
    return bool(written);
}

} // namespace lorvantine::ReportFiles
