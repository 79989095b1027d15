# The uninstall target: removes every file that the last install from this
# build listed in install_manifest.txt, under DESTDIR as the install did,
# then each directory that an install into that DESTDIR made
# (install-dirs.cmake records them) once it is empty. rmdir leaves a
# directory that holds anything, and directories that were there before
# the install were never recorded.
#   cmake -D tavik_build_dir=BUILD -P uninstall.cmake

cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/install-record.cmake")
set(manifest "${tavik_build_dir}/install_manifest.txt")
set(record_file "${tavik_build_dir}/install_directories.txt")
set(destdir "$ENV{DESTDIR}")
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
tavik_read_record("${record_file}" "${destdir}" ours record)
list(SORT ours ORDER DESCENDING)
foreach(dir IN LISTS ours)
  if(IS_DIRECTORY "${destdir}${dir}")
    execute_process(COMMAND rmdir "${destdir}${dir}" RESULT_VARIABLE status
                    OUTPUT_QUIET ERROR_QUIET)
    if(status EQUAL 0)
      message(STATUS "Removing: ${destdir}${dir}/")
    else()
      tavik_record_line("${destdir}" "${dir}" line)
      list(APPEND record "${line}")
    endif()
  endif()
endforeach()

tavik_write_record("${record_file}" "${record}")
