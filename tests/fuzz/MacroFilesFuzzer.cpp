// The macro library as the keyboard reads it before a macro download. The input is
// "macro.config", and after a 0xFF byte one macro file beside it (see FuzzFiles.h).
// Whatever the input, reading it never leaves the folder, a damaged index comes back as
// a readable one of at most 50 macros, and importing the macro file over the first macro
// either copies it whole or changes nothing.

#include <cstdint>
#include <string>

#include "platform/FileIO.h"
#include "platform/JsonFile.h"
#include "profile/MacroLibrary.h"
#include "tests/fuzz/FuzzFiles.h"

using namespace talyx;
using namespace talyx::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    emptyFolder(scratch());
    const auto parts = splitInput(data, size);
    const std::string index = scratch() + "/" + MacroLibrary::kIndexFileName;
    const std::string macro = scratch() + "/2024_01_01_00_00_00_001.mac";
    plantFile(index, parts.first.first, parts.first.second, kMaxJsonIndexBytes);
    if (parts.second.second > 0)
        plantFile(macro, parts.second.first, parts.second.second, kMaxJsonDocumentBytes);

    MacroLibrary library(scratch());
    JsonFileState before;
    readjsonFile(index, before, kMaxJsonIndexBytes);
    const bool loaded = library.Load();
    if (IsDamaged(before)) {
        check(loaded);
        check(library.Count() <= MacroLibrary::kMaxMacros);
        check(readjsonFile(index).isObject());
    }
    for (size_t i = 0; i < library.Count() && i < 64; ++i) {
        const std::string path = library.MacroFilePath(i);
        check(path.empty() || path.find('/', scratch().size() + 1) == std::string::npos);
        library.ReadEvents(i);
    }
    MacroLibrary::ReadMacroFile(macro);

    const std::string target = library.MacroFilePath(0);
    if (!target.empty()) {
        std::string before, after, source;
        ReadWholeFile(target, before);
        const MacroLibrary::Exchange result = library.Import(0, macro);
        ReadWholeFile(target, after);
        if (result == MacroLibrary::Exchange::Ok) {
            check(ReadWholeFile(macro, source) && after == source);
            check(MacroLibrary::ReadMacroFile(target).size() <= MacroLibrary::kMaxEvents);
        } else {
            check(after == before);
        }
    }
    return 0;
}
