#include "editors/ColorPaletteFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "platform/Paths.h"

namespace talyx {
namespace {

constexpr const char* kRoot = "coloroptioninfo";
constexpr const char* kPresets = "palletDialogcoloroption";
constexpr const char* kPresetSelection = "palletDialogcoloroption_selectitem";
constexpr const char* kCollected = "palletDialogcollectcoloroption";
constexpr const char* kCollectedSelection = "palletDialogcollectcoloroption_selectitem";

// Two rows of ten: the hue circle, then its light tints with greys to white.
constexpr uint32_t kBuiltInPresets[ColourPalette::kSwatches] = {
    0xFFFF1E1E, 0xFFFF7A00, 0xFFFFE000, 0xFF7CFF00, 0xFF00FF3C, 0xFF00FFB4, 0xFF00D1FF,
    0xFF0050FF, 0xFF7B5CFF, 0xFFC400FF, 0xFFFF2E97, 0xFFFF8A8A, 0xFFFFC88A, 0xFFFFF3A0,
    0xFFA8FFC0, 0xFF9CE8FF, 0xFFB9B0FF, 0xFF5A5F6B, 0xFFB4BBC9, 0xFFFFFFFF};

bool swatchColour(const Json::Value& list, int i, uint32_t& argb) {
    if (!list.isArray() || static_cast<Json::ArrayIndex>(i) >= list.size())
        return false;
    const Json::Value& item = list[static_cast<Json::ArrayIndex>(i)];
    if (!item.isObject() || !item["color"].isString())
        return false;
    return ColourFromText(item["color"].asString(), argb);
}

int selection(const Json::Value& root, const char* key, int fallback, bool noneAllowed) {
    const Json::Value& v = root[key];
    if (!v.isInt())
        return fallback;
    const int i = v.asInt();
    if (i >= 0 && i < ColourPalette::kSwatches)
        return i;
    return noneAllowed && i == -1 ? -1 : fallback;
}

} // namespace

std::string ColourToText(uint32_t argb) {
    return std::to_string(static_cast<int32_t>(argb));
}

bool ColourFromText(const std::string& text, uint32_t& argb) {
    if (text.empty() || text.size() > 11 || !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9')))
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end != text.c_str() + text.size() || v < INT32_MIN || v > static_cast<long long>(UINT32_MAX))
        return false;
    argb = static_cast<uint32_t>(v);
    return true;
}

int ColourComponentFromText(const std::string& text) {
    size_t i = text.find_first_not_of(" \t");
    int value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(256, value * 10 + (text[i] - '0')); // held at 256 while reading
    return std::min(value, 255);
}

ColourPalette ColourPalette::BuiltIn() {
    ColourPalette p;
    for (int i = 0; i < kSwatches; ++i)
        p.presets[static_cast<size_t>(i)] = kBuiltInPresets[i];
    p.collected.fill(0xFF000000u);
    return p;
}

ColourPalette ColourPalette::FromJson(const Json::Value& document, const ColourPalette& defaults) {
    ColourPalette p = defaults;
    if (!document.isObject() || !document[kRoot].isObject())
        return p;
    const Json::Value& root = document[kRoot];
    for (int i = 0; i < kSwatches; ++i) {
        const size_t n = static_cast<size_t>(i);
        uint32_t argb = 0;
        if (swatchColour(root[kPresets], i, argb))
            p.presets[n] = argb;
        if (swatchColour(root[kCollected], i, argb)) {
            const Json::Value& data = root[kCollected][static_cast<Json::ArrayIndex>(i)]["UserData"];
            p.collected[n] = argb;
            p.filled[n] = data.isString() && data.asString() == "1";
        }
    }
    p.presetSelected = selection(root, kPresetSelection, defaults.presetSelected, false);
    p.collectedSelected = root.isMember(kCollectedSelection) ? selection(root, kCollectedSelection, -1, true) : -1;
    return p;
}

void ColourPalette::ToJson(Json::Value& document) const {
    if (!document.isObject())
        document = Json::Value(Json::objectValue);
    Json::Value& root = document[kRoot];
    if (!root.isObject())
        root = Json::Value(Json::objectValue);
    Json::Value presetList(Json::arrayValue);
    Json::Value collectedList(Json::arrayValue);
    for (int i = 0; i < kSwatches; ++i) {
        const size_t n = static_cast<size_t>(i);
        Json::Value preset(Json::objectValue);
        preset["color"] = ColourToText(presets[n]);
        presetList.append(preset);
        Json::Value slot(Json::objectValue);
        slot["color"] = ColourToText(collected[n]);
        slot["UserData"] = filled[n] ? "1" : "0";
        collectedList.append(slot);
    }
    root[kPresets] = presetList;
    root[kPresetSelection] = presetSelected;
    root[kCollected] = collectedList;
    if (collectedSelected >= 0)
        root[kCollectedSelection] = collectedSelected;
    else
        root.removeMember(kCollectedSelection);
}

ColourPaletteFile::ColourPaletteFile(std::string userPath, std::string defaultPath)
    : m_userPath(std::move(userPath)), m_defaultPath(std::move(defaultPath)) {}

ColourPaletteFile ColourPaletteFile::ForUser() {
    const std::string folder = ProductDataDir();
    return ColourPaletteFile(folder.empty() ? std::string() : JoinPath(folder, kFileName),
                             JoinPath(ProgramDataDir(), std::string("DefaultData/") + kFileName));
}

ColourPalette ColourPaletteFile::Load() {
    const ColourPalette builtIn = ColourPalette::BuiltIn();
    JsonFileState state{};
    const Json::Value user =
        m_userPath.empty() ? Json::Value() : ReadJsonKeepingDamaged(m_userPath, state, kMaxJsonIndexBytes);
    if (user.isObject() && user[kRoot].isObject())
        return ColourPalette::FromJson(user, builtIn);
    // Readable, but not a palette: kept aside as a damaged one is, not overwritten.
    if (!user.isNull())
        KeepAside(m_userPath);
    Json::Value shipped = readjsonFile(m_defaultPath);
    const ColourPalette palette = ColourPalette::FromJson(shipped, builtIn);
    if (!m_userPath.empty()) {
        // What is written is what the picker shows, whatever the shipped file lacked.
        Json::Value document(Json::objectValue);
        palette.ToJson(document);
        writejsonFile(m_userPath, document);
    }
    return palette;
}

bool ColourPaletteFile::Save(const ColourPalette& palette) {
    if (m_userPath.empty())
        return false;
    JsonFileState state{};
    Json::Value document = readjsonFile(m_userPath, state, kMaxJsonIndexBytes);
    palette.ToJson(document);
    return writejsonFile(m_userPath, document);
}

} // namespace talyx
