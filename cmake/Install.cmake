# Installation and the Debian package.
#
# zavrik, gogo, zavrik's keeper of launched encoders, the German readme and the German page
# zavrik.html share one private program folder, lib/zavrik/: zavrik finds its default encoder, its
# keeper, the readme and the page beside its real executable, whatever link it was started through.
# bin/ holds relative links into that folder, so the tree can be moved (DESTDIR, CPack's staging
# folder) without breaking them.
include(GNUInstallDirs)

set(ZAVRIK_INSTALL_PROGRAM_DIR "lib/zavrik")
set(ZAVRIK_DATA_DIR "${PROJECT_SOURCE_DIR}/data")
set(ZAVRIK_ICON_SIZES 16 22 24 32 48 64 128 256)

install(TARGETS zavrik gogo zavrik-keeper RUNTIME DESTINATION "${ZAVRIK_INSTALL_PROGRAM_DIR}")
install(FILES "${ZAVRIK_DATA_DIR}/readme" "${ZAVRIK_DATA_DIR}/zavrik.html"
        DESTINATION "${ZAVRIK_INSTALL_PROGRAM_DIR}")

# The links are made at install time so they land under DESTDIR and in CPack's staging folder.
install(CODE [[
  set(zavrik_bin_dir "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/bin")
  file(MAKE_DIRECTORY "${zavrik_bin_dir}")
  foreach(zavrik_program IN ITEMS zavrik gogo)
    set(zavrik_link "${zavrik_bin_dir}/${zavrik_program}")
    message(STATUS "Installing: ${zavrik_link} -> ../lib/zavrik/${zavrik_program}")
    file(REMOVE "${zavrik_link}")
    file(CREATE_LINK "../lib/zavrik/${zavrik_program}" "${zavrik_link}" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${zavrik_link}")
  endforeach()
]])

install(FILES "${ZAVRIK_DATA_DIR}/zavrik.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${ZAVRIK_DATA_DIR}/zavrik-mime.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/mime/packages" RENAME zavrik.xml)
# The component id needs reverse-DNS form; example.org is reserved and names no one.
install(FILES "${ZAVRIK_DATA_DIR}/zavrik.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" RENAME org.example.zavrik.metainfo.xml)
# Manual pages are installed compressed, as Debian's policy asks; -n keeps the build repeatable.
find_program(ZAVRIK_GZIP gzip REQUIRED)
set(zavrik_man_pages)
foreach(page IN ITEMS zavrik.1 gogo.1)
  set(copy "${CMAKE_BINARY_DIR}/man/${page}")
  add_custom_command(
    OUTPUT "${copy}.gz"
    COMMAND "${CMAKE_COMMAND}" -E copy "${ZAVRIK_DATA_DIR}/man/${page}" "${copy}"
    COMMAND "${ZAVRIK_GZIP}" -9nf "${copy}"
    DEPENDS "${ZAVRIK_DATA_DIR}/man/${page}"
    VERBATIM)
  list(APPEND zavrik_man_pages "${copy}.gz")
endforeach()
add_custom_target(zavrik_man_pages ALL DEPENDS ${zavrik_man_pages})
install(FILES ${zavrik_man_pages} DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")

# zavrik_install_icon(TARGET NAME CONTEXT SVG PNG...): one drawing in the hicolor theme, as the
# scalable SVG and in every size of ZAVRIK_ICON_SIZES. Sizes that no PNG has are painted from the
# SVG at build time (or, should the renderer refuse the SVG, scaled from the PNGs).
function(zavrik_install_icon target name context svg)
  set(drawings ${ARGN})
  set(theme_dir "${CMAKE_INSTALL_DATADIR}/icons/hicolor")
  if(EXISTS "${svg}")
    install(FILES "${svg}" DESTINATION "${theme_dir}/scalable/${context}" RENAME "${name}.svg")
    list(APPEND drawings "${svg}")
  else()
    message(WARNING "Die Zeichnung ${svg} fehlt; ${name} hat kein skalierbares Symbol.")
  endif()
  if(NOT drawings)
    message(WARNING "Keine Zeichnung für ${name}; die Symbolgrößen fehlen.")
    return()
  endif()
  set(outputs)
  foreach(size IN LISTS ZAVRIK_ICON_SIZES)
    set(size_dir "${CMAKE_BINARY_DIR}/icons/${size}x${size}/${context}")
    set(output "${size_dir}/${name}.png")
    add_custom_command(
      OUTPUT "${output}"
      COMMAND "${CMAKE_COMMAND}" -E make_directory "${size_dir}"
      # The renderer's Qt allocations are not ours to chase in sanitizer builds.
      COMMAND "${CMAKE_COMMAND}" -E env ASAN_OPTIONS=detect_leaks=0
              "$<TARGET_FILE:zavrik_icon_render>" "${output}" ${size} ${drawings}
      DEPENDS zavrik_icon_render ${drawings}
      COMMENT "Symbol ${name} in ${size}x${size}"
      VERBATIM)
    list(APPEND outputs "${output}")
    install(FILES "${output}" DESTINATION "${theme_dir}/${size}x${size}/${context}")
  endforeach()
  add_custom_target(${target} ALL DEPENDS ${outputs})
endfunction()

file(GLOB ZAVRIK_APP_ICON_PNGS "${ZAVRIK_DATA_DIR}/icons/zavrik-*.png")
file(GLOB ZAVRIK_LIST_ICON_PNGS "${ZAVRIK_DATA_DIR}/icons/text-x-Zavrik-list-*.png")
zavrik_install_icon(zavrik_app_icons zavrik apps "${ZAVRIK_DATA_DIR}/icons/zavrik.svg"
                    ${ZAVRIK_APP_ICON_PNGS})
zavrik_install_icon(zavrik_list_icons text-x-Zavrik-list mimetypes
                    "${ZAVRIK_DATA_DIR}/icons/text-x-Zavrik-list.svg" ${ZAVRIK_LIST_ICON_PNGS})

# The Debian package: cpack -G DEB gives zavrik_<version>_<arch>.deb.
set(CPACK_PACKAGE_NAME "zavrik")
set(CPACK_PACKAGE_VENDOR "Zavrik")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "graphical MP3 encoder front end / grafische Oberfläche zum MP3-Kodieren")
set(CPACK_PACKAGE_CONTACT "Zavrik maintainers <zavrik@example.org>")

# What Debian's policy asks of every package: its copyright in the machine-readable format and
# its changelog, compressed, in share/doc/zavrik. The changelog's version and maintainer are the
# package's own.
set(zavrik_doc_dir "${CMAKE_INSTALL_DATADIR}/doc/zavrik")
install(FILES "${ZAVRIK_DATA_DIR}/debian/copyright" DESTINATION "${zavrik_doc_dir}")
configure_file("${ZAVRIK_DATA_DIR}/debian/changelog.in" "${CMAKE_BINARY_DIR}/doc/changelog.in" @ONLY)
set(zavrik_changelog "${CMAKE_BINARY_DIR}/doc/changelog")
add_custom_command(
  OUTPUT "${zavrik_changelog}.gz"
  COMMAND "${CMAKE_COMMAND}" -E copy "${zavrik_changelog}.in" "${zavrik_changelog}"
  COMMAND "${ZAVRIK_GZIP}" -9nf "${zavrik_changelog}"
  DEPENDS "${zavrik_changelog}.in"
  VERBATIM)
add_custom_target(zavrik_changelog ALL DEPENDS "${zavrik_changelog}.gz")
install(FILES "${zavrik_changelog}.gz" DESTINATION "${zavrik_doc_dir}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# dpkg-shlibdeps adds the libraries the binaries link; what they load at run time is named here:
# Qt's X11 platform plugin, and the tools whose dpkg triggers update the MIME database and the
# desktop entries' MIME cache.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, xdg-utils, qt6-translations-l10n")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Zavrik collects WAVE files in a list and has its encoder gogo (libsndfile
in, libmp3lame out) turn them into MP3 files, one after another, with a
progress window from which a file can be skipped or the run stopped. File
lists are saved and opened as Zavrik lists (*.zvk).
.
Zavrik sammelt WAVE-Dateien in einer Liste und lässt sie von seinem
Kodierer gogo nacheinander in MP3-Dateien umwandeln; ein
Fortschrittsfenster erlaubt, eine Datei auszulassen oder das Kodieren
abzubrechen. Dateilisten werden als Zavrik-Listen (*.zvk) gespeichert und
geöffnet.")
include(CPack)
