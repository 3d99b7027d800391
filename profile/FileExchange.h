#pragma once

#include <string>

// The file dialogs of the main window's import and export commands, and the hand-off
// of a chosen path to the page that reads or writes the file.
namespace talyx {

// One filter entry of a file dialog: the text shown and the pattern list.
struct FileDialogFilter {
    const char* description;
    const char* patterns;
};

inline constexpr FileDialogFilter kProfileFileFilter{"Profile Files(*.json)", "*.json;"};
inline constexpr FileDialogFilter kMacroFileFilter{"Macro Files(*.mac)", "*.mac;"};
inline constexpr FileDialogFilter kRecoilFileFilter{"Shoot Files(*.shoot)", "*.shoot;"};
// The dialogs show one filter entry, so it is entry 1; no extension is added to a
// typed name ("*.*" as the default extension string), and a path may be this long.
inline constexpr int kFileDialogFilterIndex = 1;
inline constexpr const char* kFileDialogDefaultExtension = "*.*";
inline constexpr int kFileDialogPathChars = 26261;

// A page that reads and writes exchange files: the macro page for ".mac" files, the
// mouse's recoil page for ".shoot" files.
class IFileExchangeTarget {
public:
    virtual ~IFileExchangeTarget() = default;
    virtual bool ImportFile(const std::string& path) = 0;
    virtual bool ExportFile(const std::string& path) = 0;
};

enum class ExchangeDirection { Import, Export };

// Passes a chosen path on. A cancelled dialog (empty path) or a device without such a
// page (no target) ends the command with no effect; false then.
bool HandOffExchangeFile(IFileExchangeTarget* target, ExchangeDirection direction, const std::string& path);

} // namespace talyx
