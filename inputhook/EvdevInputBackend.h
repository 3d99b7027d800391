#pragma once

#include <memory>

#include "inputhook/InputHookBackend.h"

namespace talyx {

// The global backend for this system's input devices, or null when the program was
// built without it.
std::unique_ptr<InputHookBackend> MakeEvdevInputBackend();

} // namespace talyx
