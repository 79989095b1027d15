# Run by the install before it copies anything. Makes the directories the
# files go into, each new one mode 755: mkdir applies the umask, and with
# root's 077 no other user could run tavik or read its manual pages. The
# new ones are added to a record that the uninstall target reads, so that
# it removes them again, and no directory that was there before.
# The install(CODE) before it sets tavik_install_dirs, the destinations
# (relative ones under CMAKE_INSTALL_PREFIX), and tavik_dirs_record.
# A line of the record is the install's DESTDIR, a tab and the directory.

# The install script sets no policies; this file's are 3.25's.
cmake_policy(PUSH)
cmake_policy(VERSION 3.25)
set(destdir "$ENV{DESTDIR}")
set(tab "\t")

# What installs into other DESTDIRs made stays in the record as it is, and
# so does what one into this DESTDIR made and is still there: a reinstall
# finds those and would not know them as its own.
set(record "")
if(EXISTS "${tavik_dirs_record}")
  file(STRINGS "${tavik_dirs_record}" previous)
  foreach(line IN LISTS previous)
    string(FIND "${line}" "${tab}" at)
    string(SUBSTRING "${line}" 0 ${at} other)
    math(EXPR at "${at} + 1")
    string(SUBSTRING "${line}" ${at} -1 dir)
    if(NOT other STREQUAL destdir OR IS_DIRECTORY "${destdir}${dir}")
      list(APPEND record "${line}")
    endif()
  endforeach()
endif()

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
    list(APPEND record "${destdir}${tab}${dir}")
  endforeach()
endforeach()

list(REMOVE_DUPLICATES record)
list(JOIN record "\n" text)
if(text STREQUAL "")
  file(REMOVE "${tavik_dirs_record}")
else()
  file(WRITE "${tavik_dirs_record}" "${text}\n")
endif()
cmake_policy(POP)
