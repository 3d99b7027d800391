# Copies the program data folders next to the executables and puts the private fonts
# under the names the program loads. Fonts come from Debian's font packages; a font
# that is not installed is simply left out, and the program starts without it.
add_custom_target(talyx_data ALL
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/skin ${CMAKE_BINARY_DIR}/bin/skin
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/DefaultData ${CMAKE_BINARY_DIR}/bin/DefaultData
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/lang ${CMAKE_BINARY_DIR}/bin/lang
    COMMAND ${CMAKE_COMMAND} -DOUT=${CMAKE_BINARY_DIR}/bin/Font -P ${CMAKE_SOURCE_DIR}/cmake/CopyFonts.cmake
    COMMENT "Copying program data")
