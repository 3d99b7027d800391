#pragma once

#include <QString>
#include <array>

namespace talyx {

// One private font file: the path it was loaded from and the id the font database gave
// it (-1 when the file was missing or unreadable).
struct FontLoader {
    QString path;
    int handle = -1;
};

// The program's private fonts, loaded from the "Font" folder beside the program for the
// life of the process. A missing or unreadable file is skipped without a message.
class PrivateFonts {
public:
    static constexpr const char* kFiles[4] = {"Simplified_Chinese.ttf", "Vellgard-Regular.otf",
                                              "NotoSansThai-Regular.ttf", "NotoSansCJKtc-Regular.otf"};
    // Loads the four files from dataDir + "/Font/", in order.
    void Load(const QString& dataDir);
    // Removes them in the reverse order of loading.
    void Remove();
    int LoadedCount() const;
    const std::array<FontLoader, 4>& Loaders() const { return m_loaders; }

private:
    std::array<FontLoader, 4> m_loaders;
};

} // namespace talyx
