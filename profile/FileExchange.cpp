#include "profile/FileExchange.h"

namespace talyx {

bool HandOffExchangeFile(IFileExchangeTarget* target, ExchangeDirection direction, const std::string& path) {
    if (!target || path.empty())
        return false;
    return direction == ExchangeDirection::Import ? target->ImportFile(path) : target->ExportFile(path);
}

} // namespace talyx
