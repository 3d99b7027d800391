#include "platform/Registry.h"

#include <json/value.h>

#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"
#include "platform/Product.h"

namespace talyx {
namespace {

// A store that cannot be read is kept aside and starts again empty; the next write
// rebuilds it.
Json::Value load(const std::string& path) {
    JsonFileState state;
    Json::Value root = ReadJsonKeepingDamaged(path, state, kMaxJsonIndexBytes);
    if (!root.isNull() && !root.isObject())
        KeepAside(path);
    return root.isObject() ? root : Json::Value(Json::objectValue);
}

bool save(const std::string& path, const Json::Value& root) {
    const size_t slash = path.find_last_of('/');
    if (slash != std::string::npos)
        MakeDirs(path.substr(0, slash));
    return writejsonFile(path, root);
}

} // namespace

RegistryStore RegistryStore::user() {
    // Without a configuration folder there is no store: reads find nothing, writes fail.
    const std::string root = UserConfigRoot();
    return RegistryStore(root.empty() ? std::string() : JoinPath(root, "talyx/registry.json"));
}

RegistryStore::RegistryStore(std::string filePath) : m_path(std::move(filePath)) {}

bool RegistryStore::keyExists(const std::string& key) const {
    return load(m_path)[key].isObject();
}

bool RegistryStore::createKey(const std::string& key) {
    Json::Value root = load(m_path);
    if (root[key].isObject())
        return true;
    root[key] = Json::Value(Json::objectValue);
    return save(m_path, root);
}

std::optional<uint32_t> RegistryStore::readDword(const std::string& key, const std::string& name) const {
    const Json::Value root = load(m_path);
    const Json::Value& k = root[key];
    if (!k.isObject() || !k.isMember(name))
        return std::nullopt;
    const Json::Value& v = k[name];
    if (!v.isUInt())
        return std::nullopt;
    return v.asUInt();
}

std::optional<std::string> RegistryStore::readString(const std::string& key, const std::string& name) const {
    const Json::Value root = load(m_path);
    const Json::Value& k = root[key];
    if (!k.isObject() || !k[name].isString())
        return std::nullopt;
    return k[name].asString();
}

bool RegistryStore::writeDword(const std::string& key, const std::string& name, uint32_t value) {
    Json::Value root = load(m_path);
    if (!root[key].isObject())
        return false;
    root[key][name] = Json::UInt(value);
    return save(m_path, root);
}

bool RegistryStore::writeString(const std::string& key, const std::string& name, const std::string& value) {
    Json::Value root = load(m_path);
    if (!root[key].isObject())
        return false;
    root[key][name] = value;
    return save(m_path, root);
}

std::string ProductRegistryKey() {
    return std::string("SOFTWARE\\") + kProductTitle;
}

void EnsureProductRegistryKey() {
    RegistryStore store = RegistryStore::user();
    if (!store.keyExists(ProductRegistryKey()))
        store.createKey(ProductRegistryKey());
}

} // namespace talyx
