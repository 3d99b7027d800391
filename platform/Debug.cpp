#include "platform/Debug.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace talyx {
namespace {

std::mutex g_mutex;
std::vector<DebugCapture*> g_captures;

bool toStderr() {
    static const bool enabled = [] {
        const char* v = std::getenv("TALYX_DEBUG");
        return v && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

} // namespace

struct DebugCapture::Impl {
    mutable std::mutex mutex;
    std::vector<std::string> texts;
};

void DebugOutput(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (toStderr()) {
        std::fwrite(text.data(), 1, text.size(), stderr);
        if (text.empty() || text.back() != '\n')
            std::fputc('\n', stderr);
    }
    for (DebugCapture* c : g_captures) {
        std::lock_guard<std::mutex> inner(c->m_impl->mutex);
        c->m_impl->texts.push_back(text);
    }
}

void DebugOutputF(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    DebugOutput(buffer);
}

DebugCapture::DebugCapture() : m_impl(new Impl) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_captures.push_back(this);
}

DebugCapture::~DebugCapture() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_captures.erase(std::remove(g_captures.begin(), g_captures.end(), this), g_captures.end());
    }
    delete m_impl;
}

std::vector<std::string> DebugCapture::texts() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->texts;
}

bool DebugCapture::contains(const std::string& text) const { return count(text) > 0; }

size_t DebugCapture::count(const std::string& text) const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return static_cast<size_t>(std::count(m_impl->texts.begin(), m_impl->texts.end(), text));
}

void DebugCapture::clear() {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->texts.clear();
}

} // namespace talyx
