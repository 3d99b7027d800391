# Puts the program's private fonts into OUT under the names the program loads, from
# Debian's font packages.
#   cmake -DOUT=<dir> -P CopyFonts.cmake      copies the fonts that are installed (build tree)
#   set(OUT ...) set(MODE link) include(...)  links every name to its system font file
#                                             (installation: the package recommends the
#                                             font packages, and a link to a font that is
#                                             not installed is skipped like a missing file)
file(MAKE_DIRECTORY ${OUT})
set(pairs
    "Simplified_Chinese.ttf|/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
    "Vellgard-Regular.otf|/usr/share/fonts/truetype/play/Play-Regular.ttf"
    "NotoSansThai-Regular.ttf|/usr/share/fonts/truetype/noto/NotoSansThai-Regular.ttf"
    "NotoSansCJKtc-Regular.otf|/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc")
foreach(pair IN LISTS pairs)
    string(REPLACE "|" ";" parts "${pair}")
    list(GET parts 0 name)
    list(GET parts 1 source)
    if(MODE STREQUAL "link")
        message(STATUS "Installing: ${OUT}/${name} -> ${source}")
        file(REMOVE "${OUT}/${name}")
        file(CREATE_LINK "${source}" "${OUT}/${name}" SYMBOLIC)
        list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${OUT}/${name}")
    elseif(EXISTS "${source}" AND NOT EXISTS "${OUT}/${name}")
        file(COPY_FILE "${source}" "${OUT}/${name}")
    endif()
endforeach()
