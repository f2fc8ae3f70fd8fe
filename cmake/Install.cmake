# What "cmake --install" puts where, and the Debian package made from it with CPack.
#
# The installed layout: runel in bin; runel-app, which runel execs, in libexec/runel; the desktop
# entry (the application menu and the runel:// handler), AppStream metainfo, hicolor icons, the
# man page, and the bash, zsh and fish completions under share.
include(GNUInstallDirs)

set(RUNEL_HOMEPAGE "https://github.com/runel/runel" CACHE STRING
    "Runel's public home, named in the package and the AppStream metainfo")
set(RUNEL_SCREENSHOT_URL "${RUNEL_HOMEPAGE}/raw/main/resources/screenshots/hud.png" CACHE STRING
    "Where software centres fetch the HUD screenshot (resources/screenshots/hud.png) from")
# The date of the release that project(VERSION) names, for the metainfo's release history.
set(RUNEL_RELEASE_DATE 2026-12-07)

set(runel_resources ${PROJECT_SOURCE_DIR}/resources)
set(runel_staging ${PROJECT_BINARY_DIR}/install-files)
set(runel_appid io.github.runel.Runel)

install(TARGETS runel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS runel-app RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/runel)
# runel finds runel-app beside itself in the build tree, else by this path from its own folder.
file(RELATIVE_PATH runel_app_from_bin ${CMAKE_INSTALL_FULL_BINDIR}
    ${CMAKE_INSTALL_FULL_LIBEXECDIR}/runel/runel-app)
target_compile_definitions(runel_cli PRIVATE RUNEL_APP_FROM_BINDIR="${runel_app_from_bin}")

# The desktop entry names runel by its full path, so that a prefix off PATH works too. The prefix
# is only known for sure at install time ("cmake --install --prefix"), so it is written then.
# Its file name is the application id, which desktop portals look the app up by.
install(CODE "
    set(RUNEL_DESKTOP_EXEC \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/runel\")
    configure_file(${runel_resources}/${runel_appid}.desktop.in ${runel_staging}/${runel_appid}.desktop
        @ONLY)
")
install(FILES ${runel_staging}/${runel_appid}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

configure_file(${runel_resources}/${runel_appid}.metainfo.xml.in
    ${runel_staging}/${runel_appid}.metainfo.xml @ONLY)
install(FILES ${runel_staging}/${runel_appid}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(runel_hicolor ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${runel_resources}/icons/runel.svg DESTINATION ${runel_hicolor}/scalable/apps)
install(FILES ${runel_resources}/icons/runel-symbolic.svg DESTINATION ${runel_hicolor}/symbolic/apps)
# Panels and menus that do not scale SVGs take PNGs of the sizes they draw.
find_program(RUNEL_RSVG_CONVERT rsvg-convert)
if(RUNEL_RSVG_CONVERT)
    set(runel_pngs)
    foreach(size 16 22 24 32 48 64 128 256)
        set(png ${runel_staging}/icons/${size}x${size}/runel.png)
        add_custom_command(OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${runel_staging}/icons/${size}x${size}
            COMMAND ${RUNEL_RSVG_CONVERT} -w ${size} -h ${size} -o ${png}
                    ${runel_resources}/icons/runel.svg
            DEPENDS ${runel_resources}/icons/runel.svg VERBATIM)
        list(APPEND runel_pngs ${png})
        install(FILES ${png} DESTINATION ${runel_hicolor}/${size}x${size}/apps)
    endforeach()
    add_custom_target(runel_icon_pngs ALL DEPENDS ${runel_pngs})
else()
    message(STATUS "rsvg-convert not found: only the SVG icons are installed (tools/install-deps "
        "installs librsvg2-bin)")
endif()

# Debian wants manual pages and the changelog compressed, without a time stamp (-n).
find_program(RUNEL_GZIP gzip REQUIRED)
foreach(pair "runel.1|runel.1.gz" "debian/changelog|changelog.gz")
    string(REPLACE "|" ";" pair "${pair}")
    list(GET pair 0 source)
    list(GET pair 1 target)
    add_custom_command(OUTPUT ${runel_staging}/${target}
        COMMAND ${RUNEL_GZIP} -9nc ${runel_resources}/${source} > ${runel_staging}/${target}
        DEPENDS ${runel_resources}/${source})
    list(APPEND runel_compressed ${runel_staging}/${target})
endforeach()
add_custom_target(runel_compressed_docs ALL DEPENDS ${runel_compressed})
install(FILES ${runel_staging}/runel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${runel_staging}/changelog.gz ${runel_resources}/debian/copyright
    ${PROJECT_SOURCE_DIR}/README.md
    DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${runel_resources}/wayland DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

install(FILES ${runel_resources}/completions/runel.bash
    DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME runel)
install(FILES ${runel_resources}/completions/_runel
    DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${runel_resources}/completions/runel.fish
    DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)

# The Debian package (tools/package): dpkg-shlibdeps works the dependencies out of the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME runel)
set(CPACK_PACKAGE_VENDOR "Runel")
set(CPACK_PACKAGE_CONTACT "Runel maintainers <maintainers@users.noreply.c-seed-5a8a41ad.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "script launcher for the Linux desktop")
# Lines of at most 80 characters, as Debian's description field wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Runel runs the shell scripts kept in one folder from the keyboard. Every"
    "script gets a short key sequence made from its folder and file names, with"
    "nothing to configure: press the hot key, type the keys, and the script runs."
    "A free-text search, a run log and a command line that lists, resolves, runs"
    "and searches scripts come with it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${RUNEL_HOMEPAGE}")
# Qt's platform plugins (X11 and the others) are loaded at run time, so no link names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# qt6-wayland: a native Wayland window where the desktop offers one; xdg-utils: xdg-open;
# sound-theme-freedesktop: the sounds that tell of a run's end.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, xdg-utils, sound-theme-freedesktop")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
