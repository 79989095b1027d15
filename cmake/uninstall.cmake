# The uninstall target: removes every file that the last install from this
# build listed in install_manifest.txt, under DESTDIR as the install did,
# then each directory that an install into that DESTDIR made
# (install-dirs.cmake records them) once it is empty. rmdir leaves a
# directory that holds anything, and directories that were there before
# the install were never recorded.
#   cmake -D tavik_build_dir=BUILD -P uninstall.cmake

cmake_minimum_required(VERSION 3.25)
set(manifest "${tavik_build_dir}/install_manifest.txt")
set(record_file "${tavik_build_dir}/install_directories.txt")
set(destdir "$ENV{DESTDIR}")
set(tab "\t")
if(NOT EXISTS "${manifest}")
  message(FATAL_ERROR "uninstall: no ${manifest}: nothing was installed "
                      "from this build")
endif()

file(STRINGS "${manifest}" files)
foreach(file IN LISTS files)
  set(path "${destdir}${file}")
  if(EXISTS "${path}" OR IS_SYMLINK "${path}")
    message(STATUS "Removing: ${path}")
    file(REMOVE "${path}")
  endif()
endforeach()

# This DESTDIR's directories, deepest first: a directory's path sorts after
# its parent's. Those of other DESTDIRs and those that stay are kept in the
# record, for a later uninstall.
set(record "")
set(ours "")
if(EXISTS "${record_file}")
  file(STRINGS "${record_file}" lines)
  foreach(line IN LISTS lines)
    string(FIND "${line}" "${tab}" at)
    string(SUBSTRING "${line}" 0 ${at} other)
    math(EXPR at "${at} + 1")
    string(SUBSTRING "${line}" ${at} -1 dir)
    if(other STREQUAL destdir)
      list(APPEND ours "${dir}")
    else()
      list(APPEND record "${line}")
    endif()
  endforeach()
endif()
list(SORT ours ORDER DESCENDING)
foreach(dir IN LISTS ours)
  if(IS_DIRECTORY "${destdir}${dir}")
    execute_process(COMMAND rmdir "${destdir}${dir}" RESULT_VARIABLE status
                    OUTPUT_QUIET ERROR_QUIET)
    if(status EQUAL 0)
      message(STATUS "Removing: ${destdir}${dir}/")
    else()
      list(APPEND record "${destdir}${tab}${dir}")
    endif()
  endif()
endforeach()

list(JOIN record "\n" text)
if(text STREQUAL "")
  file(REMOVE "${record_file}")
else()
  file(WRITE "${record_file}" "${text}\n")
endif()
