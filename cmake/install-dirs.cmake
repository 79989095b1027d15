# Run by the install before it copies anything. Makes the directories the
# files go into, each new one mode 755: mkdir applies the umask, and with
# root's 077 no other user could run tavik or read its manual pages. The
# new ones are added to the record that the uninstall target reads
# (install-record.cmake), so that it removes them again, and no directory
# that was there before.
# The install(CODE) before it sets tavik_install_dirs, the destinations
# (relative ones under CMAKE_INSTALL_PREFIX), and tavik_dirs_record.

# The install script sets no policies; this file's are 3.25's.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/install-record.cmake")
set(destdir "$ENV{DESTDIR}")

# What installs into other DESTDIRs made stays in the record as it is, and
# so does what one into this DESTDIR made and is still there: a reinstall
# finds those and would not know them as its own.
tavik_read_record("${tavik_dirs_record}" "${destdir}" ours record)
foreach(dir IN LISTS ours)
  if(IS_DIRECTORY "${destdir}${dir}")
    tavik_record_line("${destdir}" "${dir}" line)
    list(APPEND record "${line}")
  endif()
endforeach()

foreach(dir IN LISTS tavik_install_dirs)
  if(NOT IS_ABSOLUTE "${dir}")
    set(dir "${CMAKE_INSTALL_PREFIX}/${dir}")
  endif()
  cmake_path(NORMAL_PATH dir)
  string(REGEX REPLACE "(.)/$" "\\1" dir "${dir}")
  # The missing ancestors, outermost first; DESTDIR itself is not the
  # install's.
  set(missing "")
  while(NOT dir MATCHES "^/?$" AND NOT IS_DIRECTORY "${destdir}${dir}")
    list(PREPEND missing "${dir}")
    cmake_path(GET dir PARENT_PATH dir)
  endwhile()
  foreach(dir IN LISTS missing)
    file(MAKE_DIRECTORY "${destdir}${dir}")
    file(CHMOD "${destdir}${dir}" PERMISSIONS OWNER_READ OWNER_WRITE
         OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    tavik_record_line("${destdir}" "${dir}" line)
    list(APPEND record "${line}")
  endforeach()
endforeach()

tavik_write_record("${tavik_dirs_record}" "${record}")
cmake_policy(POP)
