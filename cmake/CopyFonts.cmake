# Run as a script: cmake -DOUT=<dir> -P CopyFonts.cmake
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
    if(EXISTS "${source}" AND NOT EXISTS "${OUT}/${name}")
        file(COPY_FILE "${source}" "${OUT}/${name}")
    endif()
endforeach()
