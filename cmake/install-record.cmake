# The record of the directories that installs made, which install-dirs.cmake
# writes and uninstall.cmake reads: one line each, the install's DESTDIR, a
# tab and the directory.

# Reads the record in file: the directories that installs into destdir
# made go to ours_var, every other line, unchanged, to others_var.
function(tavik_read_record file destdir ours_var others_var)
  set(ours "")
  set(others "")
  if(EXISTS "${file}")
    file(STRINGS "${file}" lines)
    foreach(line IN LISTS lines)
      string(FIND "${line}" "\t" at)
      string(SUBSTRING "${line}" 0 ${at} other)
      math(EXPR at "${at} + 1")
      string(SUBSTRING "${line}" ${at} -1 dir)
      if(other STREQUAL destdir)
        list(APPEND ours "${dir}")
      else()
        list(APPEND others "${line}")
      endif()
    endforeach()
  endif()
  set(${ours_var} "${ours}" PARENT_SCOPE)
  set(${others_var} "${others}" PARENT_SCOPE)
endfunction()

# The record line of dir, made by an install into destdir.
function(tavik_record_line destdir dir var)
  set(${var} "${destdir}\t${dir}" PARENT_SCOPE)
endfunction()

# Writes the lines to file, each once, or removes file when there are none.
function(tavik_write_record file lines)
  list(REMOVE_DUPLICATES lines)
  list(JOIN lines "\n" text)
  if(text STREQUAL "")
    file(REMOVE "${file}")
  else()
    file(WRITE "${file}" "${text}\n")
  endif()
endfunction()
