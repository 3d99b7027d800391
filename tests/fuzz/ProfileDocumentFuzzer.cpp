// A profile document as the device pages load it: the input is the document (see
// FuzzFiles.h for FIFOs and oversized files); every family's profile data loads it, reads
// every member and saves it. Whatever the input, loading leaves a readable document in
// its place (rebuilt from the family's default when the input could not be used).

#include <cstdint>
#include <string>

#include "platform/JsonFile.h"
#include "profile/CHs6533Profiledata.h"
#include "profile/CKeyboardProfiledata.h"
#include "profile/CMouseProfiledata.h"
#include "tests/fuzz/FuzzFiles.h"

using namespace talyx;
using namespace talyx::fuzz;

namespace {

void loadAndCheck(CBasicProfiledata& data, const std::string& doc) {
    data.SetProfilePath(doc);
    data.SetDefaultPath(std::string(TALYX_SOURCE_DIR) + "/DefaultData/keyboard.Json");
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
