#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace talyx {

// The per-user settings store that stands in for the current user's registry: keys
// (paths such as "SOFTWARE\TALYX RGB Gaming keyboard") holding named 32-bit numbers and
// strings. It lives in one JSON file, by default $XDG_CONFIG_HOME/talyx/registry.json,
// re-read on every call and replaced atomically on every change, so two processes and a
// crash never leave it half-written. A file that cannot be used (not JSON, nested too
// deep, too large, not a regular file) is kept aside as ".corrupt" and reads as empty.
class RegistryStore {
public:
    // The store of the current user (its file follows $XDG_CONFIG_HOME at each call).
    static RegistryStore user();
    explicit RegistryStore(std::string filePath);

    bool keyExists(const std::string& key) const;
    // Creates the key when missing. False when the store cannot be written.
    bool createKey(const std::string& key);

    // Missing key or value, or a value of the other type: nothing.
    std::optional<uint32_t> readDword(const std::string& key, const std::string& name) const;
    std::optional<std::string> readString(const std::string& key, const std::string& name) const;

    // Writes into an existing key only; false when the key does not exist or the store
    // cannot be written.
    bool writeDword(const std::string& key, const std::string& name, uint32_t value);
    bool writeString(const std::string& key, const std::string& name, const std::string& value);

    const std::string& filePath() const { return m_path; }

private:
    std::string m_path;
};

// "SOFTWARE\" + product title: the product's key.
std::string ProductRegistryKey();

// What an installer does: creates the product's key in the user's store when missing.
void EnsureProductRegistryKey();

} // namespace talyx
