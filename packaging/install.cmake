# Installation: the programs, their manual pages, the example container and, in
# share/doc, the copyright and changelog that a Debian package carries.
#   cmake --install build --prefix /usr/local
#   (cd build && cpack -G DEB)      # kelvor_RELEASE_amd64.deb
include(GNUInstallDirs)

configure_file(doc/kelvor.1.in ${CMAKE_CURRENT_BINARY_DIR}/kelvor.1 @ONLY)
configure_file(doc/kelvor-batch.1.in ${CMAKE_CURRENT_BINARY_DIR}/kelvor-batch.1 @ONLY)
install(TARGETS kelvor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET kelvor-batch)
  install(TARGETS kelvor-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

if(NOT CMAKE_CROSSCOMPILING)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/example.zq DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvor)
endif()

# Manual page and changelog compressed as Debian wants them: gzip -9n, so
# that the same sources give the same bytes. The package's version is the
# release's name, whose "-r2" Debian reads as a revision of the package: its
# changelog is then changelog.Debian.gz.
find_program(GZIP_EXECUTABLE gzip)
if(UNIX AND GZIP_EXECUTABLE)
  configure_file(packaging/debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian @ONLY)
  foreach(doc kelvor.1 kelvor-batch.1 changelog.Debian)
    add_custom_command(
      OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/${doc}.gz
      COMMAND ${GZIP_EXECUTABLE} -9nkf ${CMAKE_CURRENT_BINARY_DIR}/${doc}
      DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/${doc})
  endforeach()
  add_custom_target(compressed_docs ALL
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/kelvor.1.gz ${CMAKE_CURRENT_BINARY_DIR}/kelvor-batch.1.gz
            ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kelvor.1.gz ${CMAKE_CURRENT_BINARY_DIR}/kelvor-batch.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Linked with the codecs built from their sources (KELVOR_CODEC_PREFIX),
  # the package carries their licences too, a paragraph each.
  set(copyright ${CMAKE_CURRENT_SOURCE_DIR}/packaging/debian/copyright)
  if(KELVOR_CODEC_PREFIX AND (KELVOR_HAVE_FLAC OR KELVOR_HAVE_VORBIS))
    file(READ ${copyright} text)
    file(STRINGS ${KELVOR_CODEC_PREFIX}/share/licenses/SOURCES built)
    list(JOIN built "; " built)
    foreach(name flac libogg libvorbis)
      file(READ ${KELVOR_CODEC_PREFIX}/share/licenses/${name}.txt license)
      string(STRIP "${license}" license)
      string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" license "${license}")  # a blank line is " ."
      string(REPLACE "\n" "\n " license "${license}")
      string(APPEND text "\nFiles: codecs/${name}/*\nCopyright: Xiph.Org Foundation and contributors\n"
             "Comment: statically linked into kelvor-batch: ${built}\nLicense: BSD-3-clause-${name}\n ${license}\n")
    endforeach()
    set(copyright ${CMAKE_CURRENT_BINARY_DIR}/copyright)
    file(WRITE ${copyright} "${text}")
  endif()
  install(FILES ${copyright} ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvor)
else()
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/kelvor.1 ${CMAKE_CURRENT_BINARY_DIR}/kelvor-batch.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvor)
set(CPACK_PACKAGE_VERSION ${KELVOR_RELEASE})
set(CPACK_PACKAGE_CONTACT "the kelvor developers <kelvor@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert .zq sound containers to WAVE files with the loop unrolled")
set(CPACK_PACKAGE_DESCRIPTION [=[
kelvor reads one sound file in the chunked .zq container (magic fZQ),
which holds one track of PCM samples and optionally a loop point, and
writes a standard RIFF WAVE file with the loop already unrolled: the sample
data once, then the loop section as many more times as asked, so that any
ordinary player hears the loop.
.
It is made for batch conversion of game audio from scripts: its messages
and result codes are fixed, it never writes over its source or over another
container, and a failed write is never reported as success.
.
kelvor-batch converts whole folders at once, mirrored into another folder,
several files at a time, and writes the other kinds of output too: the
loop points kept in a smpl chunk, the intro and the loop apart, the loop
unrolled and marked, and a loop list in CSV or JSON; as WAV (RF64 past
4 GiB), FLAC or Ogg Vorbis, the loop in the LOOPSTART and LOOPLENGTH
comments that game engines read.]=])
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
