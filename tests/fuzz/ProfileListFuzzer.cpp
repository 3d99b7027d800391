// The profile list as the profile bar reads it. The input is "ProfileList.ini", and after
// a 0xFF byte one profile document beside it (see FuzzFiles.h). Whatever the input, the
// bar gets at least one profile with a valid selection, the file agrees with it, and the
// menu operations keep it so.

#include <cstdint>
#include <string>

#include "platform/JsonFile.h"
#include "profile/ProfileList.h"
#include "tests/fuzz/FuzzFiles.h"

using namespace talyx;
using namespace talyx::fuzz;

namespace {

void checkAgrees(const ProfileList& list) {
    check(list.ItemCount() >= 1);
    check(list.Selected() >= 0 && list.Selected() < list.ItemCount());
    check(list.Count() == list.ItemCount());
    check(isRegularFile(list.ListPath()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    emptyFolder(scratch());
    const auto parts = splitInput(data, size);
    ProfileList list(scratch());
    plantFile(list.ListPath(), parts.first.first, parts.first.second, kMaxJsonIndexBytes);
    if (parts.second.second > 0)
        plantFile(scratch() + "/2024_01_01_00_00_00_001.Json", parts.second.first, parts.second.second,
                  kMaxJsonDocumentBytes);

    list.Initialise();
    checkAgrees(list);
    // Paths never leave the folder, whatever UUIDs the file holds.
    for (int i = 0; i < list.ItemCount(); ++i) {
        const std::string path = list.ProfilePath(i);
        check(path.empty() || path.compare(0, scratch().size() + 1, scratch() + "/") == 0);
        check(path.find('/', scratch().size() + 1) == std::string::npos);
    }
    list.New();
    list.Copy();
    list.Rename("renamed");
    list.Delete();
    checkAgrees(list);
    return 0;
}
