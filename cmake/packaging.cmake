# The Debian package: exactly what `cmake --install` puts in place, under /usr,
# with the documents Debian asks of every package. `cpack --preset package`
# writes build/package/quorvel_<version>_<arch>.deb.
set(QUORVEL_MAINTAINER "Quorvel developers <maintainer@quorvel.invalid>"
    CACHE STRING "The package's maintainer, \"Name <address>\" (Maintainer field and changelog)")

set(pkg_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/quorvel)
set(pkg_man_dir ${CMAKE_INSTALL_MANDIR}/man1)
set(pkg_gen_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${pkg_gen_dir})

# Debian's documents: the copyright in its machine-readable form, and a
# changelog that names the maintainer. gzip -n leaves the name and time out
# of the header, so the same sources give the same bytes.
find_program(QUORVEL_GZIP gzip REQUIRED)
configure_file(data/debian/changelog.in ${pkg_gen_dir}/changelog @ONLY)
set(pkg_gz_files ${pkg_gen_dir}/changelog.gz)
add_custom_command(
  OUTPUT ${pkg_gen_dir}/changelog.gz
  COMMAND ${QUORVEL_GZIP} -9n -c changelog > changelog.gz
  DEPENDS ${pkg_gen_dir}/changelog
  WORKING_DIRECTORY ${pkg_gen_dir}
  VERBATIM)
install(FILES data/debian/copyright ${pkg_gen_dir}/changelog.gz DESTINATION ${pkg_doc_dir})
# quorvel-info's static link is deliberate (README, "Speed").
install(FILES data/debian/lintian-overrides RENAME quorvel
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)

# The windows' manuals are written by hand; quorvel-info's is made from its own
# --help and --version, so that the two never disagree.
foreach(program quorvel quorvel-studio)
  if(NOT TARGET ${program})
    continue()
  endif()
  configure_file(docs/${program}.1 ${pkg_gen_dir}/${program}.1 @ONLY)
  add_custom_command(
    OUTPUT ${pkg_gen_dir}/${program}.1.gz
    COMMAND ${QUORVEL_GZIP} -9n -c ${program}.1 > ${program}.1.gz
    DEPENDS ${pkg_gen_dir}/${program}.1
    WORKING_DIRECTORY ${pkg_gen_dir}
    VERBATIM)
  list(APPEND pkg_gz_files ${pkg_gen_dir}/${program}.1.gz)
  install(FILES ${pkg_gen_dir}/${program}.1.gz DESTINATION ${pkg_man_dir})
endforeach()

find_program(QUORVEL_HELP2MAN help2man)
if(CMAKE_CROSSCOMPILING)
  message(STATUS "quorvel-info(1) is not made: a cross-compiled quorvel-info cannot run here")
elseif(NOT QUORVEL_HELP2MAN)
  message(STATUS "quorvel-info(1) is not made: help2man was not found (Debian package help2man)")
else()
  # The release date, not the build's: help2man puts it in the page.
  set(pkg_release_epoch 1796688000) # 2026-12-08, as in the changelog and metainfo
  set(pkg_page_quorvel-info "frame sizes, bitrates and ffmpeg commands for VCD, SVCD and DVD")
  set(pkg_page_quorvel-disc "video files to a DVD, SVCD or VCD image")
  foreach(program quorvel-info quorvel-disc)
    if(NOT TARGET ${program})
      continue()
    endif()
    add_custom_command(
      OUTPUT ${pkg_gen_dir}/${program}.1.gz
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${pkg_release_epoch} ${QUORVEL_HELP2MAN}
              --no-info --section=1 "--name=${pkg_page_${program}}" --output=${program}.1
              $<TARGET_FILE:${program}>
      COMMAND ${QUORVEL_GZIP} -9n -f ${program}.1
      DEPENDS ${program}
      WORKING_DIRECTORY ${pkg_gen_dir}
      VERBATIM)
    list(APPEND pkg_gz_files ${pkg_gen_dir}/${program}.1.gz)
    install(FILES ${pkg_gen_dir}/${program}.1.gz DESTINATION ${pkg_man_dir})
  endforeach()
endif()
add_custom_target(quorvel_package_docs ALL DEPENDS ${pkg_gz_files})

# A stripping install (CPack's) leaves the compilers' .comment and .note
# sections in the programs; they are of no use at run time.
if(CMAKE_OBJCOPY)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      file(GLOB programs \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quorvel*\")
      foreach(program IN LISTS programs)
        execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                                --remove-section=.note \"\${program}\" COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "Quorvel developers")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVEL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel is a small desktop utility for people who prepare video for the\n\
disc formats VCD, SVCD and DVD. From a source width and height, typed or\n\
read from an AVI file's header, the disc format and the TV standard (PAL or\n\
NTSC), it shows the TV size, the full frame the format needs, and the Movie\n\
size, the largest picture with the source's pixel ratio that fits in it.\n\
It also tells PAL, NTSC film and NTSC video apart by an AVI file's frame\n\
rate. It writes no files and keeps no settings.\n\
\n\
The command-line tool quorvel-info gives the disc's answer, the sizes with\n\
the disc's pixel shape (and the window's numbers with --window), as text or\n\
JSON, for scripts and batches, with the file's running time, scan, pulldown\n\
and crop, and ffmpeg filters on request.\n\
\n\
quorvel-disc makes the disc itself: it encodes video files with ffmpeg,\n\
authors a DVD, SVCD or VCD and writes its image, with progress, resuming a\n\
stopped run, and reads the image back before it says done. quorvel-studio\n\
is its window: files added and ordered, the plan and a preview of each\n\
file on the TV, the disc's fill, and the disc made in the background.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link, with the versions they need, as
# dpkg-shlibdeps reads them from the binaries.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's captions are laid out for Arial's metrics; Liberation Sans has them.
# quorvel-disc runs these; it names the missing one's package when asked to.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-liberation, ffmpeg, mjpegtools, dvdauthor, genisoimage, lsdvd, vcdimager")
# 0644 files and 0755 directories in the package, whatever the builder's umask:
# the control files by CPack, the installed directories by the script.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb-permissions.cmake)

include(CPack)
