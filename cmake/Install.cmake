# What "cmake --install" and the Debian package put where (docs/install.md):
#   bin/talyx                                   the program (app/CMakeLists.txt)
#   bin/talyxctl                                the command line (ctl/CMakeLists.txt)
#   share/talyx/{skin,DefaultData,lang,Font}    program data; Font holds links to the
#                                               system's font files
#   share/applications/, share/metainfo/        desktop entry and AppStream metainfo
#   share/icons/hicolor/*/apps/                 the icon: scalable and PNG sizes
#   share/dbus-1/services/                      session bus activation
#   share/man/man1/talyx.1, talyxctl.1          manual pages
#   share/bash-completion/completions/talyxctl  completion for bash
#   lib/udev/rules.d/70-talyx.rules             device access for the user at the seat
#   share/kwin/scripts/talyx-focus/             the KWin script that reports the window in front
#   share/gnome-shell/extensions/talyx-focus@talyx.org/  the GNOME Shell extension doing the same
# talyx-vdev and talyx-skinview are developer tools and are not installed.
#
# Paths that hold the prefix (the bus service's Exec line, the manual's FILES) are written
# when installing, so that "cmake --install --prefix DIR" and DESTDIR get them right.

set(TALYX_APP_ID org.talyx.RgbGamingKeyboard)
set(TALYX_RELEASE_DATE "2026-01-15" CACHE STRING "Release date of this version, for the manual page")
set(TALYX_ICON_SIZES 16 22 24 32 48 64 128 256 512)
set(pack ${CMAKE_SOURCE_DIR}/packaging)

install(FILES ${pack}/udev/70-talyx.rules DESTINATION lib/udev/rules.d)

if(NOT TALYX_WITH_UI)
    return()
endif()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/skin ${CMAKE_SOURCE_DIR}/DefaultData ${CMAKE_SOURCE_DIR}/lang
        DESTINATION share/talyx)
install(CODE "
    set(OUT \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/talyx/Font\")
    set(MODE link)
    include(\"${CMAKE_SOURCE_DIR}/cmake/CopyFonts.cmake\")")

install(FILES ${pack}/linux/${TALYX_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${pack}/linux/${TALYX_APP_ID}.metainfo.xml DESTINATION share/metainfo)
# Profiles that follow the application in front on Wayland desktops: the compositor's own
# script reports each activation to the program's bus method.
install(DIRECTORY ${pack}/kwin/talyx-focus DESTINATION share/kwin/scripts)
install(DIRECTORY ${pack}/gnome/talyx-focus@talyx.org DESTINATION share/gnome-shell/extensions)
install(FILES ${pack}/completion/talyxctl.bash DESTINATION share/bash-completion/completions RENAME talyxctl)

# The icon: the skin's own picture, scalable and rendered at the theme's sizes.
add_executable(talyx-icon-render ${pack}/icons/IconRender.cpp)
target_link_libraries(talyx-icon-render PRIVATE Qt6::Gui Qt6::Svg)
set(icon_svg ${CMAKE_SOURCE_DIR}/skin/common/icon107.svg)
set(icon_dir ${CMAKE_BINARY_DIR}/icons)
set(icon_pngs)
foreach(size IN LISTS TALYX_ICON_SIZES)
    list(APPEND icon_pngs ${icon_dir}/hicolor/${size}x${size}/apps/${TALYX_APP_ID}.png)
endforeach()
add_custom_command(OUTPUT ${icon_pngs}
    COMMAND talyx-icon-render ${icon_svg} ${icon_dir} ${TALYX_APP_ID} ${TALYX_ICON_SIZES}
    DEPENDS talyx-icon-render ${icon_svg}
    COMMENT "Rendering the icon")
add_custom_target(talyx_icons ALL DEPENDS ${icon_pngs})
install(DIRECTORY ${icon_dir}/hicolor DESTINATION share/icons)
install(FILES ${icon_svg} DESTINATION share/icons/hicolor/scalable/apps RENAME ${TALYX_APP_ID}.svg)

install(CODE "
    set(TALYX_SOURCE_DIR \"${CMAKE_SOURCE_DIR}\")
    set(TALYX_APP_ID \"${TALYX_APP_ID}\")
    set(PROJECT_VERSION \"${PROJECT_VERSION}\")
    set(TALYX_RELEASE_DATE \"${TALYX_RELEASE_DATE}\")
    include(\"${CMAKE_SOURCE_DIR}/cmake/InstallConfigured.cmake\")")
