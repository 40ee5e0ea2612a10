# Run by `cmake --install`: installs the desktop entry naming the launcher by its installed
# path, so the entry starts the board wherever it was installed (any --prefix, any DESTDIR).
set(launcher "${CMAKE_INSTALL_PREFIX}/libexec/sorvane/sorvane-launch")
# The entry's quoting: a backslash, double quote, backquote or dollar inside the quotes is
# escaped, a percent sign doubled; the file's own escaping doubles the backslashes again.
string(REPLACE "\\" "\\\\\\\\" argument "${launcher}")
foreach(special "\"" "`" "$")
  string(REPLACE "${special}" "\\\\${special}" argument "${argument}")
endforeach()
string(REPLACE "%" "%%" argument "${argument}")
file(READ "${CMAKE_CURRENT_LIST_DIR}/sorvane.desktop" entry)
string(REGEX REPLACE "\nExec=[^\n]*" "\nExec=\"${argument}\"" entry "${entry}")
set(target "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/applications/sorvane.desktop")
message(STATUS "Installing: ${target}")
file(WRITE "${target}" "${entry}")
