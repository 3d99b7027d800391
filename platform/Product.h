#pragma once

namespace talyx {

// The product title is the window caption, the single-instance name, the instance
// message name, the registry key name and the per-user data folder name.
inline constexpr const char* kProductTitle = "TALYX RGB Gaming keyboard";

// Name the program owns on the D-Bus session bus while it runs.
inline constexpr const char* kBusName = "org.talyx.RgbGamingKeyboard";
inline constexpr const char* kBusPath = "/org/talyx/RgbGamingKeyboard";
inline constexpr const char* kBusInterface = "org.talyx.RgbGamingKeyboard";

} // namespace talyx
