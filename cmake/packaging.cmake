# The Debian package: `make package` configures a Release build with this and runs cpack,
# which writes sorvane_<version>_amd64.deb into the build folder. What it carries is what
# `cmake --install` installs (src/app/CMakeLists.txt), under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME sorvane)
set(CPACK_PACKAGE_CONTACT "Seed 876697dc maintainers <maintainers@users.noreply.c-seed-876697dc.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installed under DESTDIR with the final prefix, so the desktop entry names the launcher by
# /usr/libexec/... and not by cpack's staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX ${CPACK_PACKAGING_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded by name, not linked: the Japanese Gothic whose metrics the window's layout is made for.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic")
# The first line is the summary, the rest the long description (cpack indents it).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "sound board with 38 slots played by key or button
Put up to 38 sounds on one board and fire each by its own key or Play
button; fade a sound out, let one slot stop all the others, stop
everything with Escape. Each slot keeps its own volume, start position
and display name, and the board is kept from one start to the next.

It reads WAV, MP3, Ogg Vorbis and Opus, FLAC, AIFF, AAC, ALAC and the
sound of video files, and plays through PipeWire or PulseAudio with
an audio engine of its own, so a sound starts within one audio block of
the key. The user interface is in Japanese.")
include(CPack)
