# Run by the install before it copies anything. Makes the directories the
# files go into, each new one mode 755: mkdir applies the umask, and with
# root's 077 no other user could run tavik or read its manual pages. The
# new ones are added to a record that the uninstall target reads, so that
# it removes them again, and no directory that was there before.
# The install(CODE) before it sets tavik_install_dirs, the destinations
# (relative ones under CMAKE_INSTALL_PREFIX), and tavik_dirs_record.

# Directories an earlier install made and that are still there stay in
# the record; a reinstall finds them and would not know them as its own.
set(created "")
if(EXISTS "${tavik_dirs_record}")
  file(STRINGS "${tavik_dirs_record}" previous)
  foreach(dir IN LISTS previous)
    if(IS_DIRECTORY "${dir}")
      list(APPEND created "${dir}")
    endif()
  endforeach()
endif()

foreach(dest IN LISTS tavik_install_dirs)
  if(NOT IS_ABSOLUTE "${dest}")
    set(dest "${CMAKE_INSTALL_PREFIX}/${dest}")
  endif()
  set(dir "$ENV{DESTDIR}${dest}")
  cmake_path(NORMAL_PATH dir)
  string(REGEX REPLACE "(.)/$" "\\1" dir "${dir}")
  # The missing ancestors, outermost first.
  set(missing "")
  while(NOT IS_DIRECTORY "${dir}")
    list(PREPEND missing "${dir}")
    cmake_path(GET dir PARENT_PATH parent)
    if(parent STREQUAL dir OR parent STREQUAL "")
      break()
    endif()
    set(dir "${parent}")
  endwhile()
  foreach(dir IN LISTS missing)
    file(MAKE_DIRECTORY "${dir}")
    file(CHMOD "${dir}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
         GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    list(APPEND created "${dir}")
  endforeach()
endforeach()

list(REMOVE_DUPLICATES created)
list(JOIN created "\n" text)
if(text STREQUAL "")
  file(REMOVE "${tavik_dirs_record}")
else()
  file(WRITE "${tavik_dirs_record}" "${text}\n")
endif()
