#include "editors/AudioStyleFile.h"

#include <algorithm>

#include <json/value.h>

#include "platform/JsonFile.h"
#include "platform/Paths.h"

namespace talyx {
namespace {

constexpr const char* kRecord = "AudioLightInfo";
constexpr const char kChannels[3] = {'R', 'G', 'B'};

int clampedInt(const Json::Value& v, int lo, int hi, int fallback) {
    if (!v.isNumeric())
        return fallback;
    const double d = v.asDouble();
    if (d != d) // NaN
        return fallback;
    return static_cast<int>(std::clamp(d, double(lo), double(hi)));
}

std::string cutUtf8(const std::string& s, size_t max) {
    if (s.size() <= max)
        return s;
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return s.substr(0, n);
}

} // namespace

std::array<int, 3> AudioStyles::LightColour(int style) const {
    const auto& c = colours[static_cast<size_t>(std::clamp(style, 0, kStyles - 1))];
    return {c[0] * 255 / kComponentMax, c[1] * 255 / kComponentMax, c[2] * 255 / kComponentMax};
}

AudioStyleFile::AudioStyleFile(std::string userPath, std::string programPath)
    : m_user(std::move(userPath)), m_program(std::move(programPath)) {}

AudioStyleFile AudioStyleFile::ForUser() {
    return AudioStyleFile(JoinPath(ProductDataDir(), kFileName),
                          JoinPath(JoinPath(ProgramDataDir(), "DefaultData"), kFileName));
}

AudioStyles AudioStyleFile::Load() const {
    Json::Value doc = readjsonFile(m_user);
    if (!doc.isObject() || !doc[kRecord].isObject())
        doc = readjsonFile(m_program);
    AudioStyles styles;
    if (!doc.isObject() || !doc[kRecord].isObject())
        return styles;
    const Json::Value& r = doc[kRecord];
    styles.selected = clampedInt(r["nAudioStyle"], 0, AudioStyles::kStyles - 1, 0);
    for (int i = 0; i < AudioStyles::kStyles; ++i) {
        const Json::Value& name = r["nStyleName" + std::to_string(i + 1)];
        if (name.isString())
            styles.names[size_t(i)] = cutUtf8(name.asString(), AudioStyles::kNameMax);
        for (int c = 0; c < 3; ++c) {
            const std::string key = std::string("nStyle") + kChannels[c] + std::to_string(i);
            int& v = styles.colours[size_t(i)][size_t(c)];
            v = clampedInt(r[key], 0, AudioStyles::kComponentMax, v);
        }
    }
    return styles;
}

bool AudioStyleFile::Save(const AudioStyles& styles) const {
    Json::Value doc = readjsonFile(m_user);
    if (!doc.isObject())
        doc = Json::Value(Json::objectValue);
    Json::Value r(Json::objectValue);
    r["nAudioStyle"] = std::clamp(styles.selected, 0, AudioStyles::kStyles - 1);
    for (int i = 0; i < AudioStyles::kStyles; ++i) {
        r["nStyleName" + std::to_string(i + 1)] = cutUtf8(styles.names[size_t(i)], AudioStyles::kNameMax);
        for (int c = 0; c < 3; ++c)
            r[std::string("nStyle") + kChannels[c] + std::to_string(i)] =
                std::clamp(styles.colours[size_t(i)][size_t(c)], 0, AudioStyles::kComponentMax);
    }
    doc[kRecord] = r;
    const size_t slash = m_user.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(m_user.substr(0, slash)))
        return false;
    return writejsonFile(m_user, doc);
}

} // namespace talyx
