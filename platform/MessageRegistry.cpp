#include "platform/MessageRegistry.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace talyx {
namespace {

std::mutex g_mutex;
std::map<std::string, uint32_t> g_byName;
std::map<uint32_t, std::string> g_byId;
uint32_t g_next = kFirstRegisteredMessage;

std::string foldCase(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

uint32_t RegisterWindowMessage(const std::string& name) {
    if (name.empty())
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    const std::string key = foldCase(name);
    auto it = g_byName.find(key);
    if (it != g_byName.end())
        return it->second;
    if (g_next > kLastRegisteredMessage)
        return 0;
    const uint32_t id = g_next++;
    g_byName.emplace(key, id);
    g_byId.emplace(id, name);
    return id;
}

uint32_t FindRegisteredMessage(const std::string& name) {
    if (name.empty())
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_byName.find(foldCase(name));
    return it == g_byName.end() ? 0 : it->second;
}

size_t RegisteredMessageCount() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_byId.size();
}

std::string RegisteredMessageName(uint32_t id) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_byId.find(id);
    return it == g_byId.end() ? std::string() : it->second;
}

} // namespace talyx
