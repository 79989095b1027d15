# The uninstall target: removes every file that the last install from this
# build listed in install_manifest.txt, under DESTDIR as the install did,
# then each directory that an install made (install-dirs.cmake records
# them) once it is empty. rmdir leaves a directory that holds anything,
# and directories that were there before the install were never recorded.
#   cmake -D tavik_build_dir=BUILD -P uninstall.cmake

set(manifest "${tavik_build_dir}/install_manifest.txt")
set(record "${tavik_build_dir}/install_directories.txt")
if(NOT EXISTS "${manifest}")
  message(FATAL_ERROR "uninstall: no ${manifest}: nothing is installed "
                      "from this build")
endif()

file(STRINGS "${manifest}" files)
foreach(file IN LISTS files)
  set(path "$ENV{DESTDIR}${file}")
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    message(STATUS "Removing: ${path}")
    file(REMOVE "${path}")
  endif()
endforeach()

# Deepest first: a directory's path sorts after its parent's.
set(kept "")
if(EXISTS "${record}")
  file(STRINGS "${record}" dirs)
  list(SORT dirs ORDER DESCENDING)
  foreach(dir IN LISTS dirs)
    if(IS_DIRECTORY "${dir}")
      execute_process(COMMAND rmdir "${dir}" RESULT_VARIABLE status
                      OUTPUT_QUIET ERROR_QUIET)
      if(status EQUAL 0)
        message(STATUS "Removing: ${dir}/")
      else()
        list(APPEND kept "${dir}")
      endif()
    endif()
  endforeach()
endif()

# What stays is still the install's: a later uninstall may remove it.
list(JOIN kept "\n" text)
if(text STREQUAL "")
  file(REMOVE "${record}")
else()
  file(WRITE "${record}" "${text}\n")
endif()
file(REMOVE "${manifest}")
