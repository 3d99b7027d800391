// A profile document as the device pages load it: the input is the document (see
// FuzzFiles.h for FIFOs and oversized files); every family's profile data loads it, reads
// every member and saves it. Whatever the input, loading leaves a readable document in
// its place (rebuilt from the family's default when the input could not be used).

#include <cerrno>
#include <cstdint>
#include <string>
#include <sys/stat.h>

#include "platform/JsonFile.h"
#include "profile/CHs6533Profiledata.h"
#include "profile/CKeyboardProfiledata.h"
#include "profile/CMouseProfiledata.h"
#include "tests/fuzz/FuzzFiles.h"

using namespace talyx;
using namespace talyx::fuzz;

namespace {

// A small factory document, so that each input costs little beyond itself.
const std::string& defaultDocument() {
    static const std::string path = [] {
        const std::string p = scratch() + "/factory";
        check(mkdir(p.c_str(), 0700) == 0 || errno == EEXIST);
        check(WriteFileAtomic(p + "/keyboard.Json", R"({"Device": [{"LightInfo": {"SelectItem": 1, "Light": 4},
            "KeyList": [{"Assignment": 2097156, "DefaultAssignment": 2097156}], "SystemStages": {"Repeat": 1}}]})"));
        return p + "/keyboard.Json";
    }();
    return path;
}

void loadAndCheck(CBasicProfiledata& data, const std::string& doc) {
    data.SetProfilePath(doc);
    data.SetDefaultPath(defaultDocument());
    data.LoadDeviceEntry();
    JsonFileState state;
    check(readjsonFile(doc, state).isObject());
    check(isRegularFile(doc));
    data.GetLightInfo();
    data.GetAudioLightInfo();
    data.GetLightList();
    const KeyList keys = data.GetKeyList();
    data.SetKeyList(keys);
    data.GetSecondKeyList();
    data.GetCustomColours(data.GetCustomGroupIndex() & 0xFF, std::vector<KeyColour>(8));
    check(data.SaveProfile());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    emptyFolder(scratch());
    const std::string doc = scratch() + "/p.Json";

    plantFile(doc, data, size, kMaxJsonDocumentBytes);
    CKeyboardProfiledata keyboard;
    loadAndCheck(keyboard, doc);
    keyboard.GetSystemStages();

    plantFile(doc, data, size, kMaxJsonDocumentBytes);
    CMouseProfiledata mouse;
    loadAndCheck(mouse, doc);
    mouse.GetDpiStages();
    mouse.GetSystemStages();
    mouse.GetCorrectInfo();

    plantFile(doc, data, size, kMaxJsonDocumentBytes);
    CHs6533Profiledata headset;
    loadAndCheck(headset, doc);
    headset.GetHeadsetSettings();
    for (int preset = 0; preset < 14; ++preset)
        headset.GetEqBands(preset);
    const std::vector<std::string> names = headset.GetCustomEqNames();
    for (size_t i = 0; i < names.size() && i < 16; ++i)
        headset.GetCustomEqBands(static_cast<int>(i));
    return 0;
}
