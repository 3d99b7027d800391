#include "profile/DefaultLightNames.h"

#include "platform/JsonFile.h"
#include "profile/JsonFields.h"

namespace talyx {

std::vector<PresetLightMode> ReadPresetLightModes(int row, const std::string& path) {
    std::vector<PresetLightMode> modes;
    if (row < 0)
        return modes;
    const Json::Value root = readjsonFile(path);
    const Json::Value& list = ElementOf(MemberOf(root, "DefaultLightName"), static_cast<Json::ArrayIndex>(row));
    for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i)
        modes.push_back({FieldString(list[i], "LightName"), FieldBool(list[i], "visible"),
                         FieldI32(list[i], "value")});
    return modes;
}

std::vector<std::string> ReadAreaLightNames(int row, const std::string& path) {
    std::vector<std::string> names;
    if (row < 0)
        return names;
    const Json::Value root = readjsonFile(path);
    const Json::Value& list = ElementOf(MemberOf(root, "AreaLightName"), static_cast<Json::ArrayIndex>(row));
    for (Json::ArrayIndex i = 0; list.isArray() && i < list.size(); ++i)
        names.push_back(FieldString(list[i], "LightName"));
    return names;
}

} // namespace talyx
