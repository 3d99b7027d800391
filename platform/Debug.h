#pragma once

#include <functional>
#include <string>
#include <vector>

namespace talyx {

// The program's diagnostic channel. Texts go to standard error when the environment
// variable TALYX_DEBUG is 1, and to every installed capture (tests). There is no log
// file. Thread-safe; a text is delivered whole.
void DebugOutput(const std::string& text);

// printf-style convenience for DebugOutput.
void DebugOutputF(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Collects every debug text while it lives. Captures nest.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> texts() const;
    bool contains(const std::string& text) const;
    size_t count(const std::string& text) const;
    void clear();

private:
    friend void DebugOutput(const std::string& text);
    struct Impl;
    Impl* m_impl;
};

} // namespace talyx
